// The stand-in's environment and controller. The controller shows the page
// of this runtime (page_driver.h) and hands Kiln's requests on to it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "com_object.h"
#include "page_driver.h"
#include "unimplemented.h"
#include "web_view.h"

namespace standin {

class Controller final
    : public ComObject<Unimplemented<ICoreWebView2Controller>, ICoreWebView2Controller> {
 public:
  // The live controller, or null before creation and after Kiln let it go.
  static Controller* Current();

  Controller(HWND parent, std::unique_ptr<PageDriver> page, ComRef<WebView> webView);
  ~Controller() override;

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) override;
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) override;
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override;
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override;
  HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) override;
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) override;
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) override;
  HRESULT STDMETHODCALLTYPE add_AcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler,
                                                      EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) override;
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override;
  HRESULT STDMETHODCALLTYPE Close() override;
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) override;

  // The browser's side: a shortcut key while the page has the keyboard.
  void PressAcceleratorKey(UINT virtualKey, bool alt, bool repeat, bool up);

 private:
  HWND parent_;
  std::unique_ptr<PageDriver> page_;
  ComRef<WebView> webView_;
  BOOL isVisible_ = FALSE;
  RECT bounds_ = {};
  double zoomFactor_ = 1.0;
  std::vector<ComRef<ICoreWebView2AcceleratorKeyPressedEventHandler>> acceleratorKeyPressed_;
};

class Environment final
    : public ComObject<Unimplemented<ICoreWebView2Environment>, ICoreWebView2Environment> {
 public:
  explicit Environment(BrowserOptions browserOptions) : browserOptions_(std::move(browserOptions)) {}
  ~Environment() override;

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override;
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream* content, int statusCode,
                                                      LPCWSTR reasonPhrase, LPCWSTR headers,
                                                      ICoreWebView2WebResourceResponse** response) override;
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) override;

 private:
  BrowserOptions browserOptions_;
};

// The product version this stand-in claims, also in its version resource.
inline constexpr wchar_t kStandInVersion[] = L"120.0.2210.91";

// Starts creating the environment, as the scenario's "environment" outcome
// asks, and reports it to the handler.
HRESULT CreateEnvironment(BrowserOptions browserOptions,
                          ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);

}  // namespace standin
