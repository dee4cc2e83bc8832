// A stand-in for the WebView2 runtime's EmbeddedBrowserWebView.dll that only
// records how the loader called it.
#include "fake_client.h"

namespace {

FakeClientCall g_lastCall = {};
HRESULT g_result = kFakeClientDefaultResult;

}  // namespace

#ifndef FAKE_CLIENT_WITHOUT_ENTRY
extern "C" __declspec(dllexport) HRESULT __stdcall CreateWebViewEnvironmentWithOptionsInternal(
    INT32 flag, INT32 runtimeType, const wchar_t* userDataFolder, void* environmentOptions,
    void* environmentCreatedHandler) {
  ++g_lastCall.count;
  g_lastCall.flag = flag;
  g_lastCall.runtimeType = runtimeType;
  g_lastCall.userDataFolder = userDataFolder;
  g_lastCall.environmentOptions = environmentOptions;
  g_lastCall.environmentCreatedHandler = environmentCreatedHandler;
  return g_result;
}
#endif

extern "C" __declspec(dllexport) const FakeClientCall* __cdecl FakeClientLastCall() {
  return &g_lastCall;
}

extern "C" __declspec(dllexport) void __cdecl FakeClientSetResult(HRESULT result) {
  g_result = result;
}
