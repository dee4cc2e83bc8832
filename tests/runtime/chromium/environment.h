// The environment and controller of the Chromium-backed runtime. The web
// view, its settings, requests, responses and event arguments are the
// stand-in's own; the page behind them is a real browser's.
#pragma once

#include <memory>

#include "com_object.h"
#include "page.h"
#include "unimplemented.h"
#include "web_view.h"

namespace standin {

class ChromiumController final
    : public ComObject<Unimplemented<ICoreWebView2Controller>, ICoreWebView2Controller> {
 public:
  ChromiumController(HWND parent, std::unique_ptr<Page> page, ComRef<WebView> webView);
  ~ChromiumController() override;

  HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) override;
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) override;
  HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override;
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override;
  HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) override;
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) override;
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) override;
  HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) override;
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override;
  HRESULT STDMETHODCALLTYPE Close() override;
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) override;

 private:
  HWND parent_;
  std::unique_ptr<Page> page_;
  ComRef<WebView> webView_;
  BOOL isVisible_ = FALSE;
  RECT bounds_ = {};
  double zoomFactor_ = 1.0;
};

class ChromiumEnvironment final
    : public ComObject<Unimplemented<ICoreWebView2Environment>, ICoreWebView2Environment> {
 public:
  ChromiumEnvironment() = default;
  ~ChromiumEnvironment() override;

  HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) override;
  HRESULT STDMETHODCALLTYPE CreateWebResourceResponse(IStream* content, int statusCode,
                                                      LPCWSTR reasonPhrase, LPCWSTR headers,
                                                      ICoreWebView2WebResourceResponse** response) override;
  HRESULT STDMETHODCALLTYPE get_BrowserVersionString(LPWSTR* versionInfo) override;
};

// The version this runtime claims to Kiln's loader, as in its version resource.
inline constexpr wchar_t kChromiumRuntimeVersion[] = L"120.0.2210.91";

}  // namespace standin
