// Path rules shared by every file access of the host. They work on UTF-16
// text of any 16-bit character type, so the same code serves the Windows
// shell (wchar_t) and the native unit tests (char16_t).
#pragma once

#include <string>

namespace kiln {

template <class Char>
bool HasLongPathPrefix(const std::basic_string<Char>& path) {
  return path.size() >= 4 && path[0] == Char('\\') && path[1] == Char('\\') &&
         path[2] == Char('?') && path[3] == Char('\\');
}

// Removes a leading "\\?\" from a path of at least four characters.
template <class Char>
std::basic_string<Char> StripLongPathPrefix(const std::basic_string<Char>& path) {
  return HasLongPathPrefix(path) ? path.substr(4) : path;
}

// Puts "\\?\" in front of a path of at least four characters that lacks it and
// turns every "/" into "\". The extended form stops Windows from normalising
// the path, so "." and ".." components are never resolved behind our back.
// A network path "\\server\share" takes the extended form "\\?\UNC\server\share";
// the prefix alone in front of it would name nothing, and an app started from
// a share could not even read its package.json.
template <class Char>
std::basic_string<Char> ToExtendedPath(std::basic_string<Char> path) {
  for (Char& c : path) {
    if (c == Char('/')) c = Char('\\');
  }
  if (path.size() >= 4 && !HasLongPathPrefix(path)) {
    const Char prefix[] = {Char('\\'), Char('\\'), Char('?'), Char('\\'), Char(0)};
    const Char unc[] = {Char('U'), Char('N'), Char('C'), Char(0)};
    if (path[0] == Char('\\') && path[1] == Char('\\')) {
      path.replace(0, 1, std::basic_string<Char>(prefix) + unc);
    } else {
      path.insert(0, prefix);
    }
  }
  return path;
}

}  // namespace kiln
