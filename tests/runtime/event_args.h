// The argument objects of the events the stand-in raises. A missing URI
// (std::nullopt) makes its getter fail, as a broken runtime might.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "com_object.h"
#include "unimplemented.h"
#include "web_resource.h"

namespace standin {

using OptionalText = std::optional<std::wstring>;

// Shared by the arguments that offer GetDeferral: the runtime acts on the
// handlers' answer once they have returned and every deferral is complete.
class Deferrable {
 public:
  HRESULT TakeDeferral(IUnknown* owner, ICoreWebView2Deferral** deferral);
  // Runs then at once when nothing is deferred, else when the last deferral
  // completes.
  void WhenSettled(std::function<void()> then);
  bool WasDeferred() const { return taken_ > 0; }
  void CompleteOne();

 private:
  int taken_ = 0;
  int outstanding_ = 0;
  std::function<void()> then_;
};

class Deferral final : public ComObject<Unimplemented<ICoreWebView2Deferral>, ICoreWebView2Deferral> {
 public:
  Deferral(IUnknown* owner, Deferrable* target);
  ~Deferral() override;
  HRESULT STDMETHODCALLTYPE Complete() override;

 private:
  IUnknown* owner_;  // keeps the arguments alive until completion
  Deferrable* target_;
  bool completed_ = false;
};

class NavigationStartingArgs final
    : public ComObject<Unimplemented<ICoreWebView2NavigationStartingEventArgs>,
                       ICoreWebView2NavigationStartingEventArgs> {
 public:
  NavigationStartingArgs(OptionalText uri, bool userInitiated, UINT64 navigationId)
      : uri_(std::move(uri)), userInitiated_(userInitiated), navigationId_(navigationId) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override;
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) override;
  HRESULT STDMETHODCALLTYPE get_IsRedirected(BOOL* isRedirected) override;
  HRESULT STDMETHODCALLTYPE get_RequestHeaders(ICoreWebView2HttpRequestHeaders** requestHeaders) override;
  HRESULT STDMETHODCALLTYPE get_Cancel(BOOL* cancel) override;
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override;
  HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) override;

  bool cancelled() const { return cancel_ != FALSE; }

 private:
  OptionalText uri_;
  bool userInitiated_;
  UINT64 navigationId_;
  BOOL cancel_ = FALSE;
};

class PermissionRequestedArgs final
    : public ComObject<Unimplemented<ICoreWebView2PermissionRequestedEventArgs>,
                       ICoreWebView2PermissionRequestedEventArgs>,
      public Deferrable {
 public:
  PermissionRequestedArgs(OptionalText uri, int kind, bool userInitiated)
      : uri_(std::move(uri)), kind_(kind), userInitiated_(userInitiated) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override;
  HRESULT STDMETHODCALLTYPE get_PermissionKind(COREWEBVIEW2_PERMISSION_KIND* kind) override;
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) override;
  HRESULT STDMETHODCALLTYPE get_State(COREWEBVIEW2_PERMISSION_STATE* state) override;
  HRESULT STDMETHODCALLTYPE put_State(COREWEBVIEW2_PERMISSION_STATE state) override;
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) override;

  int state() const { return state_; }

 private:
  OptionalText uri_;
  int kind_;
  bool userInitiated_;
  int state_ = COREWEBVIEW2_PERMISSION_STATE_DEFAULT;
};

class NewWindowRequestedArgs final
    : public ComObject<Unimplemented<ICoreWebView2NewWindowRequestedEventArgs>,
                       ICoreWebView2NewWindowRequestedEventArgs>,
      public Deferrable {
 public:
  NewWindowRequestedArgs(OptionalText uri, bool userInitiated)
      : uri_(std::move(uri)), userInitiated_(userInitiated) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override;
  HRESULT STDMETHODCALLTYPE put_NewWindow(ICoreWebView2* newWindow) override;
  HRESULT STDMETHODCALLTYPE get_NewWindow(ICoreWebView2** newWindow) override;
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override;
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override;
  HRESULT STDMETHODCALLTYPE get_IsUserInitiated(BOOL* isUserInitiated) override;
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) override;

  bool handled() const { return handled_ != FALSE; }
  bool newWindowGiven() const { return newWindowGiven_; }

 private:
  OptionalText uri_;
  bool userInitiated_;
  BOOL handled_ = FALSE;
  bool newWindowGiven_ = false;
};

class WebMessageReceivedArgs final
    : public ComObject<Unimplemented<ICoreWebView2WebMessageReceivedEventArgs>,
                       ICoreWebView2WebMessageReceivedEventArgs> {
 public:
  // asString is set when the page posted a string rather than a JSON value.
  WebMessageReceivedArgs(OptionalText source, std::wstring asJson, OptionalText asString)
      : source_(std::move(source)), asJson_(std::move(asJson)), asString_(std::move(asString)) {}
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override;
  HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* webMessageAsJson) override;
  HRESULT STDMETHODCALLTYPE TryGetWebMessageAsString(LPWSTR* webMessageAsString) override;

 private:
  OptionalText source_;
  std::wstring asJson_;
  OptionalText asString_;
};

class DOMContentLoadedArgs final
    : public ComObject<Unimplemented<ICoreWebView2DOMContentLoadedEventArgs>,
                       ICoreWebView2DOMContentLoadedEventArgs> {
 public:
  explicit DOMContentLoadedArgs(UINT64 navigationId) : navigationId_(navigationId) {}
  HRESULT STDMETHODCALLTYPE get_NavigationId(UINT64* navigationId) override;

 private:
  UINT64 navigationId_;
};

// A key the browser treats as a shortcut, pressed or released while the
// page has the keyboard.
class AcceleratorKeyPressedArgs final
    : public ComObject<Unimplemented<ICoreWebView2AcceleratorKeyPressedEventArgs>,
                       ICoreWebView2AcceleratorKeyPressedEventArgs> {
 public:
  // alt: Alt is held (a "system" key); repeat: auto-repeat of a held key.
  AcceleratorKeyPressedArgs(UINT virtualKey, bool alt, bool repeat, bool up);
  HRESULT STDMETHODCALLTYPE get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* keyEventKind) override;
  HRESULT STDMETHODCALLTYPE get_VirtualKey(UINT* virtualKey) override;
  HRESULT STDMETHODCALLTYPE get_KeyEventLParam(INT* lParam) override;
  HRESULT STDMETHODCALLTYPE get_PhysicalKeyStatus(COREWEBVIEW2_PHYSICAL_KEY_STATUS* physicalKeyStatus) override;
  HRESULT STDMETHODCALLTYPE get_Handled(BOOL* handled) override;
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override;

  COREWEBVIEW2_KEY_EVENT_KIND kind() const { return kind_; }
  bool handled() const { return handled_ != FALSE; }

 private:
  UINT virtualKey_;
  COREWEBVIEW2_KEY_EVENT_KIND kind_;
  COREWEBVIEW2_PHYSICAL_KEY_STATUS status_ = {};
  BOOL handled_ = FALSE;
};

class WebResourceRequestedArgs final
    : public ComObject<Unimplemented<ICoreWebView2WebResourceRequestedEventArgs>,
                       ICoreWebView2WebResourceRequestedEventArgs>,
      public Deferrable {
 public:
  WebResourceRequestedArgs(ComRef<WebResourceRequest> request, int context)
      : request_(std::move(request)), context_(context) {}
  HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** request) override;
  HRESULT STDMETHODCALLTYPE get_Response(ICoreWebView2WebResourceResponse** response) override;
  HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* response) override;
  HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) override;
  HRESULT STDMETHODCALLTYPE get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context) override;

  ICoreWebView2WebResourceResponse* response() const { return response_.Get(); }

 private:
  ComRef<WebResourceRequest> request_;
  ComRef<ICoreWebView2WebResourceResponse> response_;
  int context_;
};

}  // namespace standin
