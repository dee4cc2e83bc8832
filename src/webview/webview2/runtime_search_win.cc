#include "webview/webview2/runtime_search_win.h"

#include <windows.h>

#include <cwchar>
#include <string_view>
#include <vector>

#include "common/files_win.h"
#include "common/paths.h"
#include "common/text_win.h"
#include "webview/webview2/runtime_folder.h"
#include "webview/webview2/runtime_version.h"

namespace kiln {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

std::u16string_view AsUtf16(std::wstring_view text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

std::wstring AsWide(std::u16string_view text) {
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

std::wstring ExecutableFolder() {
  const std::wstring exe = Utf8ToWide(GetExecutablePath());
  const size_t slash = exe.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash + 1);
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(ToExtendedPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The "EBWebView" value of one channel's key. EdgeUpdate is a 32-bit program
// and registers in the 32-bit view, so a 64-bit build must ask for that view;
// in a 32-bit process the flag changes nothing.
std::wstring ReadRegisteredFolder(HKEY hive, std::u16string_view keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(hive, AsWide(keyPath).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::vector<wchar_t> buffer;
  DWORD bytes = 0;
  LSTATUS status = RegGetValueW(key, nullptr, L"EBWebView", RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
  // The value may grow between the two calls; ask again until it fits.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    buffer.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = RegGetValueW(key, nullptr, L"EBWebView", RRF_RT_REG_SZ, nullptr, buffer.data(), &bytes);
    if (status == ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? std::wstring(buffer.data()) : std::wstring();
}

std::optional<RuntimeLocation> CheckInstalledRuntime(const std::wstring& folder,
                                                     const RuntimeChannel& channel) {
  const std::u16string_view name = RuntimeFolderName(AsUtf16(folder));
  const std::optional<RuntimeVersion> version = ParseRuntimeVersion(name);
  if (!version || !IsSupportedRuntimeVersion(*version)) return std::nullopt;
  RuntimeLocation location;
  location.clientDll = AsWide(ClientDllPath(AsUtf16(folder), AsUtf16(kClientDllArch)));
  if (!IsFile(location.clientDll)) return std::nullopt;
  location.version = AsWide(InstalledVersionString(name, channel));
  return location;
}

}  // namespace

std::optional<RuntimeLocation> FindInstalledRuntime() {
  for (const RuntimeChannel& channel : kRuntimeChannels) {
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      const std::wstring folder = ReadRegisteredFolder(hive, channel.clientStateKey);
      if (folder.empty()) continue;
      if (std::optional<RuntimeLocation> found = CheckInstalledRuntime(folder, channel)) {
        return found;
      }
    }
  }
  return std::nullopt;
}

std::optional<RuntimeLocation> FindFixedRuntime(const std::wstring& folder) {
  const std::u16string resolved = ResolveBrowserFolder(AsUtf16(folder), AsUtf16(ExecutableFolder()));
  RuntimeLocation location;
  location.clientDll = AsWide(ClientDllPath(resolved, AsUtf16(kClientDllArch)));
  location.isFixed = true;
  if (!IsFile(location.clientDll)) return std::nullopt;
  return location;
}

std::wstring ReadProductVersion(const std::wstring& dllPath) {
  // In the plain form the loader loads it by: the version functions load the
  // file as a data module, and their documentation says nothing of
  // extended-length paths.
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(dllPath.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(dllPath.c_str(), 0, size, block.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", &value,
                      &length) ||
      !value) {
    return {};
  }
  const wchar_t* text = static_cast<const wchar_t*>(value);
  return std::wstring(text, wcsnlen(text, length));
}

}  // namespace kiln
