// The WebView2 runtime an app ships in its "webview2" folder.
#pragma once

#include "app/app_config.h"
#include "check/app_folder.h"
#include "check/findings.h"

namespace kiln {

// Fixed mode: the runtime search of kiln.exe finds the 32-bit client DLL
// where it looks, the DLL loads in a 32-bit process, and its version is one
// kiln.exe works with. When the DLL lies elsewhere under webview2, says
// where. Evergreen mode: a runtime in webview2 is never used.
void CheckRuntimeFolder(AppFolder& folder, const AppConfig& config, Findings& findings);

}  // namespace kiln
