#include "browser.h"

#include <functional>

#include "player.h"
#include "scenario.h"
#include "transcript.h"
#include "webview/webview2/co_task_string.h"

namespace standin {
namespace {

json Rect(const RECT& rect) { return json::array({rect.left, rect.top, rect.right, rect.bottom}); }

// How a creation step ends, as the scenario asks: "ok", "error" (a failed
// completion), "null" (success without an object) or "call-fails" (the call
// itself fails and nothing completes).
template <class Handler, class Object>
HRESULT Complete(const std::string& outcome, Handler* handler, std::function<Object*()> make,
                 std::function<void()> afterSuccess = nullptr) {
  if (!handler) return E_POINTER;
  if (outcome == "call-fails") return E_FAIL;
  handler->AddRef();
  Post([outcome, handler, make, afterSuccess] {
    if (outcome == "error") {
      handler->Invoke(E_FAIL, nullptr);
    } else if (outcome == "null") {
      handler->Invoke(S_OK, nullptr);
    } else {
      Object* object = make();
      handler->Invoke(S_OK, object);
      object->Release();
      if (afterSuccess) afterSuccess();
    }
    handler->Release();
  });
  return S_OK;
}

}  // namespace

Controller::Controller(HWND parent, ComRef<WebView> webView)
    : parent_(parent), webView_(std::move(webView)) {}

Controller::~Controller() { Record({{"event", "released"}, {"object", "controller"}}); }

HRESULT Controller::get_IsVisible(BOOL* isVisible) {
  if (!isVisible) return E_POINTER;
  *isVisible = isVisible_;
  return S_OK;
}

HRESULT Controller::put_IsVisible(BOOL isVisible) {
  isVisible_ = isVisible;
  Record({{"event", "visible"}, {"value", isVisible != FALSE}});
  return S_OK;
}

HRESULT Controller::get_Bounds(RECT* bounds) {
  if (!bounds) return E_POINTER;
  *bounds = bounds_;
  return S_OK;
}

HRESULT Controller::put_Bounds(RECT bounds) {
  bounds_ = bounds;
  Record({{"event", "bounds"}, {"rect", Rect(bounds)}});
  return S_OK;
}

HRESULT Controller::get_ZoomFactor(double* zoomFactor) {
  if (!zoomFactor) return E_POINTER;
  *zoomFactor = zoomFactor_;
  return S_OK;
}

HRESULT Controller::put_ZoomFactor(double zoomFactor) {
  zoomFactor_ = zoomFactor;
  Record({{"event", "zoom"}, {"value", zoomFactor}});
  return S_OK;
}

HRESULT Controller::MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) {
  Record({{"event", "focus"}, {"reason", static_cast<int>(reason)}});
  return S_OK;
}

HRESULT Controller::get_ParentWindow(HWND* parentWindow) {
  if (!parentWindow) return E_POINTER;
  *parentWindow = parent_;
  return S_OK;
}

HRESULT Controller::NotifyParentWindowPositionChanged() {
  Record({{"event", "parent-moved"}});
  return S_OK;
}

HRESULT Controller::Close() {
  Record({{"event", "controller-closed"}});
  return S_OK;
}

HRESULT Controller::get_CoreWebView2(ICoreWebView2** coreWebView2) {
  if (!coreWebView2) return E_POINTER;
  webView_->AddRef();
  *coreWebView2 = webView_.Get();
  return S_OK;
}

Environment::~Environment() {
  PlayExitSteps();
  Record({{"event", "released"}, {"object", "environment"}});
}

HRESULT Environment::CreateCoreWebView2Controller(
    HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) {
  Record({{"event", "create-controller"}, {"parentIsWindow", IsWindow(parentWindow) != FALSE}});
  SetParentWindow(parentWindow);
  const Scenario& scenario = TheScenario();
  const bool offersWebView2 = scenario.webView2;
  const HRESULT result = Complete<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, Controller>(
      scenario.controller, handler, [parentWindow, offersWebView2] {
        auto webView = ComRef<WebView>::Adopt(new WebView(offersWebView2));
        return new Controller(parentWindow, std::move(webView));
      },
      // The steps follow whatever Kiln started on receiving the controller,
      // its first navigation included.
      [] { Post(StartSteps); });
  return result;
}

HRESULT Environment::CreateWebResourceResponse(IStream* content, int statusCode,
                                               LPCWSTR reasonPhrase, LPCWSTR headers,
                                               ICoreWebView2WebResourceResponse** response) {
  if (!response) return E_POINTER;
  *response = new WebResourceResponse(content, statusCode, reasonPhrase, headers);
  return S_OK;
}

HRESULT Environment::get_BrowserVersionString(LPWSTR* versionInfo) {
  if (!versionInfo) return E_POINTER;
  *versionInfo = kiln::CoTaskCopy(kStandInVersion);
  return S_OK;
}

HRESULT CreateEnvironment(const std::string& outcome,
                          ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  return Complete<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, Environment>(
      outcome, handler, [] { return new Environment(); });
}

}  // namespace standin
