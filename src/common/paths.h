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

// The path to load a module by: its plain form while it fits in MAX_PATH
// characters, the extended form beyond. Windows keeps the "\\?\" a module was
// loaded through in its module name, and a DLL that finds its own files from
// that name (or hands it to an older C runtime) would trip over it.
std::wstring ModuleLoadPath(std::wstring path);

}  // namespace kiln
