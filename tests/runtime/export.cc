// The runtime's entry point, where a WebView2 loader hands over: it starts
// environment creation and reports it through the completion handler.
#include <windows.h>

#include "browser.h"
#include "player.h"
#include "scenario.h"
#include "transcript.h"
#include "webview/webview2/co_task_string.h"
#include "webview/webview2/com_ref.h"

namespace standin {
namespace {

json DescribeOptions(IUnknown* unknown) {
  if (!unknown) return nullptr;
  kiln::ComRef<ICoreWebView2EnvironmentOptions> options;
  unknown->QueryInterface(IID_ICoreWebView2EnvironmentOptions,
                          reinterpret_cast<void**>(options.Put()));
  if (!options) return "no ICoreWebView2EnvironmentOptions";
  kiln::CoTaskString arguments, language, version;
  BOOL singleSignOn = FALSE;
  const HRESULT argumentsResult = options->get_AdditionalBrowserArguments(arguments.Put());
  options->get_Language(language.Put());
  options->get_TargetCompatibleBrowserVersion(version.Put());
  options->get_AllowSingleSignOnUsingOSPrimaryAccount(&singleSignOn);
  json description = {{"additionalBrowserArguments", arguments.IsNull() ? json(nullptr)
                                                                         : json(Utf8(arguments.Get()))},
                      {"language", Utf8(language.Get())},
                      {"targetCompatibleBrowserVersion", Utf8(version.Get())},
                      {"allowSingleSignOnUsingOSPrimaryAccount", singleSignOn != FALSE}};
  if (FAILED(argumentsResult)) description["additionalBrowserArgumentsFailed"] = true;
  return description;
}

// The file this stand-in was loaded from, so tests see which runtime the
// loader chose.
std::string ModulePath() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModulePath), &module);
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(module, path, MAX_PATH);
  return Utf8(path);
}

}  // namespace
}  // namespace standin

// The loader passes true as the first argument whatever it means, as a C++
// bool or a 32-bit integer: only its low byte is looked at.
extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    BOOL flag, int runtimeType, PCWSTR userDataFolder, IUnknown* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler) {
  using namespace standin;
  OpenTranscript();
  LoadScenario();
  StartPlayer();
  const json options = DescribeOptions(environmentOptions);
  Record({{"event", "create-environment"},
          {"flag", (flag & 0xFF) != 0},
          {"runtimeType", runtimeType},
          {"module", ModulePath()},
          {"userDataFolder", userDataFolder ? json(Utf8(userDataFolder)) : json(nullptr)},
          {"options", options}});
  const json arguments = options.is_object() ? options.value("additionalBrowserArguments", json()) : json();
  BrowserOptions browserOptions{userDataFolder ? userDataFolder : L"",
                                Wide(arguments.is_string() ? arguments.get<std::string>() : std::string())};
  return CreateEnvironment(std::move(browserOptions), environmentCreatedHandler);
}

extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE DllCanUnloadNow() { return S_FALSE; }
