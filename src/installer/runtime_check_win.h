// The start-up test for a usable WebView2 runtime, before any window exists,
// with the installer for machines that have none.
#pragma once

#include <windows.h>

#include <string>

#include "app/app_config.h"

namespace kiln {

// True when a runtime can be used; browserFolder is then null (evergreen) or
// kFixedRuntimeFolder (fixed, runtime_search.h). In evergreen mode a missing runtime is
// announced and installed first. Otherwise the user has been told why, with
// the window title as caption, and start-up ends with exit code 1.
bool CheckWebView2Runtime(HINSTANCE instance, const std::string& userDataFolder,
                          const AppConfig& config, const std::wstring& title,
                          const wchar_t** browserFolder);

}  // namespace kiln
