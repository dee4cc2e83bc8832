// Process paths and whole-file reads. Every path passes through
// ToExtendedPath before the file system sees it, and files are reached
// through Win32 calls alone: the C runtime that mingw-w64 links (msvcrt.dll)
// refuses every path containing "?", so on Windows it cannot open a single
// extended-length path.
#pragma once

#include <cstdint>
#include <string>

namespace kiln {

// Full path of kiln.exe, UTF-8, canonical, without "\\?\". Computed once.
const std::string& GetExecutablePath();

// The user's local application data folder, UTF-8; empty when Windows cannot
// name it. Computed once.
const std::string& GetLocalAppDataPath();

// Size in bytes, or 0 when the file cannot be examined.
uint64_t FileSize(const std::string& path);

// The file's bytes as read; empty when it cannot be opened or is too large
// to hold. Others may read and write the file meanwhile.
std::string ReadFileToString(const std::string& path);

}  // namespace kiln
