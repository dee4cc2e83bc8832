// version_reader EXE: what Windows itself reads of an exe's version texts and
// icon, as one JSON line: {"strings": {key: value}, "fileVersion": "a.b.c.d",
// "icons": count, "extracted": bool, "groupSizes": [...]}.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/text_win.h"

BOOL CALLBACK FirstGroup(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR found) {
  *reinterpret_cast<HRSRC*>(found) = FindResourceW(module, name, type);
  return FALSE;
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const wchar_t* path = argv[1];
  nlohmann::json facts = {{"strings", nlohmann::json::object()}};
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<char> block(size);
  if (size && GetFileVersionInfoW(path, 0, size, block.data())) {
    for (const wchar_t* key : {L"FileDescription", L"ProductName", L"CompanyName", L"FileVersion",
                               L"ProductVersion", L"InternalName", L"OriginalFilename",
                               L"LegalCopyright"}) {
      wchar_t* value = nullptr;
      UINT length = 0;
      const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
      if (VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
        facts["strings"][kiln::WideToUtf8(key)] = kiln::WideToUtf8(value);
      }
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
      facts["fileVersion"] = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                             std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                             std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                             std::to_string(LOWORD(fixed->dwFileVersionLS));
    }
  }
  facts["icons"] = ExtractIconExW(path, -1, nullptr, nullptr, 0);
  HICON large = nullptr, small = nullptr;
  facts["extracted"] = ExtractIconExW(path, 0, &large, &small, 1) > 0 && large && small;
  if (large) DestroyIcon(large);
  if (small) DestroyIcon(small);
  // The sizes the first icon group lists, as the loader finds it.
  facts["groupSizes"] = nlohmann::json::array();
  if (HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    HRSRC group = nullptr;
    EnumResourceNamesW(module, RT_GROUP_ICON, FirstGroup, reinterpret_cast<LONG_PTR>(&group));
    if (group) {
      const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(module, group)));
      const unsigned count = bytes ? bytes[4] | (bytes[5] << 8) : 0;
      for (unsigned i = 0; i < count; ++i) {
        const int side = bytes[6 + 14 * i];
        facts["groupSizes"].push_back(side == 0 ? 256 : side);
      }
    }
    FreeLibrary(module);
  }
  std::printf("%s\n", facts.dump().c_str());
  return 0;
}
