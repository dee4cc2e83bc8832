// Wraps a callable as a WebView2 handler object: IUnknown plus the handler
// interface's one Invoke, reference counted, created with a count of 1.
//
//   ComRef<ICoreWebView2NavigationStartingEventHandler> handler =
//       MakeCallback<ICoreWebView2NavigationStartingEventHandler>(
//           [this](ICoreWebView2* sender, ICoreWebView2NavigationStartingEventArgs* args) {
//             return OnNavigationStarting(args);
//           });
//
// Whoever registers the handler lets the ComRef go afterwards, so the web
// view holds the only reference.
#pragma once

#include <windows.h>

#include <utility>

#include "webview/webview2/com_ref.h"
#include "webview/webview2/webview2.h"

namespace kiln {
namespace callback_detail {

template <class InvokeMethod>
struct InvokeSignature;

template <class Interface, class... Args>
struct InvokeSignature<HRESULT (STDMETHODCALLTYPE Interface::*)(Args...)> {
  template <class Handler, class Function>
  class Object final : public Handler {
   public:
    explicit Object(Function function) : function_(std::move(function)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
      if (!object) return E_POINTER;
      if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IidOf<Handler>())) {
        *object = static_cast<Handler*>(this);
        AddRef();
        return S_OK;
      }
      *object = nullptr;
      return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
      return static_cast<ULONG>(InterlockedIncrement(&count_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
      const LONG count = InterlockedDecrement(&count_);
      if (count == 0) delete this;
      return static_cast<ULONG>(count);
    }
    HRESULT STDMETHODCALLTYPE Invoke(Args... args) override { return function_(args...); }

   private:
    LONG count_ = 1;
    Function function_;
  };
};

}  // namespace callback_detail

template <class Handler, class Function>
ComRef<Handler> MakeCallback(Function function) {
  using Signature = callback_detail::InvokeSignature<decltype(&Handler::Invoke)>;
  using Object = typename Signature::template Object<Handler, Function>;
  return ComRef<Handler>::Adopt(new Object(std::move(function)));
}

}  // namespace kiln
