#include "browser.h"

#include <optional>

#include "kiln_callbacks.h"
#include "player.h"
#include "scenario.h"
#include "transcript.h"
#include "webview/webview2/co_task_string.h"

namespace standin {
namespace {

// How a creation call ends when the scenario asks for anything but success:
// "error" (a failed completion), "null" (success without an object) or
// "call-fails" (the call itself fails and nothing completes). Nothing when
// the creation goes ahead.
template <class Handler>
std::optional<HRESULT> EndCreation(const std::string& outcome, Handler* handler) {
  if (!handler) return E_POINTER;
  if (outcome == "call-fails") return E_FAIL;
  if (outcome != "error" && outcome != "null") return std::nullopt;
  const HRESULT result = outcome == "error" ? E_FAIL : S_OK;
  Post([handler = ComRef<Handler>::Share(handler), result] {
    CallKiln("creation completion", handler.Get(), result, nullptr);
  });
  return S_OK;
}

Controller* g_currentController = nullptr;

}  // namespace

Controller* Controller::Current() { return g_currentController; }

Controller::Controller(HWND parent, std::unique_ptr<PageDriver> page, ComRef<WebView> webView)
    : parent_(parent), page_(std::move(page)), webView_(std::move(webView)) {
  page_->Attach(webView_.Get());
  g_currentController = this;
}

Controller::~Controller() {
  if (g_currentController == this) g_currentController = nullptr;
  page_->Close();
  Record({{"event", "released"}, {"object", "controller"}});
}

HRESULT Controller::get_IsVisible(BOOL* isVisible) {
  if (!isVisible) return E_POINTER;
  *isVisible = isVisible_;
  return S_OK;
}

HRESULT Controller::put_IsVisible(BOOL isVisible) {
  isVisible_ = isVisible;
  page_->SetVisible(isVisible != FALSE);
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
  page_->SetBounds(bounds);
  Record({{"event", "bounds"}, {"rect", JsonRect(bounds)}});
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
  page_->Focus();
  Record({{"event", "focus"}, {"reason", static_cast<int>(reason)}});
  return S_OK;
}

HRESULT Controller::add_AcceleratorKeyPressed(
    ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler, EventRegistrationToken* token) {
  Record({{"event", "add-handler"}, {"name", "AcceleratorKeyPressed"}, {"token", token != nullptr}});
  if (!eventHandler) return E_INVALIDARG;
  acceleratorKeyPressed_.push_back(
      ComRef<ICoreWebView2AcceleratorKeyPressedEventHandler>::Share(eventHandler));
  if (token) token->value = 1;
  return S_OK;
}

void Controller::PressAcceleratorKey(UINT virtualKey, bool alt, bool repeat, bool up) {
  auto args = ComRef<AcceleratorKeyPressedArgs>::Adopt(
      new AcceleratorKeyPressedArgs(virtualKey, alt, repeat, up));
  const auto handlers = acceleratorKeyPressed_;  // a handler may add another
  for (const auto& handler : handlers) {
    const HRESULT result = CallKiln("AcceleratorKeyPressed", handler.Get(),
                                    static_cast<ICoreWebView2Controller*>(this), args.Get());
    if (FAILED(result)) {
      Record({{"event", "handler-failed"},
              {"name", "AcceleratorKeyPressed"},
              {"hresult", static_cast<unsigned long>(result)}});
    }
  }
  Record({{"event", "accelerator-key"},
          {"key", virtualKey},
          {"kind", static_cast<int>(args->kind())},
          {"handled", args->handled()}});
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
  page_->Close();
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
  if (const auto ended = EndCreation(scenario.controller, handler)) return *ended;
  const auto completed =
      ComRef<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>::Share(handler);
  const bool offersWebView2 = scenario.webView2;
  PageDriver* page = NewPageDriver(browserOptions_).release();
  page->Open(parentWindow, [page, parentWindow, offersWebView2, completed](bool ready) {
    // Completion is reported from the loop, never from inside the call.
    Post([page, parentWindow, offersWebView2, completed, ready] {
      std::unique_ptr<PageDriver> ownedPage(page);
      if (!ready) {
        CallKiln("controller completion", completed.Get(), E_FAIL, nullptr);
        return;
      }
      const bool loadsByItself = page->LoadsByItself();
      auto webView = ComRef<WebView>::Adopt(new WebView(offersWebView2));
      auto controller = ComRef<Controller>::Adopt(
          new Controller(parentWindow, std::move(ownedPage), std::move(webView)));
      CallKiln("controller completion", completed.Get(), S_OK,
               static_cast<ICoreWebView2Controller*>(controller.Get()));
      // The steps follow whatever Kiln started on receiving the controller,
      // its first navigation included.
      Post([loadsByItself] { StartSteps(loadsByItself); });
    });
  });
  return S_OK;
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

HRESULT CreateEnvironment(BrowserOptions browserOptions,
                          ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler) {
  if (const auto ended = EndCreation(TheScenario().environment, handler)) return *ended;
  const auto completed =
      ComRef<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>::Share(handler);
  Post([completed, browserOptions = std::move(browserOptions)] {
    auto environment = ComRef<Environment>::Adopt(new Environment(browserOptions));
    CallKiln("environment completion", completed.Get(), S_OK,
             static_cast<ICoreWebView2Environment*>(environment.Get()));
  });
  return S_OK;
}

}  // namespace standin
