// Path rules shared by every file access of the host, on UTF-16 paths as
// Windows takes them. Plain text work with no Windows call, so the native
// tests check it too.
#pragma once

#include <string>

namespace kiln {

// Removes a leading "\\?\" from a path of at least four characters.
std::wstring StripLongPathPrefix(const std::wstring& path);

// Puts "\\?\" in front of a path of at least four characters that lacks it and
// turns every "/" into "\". The extended form stops Windows from normalising
// the path, so "." and ".." components are never resolved behind our back.
// A network path "\\server\share" takes the extended form "\\?\UNC\server\share";
// the prefix alone in front of it would name nothing, and an app started from
// a share could not even read its package.json.
std::wstring ToExtendedPath(std::wstring path);

}  // namespace kiln
