// Downloads Microsoft's WebView2 bootstrapper with a small progress window and
// runs it, for machines that have no WebView2 runtime.
#pragma once

#include <windows.h>

#include <string>

#include "app/app_config.h"

namespace kiln {

// Where the bootstrapper is downloaded from. Defined by the executable's
// entry file, so that a test copy of kiln.exe can differ in this alone.
extern const wchar_t kBootstrapperLink[];

// Returns true when the bootstrapper was downloaded and has run to its end
// reporting success; false when anything failed or the user cancelled it.
// Every failure of Kiln's own on the way is shown to the user first. Whether
// a runtime is now installed is learned only by testing for it again.
bool InstallWebView2Runtime(HINSTANCE instance, const std::string& userDataFolder,
                            const AppConfig& config);

}  // namespace kiln
