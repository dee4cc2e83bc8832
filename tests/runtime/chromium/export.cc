// The Chromium-backed runtime's entry point, where Kiln's loader hands over.
#include <windows.h>

#include "environment.h"
#include "player.h"
#include "scenario.h"
#include "transcript.h"

extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE CreateWebViewEnvironmentWithOptionsInternal(
    BOOL, int runtimeType, PCWSTR userDataFolder, IUnknown*,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler) {
  using namespace standin;
  OpenTranscript();
  LoadScenario(false);
  StartPlayer();
  Record({{"event", "create-environment"},
          {"runtime", "chromium"},
          {"runtimeType", runtimeType},
          {"userDataFolder", userDataFolder ? json(Utf8(userDataFolder)) : json(nullptr)}});
  if (!environmentCreatedHandler) return E_POINTER;
  environmentCreatedHandler->AddRef();
  Post([environmentCreatedHandler] {
    auto* environment = new ChromiumEnvironment();
    environmentCreatedHandler->Invoke(S_OK, environment);
    environment->Release();
    environmentCreatedHandler->Release();
  });
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDMETHODCALLTYPE DllCanUnloadNow() { return S_FALSE; }
