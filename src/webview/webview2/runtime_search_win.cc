#include "webview/webview2/runtime_search.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "common/paths.h"
#include "common/text_win.h"

namespace kiln {

// EdgeUpdate is a 32-bit program and registers in the 32-bit view, so a
// 64-bit build must ask for that view; in a 32-bit process the flag changes
// nothing.
std::string SystemRuntimeProbe::RegistryText(RegistryHive hive, const std::string& keyPath,
                                             const std::string& name) {
  const HKEY root = hive == RegistryHive::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, Utf8ToWide(keyPath).c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY,
                    &key) != ERROR_SUCCESS) {
    return {};
  }
  const std::wstring valueName = Utf8ToWide(name);
  std::vector<wchar_t> buffer;
  DWORD bytes = 0;
  LSTATUS status =
      RegGetValueW(key, nullptr, valueName.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
  // The value may grow between the two calls; ask again until it fits.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    buffer.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = RegGetValueW(key, nullptr, valueName.c_str(), RRF_RT_REG_SZ, nullptr, buffer.data(),
                          &bytes);
    if (status == ERROR_SUCCESS) break;
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? WideToUtf8(buffer.data()) : std::string();
}

bool SystemRuntimeProbe::IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(ToExtendedPath(Utf8ToWide(path)).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string SystemRuntimeProbe::ProductVersion(const std::string& dllPath) {
  // The version functions load the file as a data module, in the form the
  // loader loads it by.
  const std::wstring path = ModuleLoadPath(Utf8ToWide(dllPath));
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return {};
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", &value,
                      &length) ||
      !value) {
    return {};
  }
  const wchar_t* text = static_cast<const wchar_t*>(value);
  return WideToUtf8(std::wstring(text, wcsnlen(text, length)));
}

}  // namespace kiln
