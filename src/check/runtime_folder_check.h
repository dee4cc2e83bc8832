// The WebView2 runtime an app ships in its "webview2" folder.
#pragma once

#include "app/app_config.h"
#include "check/app_folder.h"
#include "check/findings.h"
#include "check/kiln_exe.h"

namespace kiln {

// Fixed mode: the runtime search of kiln.exe finds the client DLL of its
// architecture where it looks (EBWebView/x86 or EBWebView/x64), the DLL
// loads in kiln.exe, and its version is one kiln.exe works with. When the
// DLL lies elsewhere under webview2, says where. Evergreen mode: a runtime
// in webview2 is never used.
void CheckRuntimeFolder(AppFolder& folder, const AppConfig& config, const KilnTarget& kiln,
                        Findings& findings);

}  // namespace kiln
