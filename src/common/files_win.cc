#include "common/files_win.h"

#include <windows.h>
#include <knownfolders.h>
#include <pathcch.h>
#include <shlobj.h>
#include <sys/stat.h>

#include <cstdio>
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
  struct _stat64 info;
  if (_wstat64(ExtendedWidePath(path).c_str(), &info) != 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

std::string ReadFileToString(const std::string& path) {
  FILE* file = _wfopen(ExtendedWidePath(path).c_str(), L"rbS");
  if (!file) return {};
  std::string bytes(static_cast<size_t>(FileSize(path)), '\0');
  // A file that shrank since it was measured yields only what was read.
  const size_t read = bytes.empty() ? 0 : fread(bytes.data(), 1, bytes.size(), file);
  bytes.resize(read);
  fclose(file);
  return bytes;
}

}  // namespace kiln
