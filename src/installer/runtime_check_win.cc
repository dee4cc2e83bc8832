#include "installer/runtime_check_win.h"

#include <windows.h>
#include <objbase.h>

#include "common/text_win.h"
#include "installer/installer_win.h"
#include "webview/webview2/loader_win.h"
#include "webview/webview2/runtime_search.h"

namespace kiln {
namespace {

constexpr wchar_t kFixedRuntimeMissingText[] =
    L"This app is set to \"fixed\" distribution mode, but the WebView2 control failed to "
    L"initialize. Check there is a valid fixed distribution of Microsoft Edge WebView2 runtime "
    L"in the \"webview2\" subfolder.";

// Handed on to web view creation, so it lives for the whole run.
const wchar_t* FixedRuntimeFolder() {
  static const std::wstring folder = Utf8ToWide(kFixedRuntimeFolder);
  return folder.c_str();
}

// A runtime counts as present exactly when it reports a version string.
bool IsRuntimeAvailable(const wchar_t* browserFolder) {
  LPWSTR version = nullptr;
  GetAvailableCoreWebView2BrowserVersionString(browserFolder, &version);
  if (!version) return false;
  CoTaskMemFree(version);
  return true;
}

// The bootstrapper may exit before the runtime it installs is registered, so
// a runtime that is not there yet is looked for again for a while.
bool WaitForInstalledRuntime() {
  constexpr DWORD kIntervalMs = 500;
  constexpr DWORD kPatienceMs = 30000;
  for (DWORD waited = 0;; waited += kIntervalMs) {
    if (IsRuntimeAvailable(nullptr)) return true;
    if (waited >= kPatienceMs) return false;
    Sleep(kIntervalMs);
  }
}

}  // namespace

bool CheckWebView2Runtime(HINSTANCE instance, const std::string& userDataFolder,
                          const AppConfig& config, const std::wstring& title,
                          const wchar_t** browserFolder) {
  if (config.distributionMode == DistributionMode::Fixed) {
    *browserFolder = FixedRuntimeFolder();
    if (IsRuntimeAvailable(*browserFolder)) return true;
    MessageBoxW(nullptr, kFixedRuntimeMissingText, title.c_str(), MB_OK | MB_ICONERROR);
    return false;
  }
  *browserFolder = nullptr;
  if (IsRuntimeAvailable(nullptr)) return true;

  const std::wstring notice = Utf8ToWide(config.installWebview2Message);
  MessageBoxW(nullptr, notice.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
  // A bootstrapper that failed or was cancelled installs nothing later on.
  const bool bootstrapperSucceeded = InstallWebView2Runtime(instance, userDataFolder, config);
  if (bootstrapperSucceeded ? WaitForInstalledRuntime() : IsRuntimeAvailable(nullptr)) return true;

  const std::wstring text = Utf8ToWide(config.installFailedMessage);
  MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
  return false;
}

}  // namespace kiln
