// Our own WebView2 loader, built into the executable: finds a runtime (a fixed
// folder or an installed one) and starts environment creation through the
// runtime's client DLL, binary-compatible with Microsoft's loader functions of
// the same names.
#pragma once

#include <windows.h>

struct ICoreWebView2EnvironmentOptions;
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler;

namespace kiln {

// browserExecutableFolder: null or empty for an installed runtime; otherwise
// the fixed runtime folder, relative names taken from the executable's folder.
// userDataFolder and environmentOptions reach the runtime unchanged (either may
// be null). Returns whether creation started: the environment itself arrives
// through environmentCreatedHandler. Without a runtime:
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
HRESULT CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

// The version of the runtime that creation would use, in a CoTaskMemAlloc
// string the caller frees with CoTaskMemFree: "A.B.C.D" plus " beta", " dev"
// or " canary" for those channels; a fixed runtime reports its client DLL's
// ProductVersion. Without a runtime *versionInfo is null and the result
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
HRESULT GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserExecutableFolder,
                                                     LPWSTR* versionInfo);

}  // namespace kiln
