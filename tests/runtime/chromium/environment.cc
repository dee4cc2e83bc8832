#include "environment.h"

#include "player.h"
#include "scenario.h"
#include "transcript.h"
#include "webview/webview2/co_task_string.h"

namespace standin {
namespace {

json Rect(const RECT& rect) { return json::array({rect.left, rect.top, rect.right, rect.bottom}); }

// The browser's DevTools address, "ws://127.0.0.1:PORT/devtools/browser/ID",
// from whoever started it.
std::string DevToolsAddress() {
  const wchar_t* value = _wgetenv(L"KILN_BROWSER_DEVTOOLS");
  return value ? Utf8(value) : std::string();
}

}  // namespace

ChromiumController::ChromiumController(HWND parent, std::unique_ptr<Page> page,
                                       ComRef<WebView> webView)
    : parent_(parent), page_(std::move(page)), webView_(std::move(webView)) {
  page_->Attach(webView_.Get());
}

ChromiumController::~ChromiumController() {
  page_->Close();
  Record({{"event", "released"}, {"object", "controller"}});
}

HRESULT ChromiumController::get_IsVisible(BOOL* isVisible) {
  if (!isVisible) return E_POINTER;
  *isVisible = isVisible_;
  return S_OK;
}

HRESULT ChromiumController::put_IsVisible(BOOL isVisible) {
  isVisible_ = isVisible;
  page_->SetVisible(isVisible != FALSE);
  Record({{"event", "visible"}, {"value", isVisible != FALSE}});
  return S_OK;
}

HRESULT ChromiumController::get_Bounds(RECT* bounds) {
  if (!bounds) return E_POINTER;
  *bounds = bounds_;
  return S_OK;
}

HRESULT ChromiumController::put_Bounds(RECT bounds) {
  bounds_ = bounds;
  page_->SetBounds(bounds);
  Record({{"event", "bounds"}, {"rect", Rect(bounds)}});
  return S_OK;
}

HRESULT ChromiumController::get_ZoomFactor(double* zoomFactor) {
  if (!zoomFactor) return E_POINTER;
  *zoomFactor = zoomFactor_;
  return S_OK;
}

HRESULT ChromiumController::put_ZoomFactor(double zoomFactor) {
  zoomFactor_ = zoomFactor;
  Record({{"event", "zoom"}, {"value", zoomFactor}});
  return S_OK;
}

HRESULT ChromiumController::MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) {
  page_->Focus();
  Record({{"event", "focus"}, {"reason", static_cast<int>(reason)}});
  return S_OK;
}

HRESULT ChromiumController::get_ParentWindow(HWND* parentWindow) {
  if (!parentWindow) return E_POINTER;
  *parentWindow = parent_;
  return S_OK;
}

HRESULT ChromiumController::NotifyParentWindowPositionChanged() {
  Record({{"event", "parent-moved"}});
  return S_OK;
}

HRESULT ChromiumController::Close() {
  page_->Close();
  Record({{"event", "controller-closed"}});
  return S_OK;
}

HRESULT ChromiumController::get_CoreWebView2(ICoreWebView2** coreWebView2) {
  if (!coreWebView2) return E_POINTER;
  webView_->AddRef();
  *coreWebView2 = webView_.Get();
  return S_OK;
}

ChromiumEnvironment::~ChromiumEnvironment() {
  Record({{"event", "released"}, {"object", "environment"}});
}

HRESULT ChromiumEnvironment::CreateCoreWebView2Controller(
    HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
  Record({{"event", "create-controller"}, {"parentIsWindow", IsWindow(parentWindow) != FALSE}});
  if (!handler) return E_POINTER;
  SetParentWindow(parentWindow);
  handler->AddRef();
  auto* page = new Page();
  page->Open(DevToolsAddress(), parentWindow, [page, parentWindow, handler](bool ready) {
    // Completion is reported from the loop, never from inside this call.
    Post([page, parentWindow, handler, ready] {
      if (!ready) {
        delete page;
        handler->Invoke(E_FAIL, nullptr);
        handler->Release();
        return;
      }
      auto webView = ComRef<WebView>::Adopt(new WebView(true));
      auto* controller = new ChromiumController(parentWindow, std::unique_ptr<Page>(page), webView);
      handler->Invoke(S_OK, controller);
      controller->Release();
      handler->Release();
      Post(StartSteps);
    });
  });
  return S_OK;
}

HRESULT ChromiumEnvironment::CreateWebResourceResponse(IStream* content, int statusCode,
                                                       LPCWSTR reasonPhrase, LPCWSTR headers,
                                                       ICoreWebView2WebResourceResponse** response) {
  if (!response) return E_POINTER;
  *response = new WebResourceResponse(content, statusCode, reasonPhrase, headers);
  return S_OK;
}

HRESULT ChromiumEnvironment::get_BrowserVersionString(LPWSTR* versionInfo) {
  if (!versionInfo) return E_POINTER;
  *versionInfo = kiln::CoTaskCopy(kChromiumRuntimeVersion);
  return S_OK;
}

}  // namespace standin
