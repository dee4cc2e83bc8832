#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/files_win.h"
#include "common/paths.h"
#include "common/text_win.h"
#include "pack/pack_files.h"

namespace kiln {
namespace {

// The full path in the extended form: a path given on the command line is
// relative to the current folder and may hold "." and "..", which are
// resolved here, once, as the user meant them.
std::wstring Extended(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) return ToExtendedPath(wide);
  std::vector<wchar_t> full(length + 1, L'\0');
  GetFullPathNameW(wide.c_str(), length + 1, full.data(), nullptr);
  return ToExtendedPath(full.data());
}

// The path as the file system names it, links followed as far as the path
// exists, lower-cased as Windows compares names.
std::wstring Comparable(const std::string& path) {
  std::wstring full = Extended(path), rest;
  while (true) {
    HANDLE handle = CreateFileW(full.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      std::vector<wchar_t> final(32768, L'\0');
      const DWORD length = GetFinalPathNameByHandleW(handle, final.data(), 32767, 0);
      CloseHandle(handle);
      if (length > 0 && length < 32767) full.assign(final.data(), length);
      break;
    }
    const size_t slash = full.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash < 4) break;
    rest = full.substr(slash) + rest;
    full.resize(slash);
  }
  std::wstring result = full + rest;
  while (result.size() > 7 && result.back() == L'\\') result.pop_back();
  CharLowerBuffW(result.data(), static_cast<DWORD>(result.size()));
  return result;
}

class WinPackFiles final : public PackFiles {
 public:
  std::optional<std::string> Read(const std::string& path, uint64_t maxBytes) override {
    const std::wstring file = Extended(path);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return std::nullopt;
    }
    const uint64_t size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    if (size > maxBytes) return std::nullopt;
    std::string bytes = ReadFileToString(WideToUtf8(StripLongPathPrefix(file)));
    if (bytes.size() != size) return std::nullopt;
    return bytes;
  }

  bool MakeFolders(const std::string& path) override {
    std::wstring full = Extended(path);
    // Each missing folder from the top down; the extended form takes no
    // shortcut through SHCreateDirectoryEx, which refuses it.
    for (size_t at = full.find(L'\\', 7); ; at = full.find(L'\\', at + 1)) {
      const std::wstring part = full.substr(0, at);
      const DWORD attributes = GetFileAttributesW(part.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(part.c_str(), nullptr) &&
          GetLastError() != ERROR_ALREADY_EXISTS) {
        if (at == std::wstring::npos) return false;
      }
      if (at == std::wstring::npos) break;
    }
    const DWORD attributes = GetFileAttributesW(full.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool Write(const std::string& path, std::string_view bytes) override {
    HANDLE file = CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool whole = true;
    while (!bytes.empty() && whole) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 24));
      DWORD written = 0;
      whole = WriteFile(file, bytes.data(), chunk, &written, nullptr) && written == chunk;
      bytes.remove_prefix(chunk);
    }
    return CloseHandle(file) && whole;
  }

  bool Exists(const std::string& path) override {
    return GetFileAttributesW(Extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool Rename(const std::string& from, const std::string& to) override {
    return MoveFileExW(Extended(from).c_str(), Extended(to).c_str(), 0) != 0;
  }

  void RemoveTree(const std::string& path) override { Remove(Extended(path)); }

  bool IsWithin(const std::string& path, const std::string& folder) override {
    const std::wstring inner = Comparable(path), outer = Comparable(folder);
    return inner == outer || inner.rfind(outer + L"\\", 0) == 0;
  }

  int64_t ModifiedTime(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(Extended(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    const uint64_t ticks =
        (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000) - 11644473600LL;  // from 1601 to 1970
  }

 private:
  // A link is removed, never what it leads to.
  static void Remove(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      DeleteFileW(path.c_str());
      return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      WIN32_FIND_DATAW found;
      HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
      if (search != INVALID_HANDLE_VALUE) {
        do {
          const std::wstring name = found.cFileName;
          if (name != L"." && name != L"..") Remove(path + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
      }
    }
    RemoveDirectoryW(path.c_str());
  }
};

}  // namespace

std::unique_ptr<PackFiles> OpenPackFiles() { return std::make_unique<WinPackFiles>(); }

std::string ProgramFolder() {
  std::string folder = GetExecutablePath();
  folder.resize(std::min(folder.find_last_of("\\/"), folder.size()));
  for (char& c : folder) {
    if (c == '\\') c = '/';
  }
  return folder;
}

std::string UniqueSuffix() { return std::to_string(GetCurrentProcessId()); }

}  // namespace kiln
