#include "extensions/extension_loader_win.h"

#include <windows.h>

#include <string>

#include "app/app_context.h"
#include "common/paths.h"
#include "common/text_win.h"
#include "extensions/module_loader.h"

namespace kiln {
namespace {

class DllLoader final : public ModuleLoader {
 public:
  void* Open(const std::string& path) override {
    const std::wstring widePath = ModuleLoadPath(Utf8ToWide(path));
    if (widePath.empty()) return nullptr;
    // A file that is not a loadable DLL must fail quietly, with no system
    // error box in front of the user.
    DWORD previousMode = 0;
    const BOOL modeSet =
        SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = LoadLibraryW(widePath.c_str());
    if (modeSet) SetThreadErrorMode(previousMode, nullptr);
    return module;
  }

  WrapperExtInitFunction FindEntry(void* module) override {
    FARPROC entry = GetProcAddress(static_cast<HMODULE>(module), kExtensionEntryName);
    // Through a generic function pointer type, which GCC accepts silently.
    return reinterpret_cast<WrapperExtInitFunction>(reinterpret_cast<void (*)()>(entry));
  }

  void Close(void* module) override { FreeLibrary(static_cast<HMODULE>(module)); }
};

}  // namespace

void LoadExtensions(AppContext& app) {
  DllLoader loader;
  const std::wstring pattern = ToExtendedPath(Utf8ToWide(app.exeFolder) + L"*.ext.dll");
  WIN32_FIND_DATAW entry = {};
  HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::string name = WideToUtf8(entry.cFileName);
      if (!IsExtensionFileName(name)) continue;  // matched through its short name only
      LoadExtensionFile(app, name, loader);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  NotifyExtensionsLoaded(app);
}

void UnloadExtensions(AppContext& app) {
  DllLoader loader;
  UnloadExtensions(app, loader);
}

}  // namespace kiln
