#include "common/files_win.h"

#include <windows.h>
#include <knownfolders.h>
#include <pathcch.h>
#include <shlobj.h>

#include <algorithm>
#include <new>
#include <vector>

#include "common/paths.h"
#include "common/text_win.h"

namespace kiln {
namespace {

constexpr DWORD kLongPathLimit = 32767;

std::wstring ExtendedWidePath(const std::string& path) {
  return ToExtendedPath(Utf8ToWide(path));
}

std::string ComputeExecutablePath() {
  std::vector<wchar_t> module(kLongPathLimit + 1, L'\0');
  GetModuleFileNameW(nullptr, module.data(), kLongPathLimit);
  std::vector<wchar_t> canonical(kLongPathLimit + 1, L'\0');
  if (FAILED(PathCchCanonicalizeEx(canonical.data(), kLongPathLimit, module.data(),
                                   PATHCCH_ALLOW_LONG_PATHS))) {
    canonical = module;
  }
  return WideToUtf8(StripLongPathPrefix(std::wstring(canonical.data())));
}

std::string ComputeLocalAppDataPath() {
  PWSTR folder = nullptr;
  std::string result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder)) && folder) {
    result = WideToUtf8(StripLongPathPrefix(std::wstring(folder)));
  }
  CoTaskMemFree(folder);
  return result;
}

}  // namespace

const std::string& GetExecutablePath() {
  static const std::string path = ComputeExecutablePath();
  return path;
}

const std::string& GetLocalAppDataPath() {
  static const std::string path = ComputeLocalAppDataPath();
  return path;
}

uint64_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(ExtendedWidePath(path).c_str(), GetFileExInfoStandard, &data)) {
    return 0;
  }
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string ReadFileToString(const std::string& path) {
  // Others may read and write the file meanwhile, as with the C runtime's
  // fopen: an editor holding it open must not make the app fail to start.
  HANDLE file = CreateFileW(ExtendedWidePath(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  LARGE_INTEGER size = {};
  // The size of what the handle opened (through a link, the target's). A file
  // too large to hold reads as one that cannot be read.
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 &&
      static_cast<uint64_t>(size.QuadPart) < bytes.max_size()) {
    try {
      bytes.resize(static_cast<size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
    }
  }
  // A file that shrank since it was measured yields only what was read.
  size_t total = 0;
  while (total < bytes.size()) {
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(bytes.size() - total, MAXDWORD));
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + total, wanted, &got, nullptr) || got == 0) break;
    total += got;
  }
  bytes.resize(total);
  CloseHandle(file);
  return bytes;
}

}  // namespace kiln
