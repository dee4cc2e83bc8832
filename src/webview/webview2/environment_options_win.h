// Kiln's environment options object, handed to environment creation.
// Defaults: target compatible browser version "118.0.2088.41" (the WebView2
// SDK whose ABI we declare), language and additional browser arguments empty,
// single sign-on with the OS primary account off.
#pragma once

#include <string>

#include "webview/webview2/com_ref.h"
#include "webview/webview2/webview2.h"

namespace kiln {

inline constexpr wchar_t kTargetCompatibleBrowserVersion[] = L"118.0.2088.41";

// Only ICoreWebView2EnvironmentOptions is offered: runtimes tolerate objects
// that answer E_NOINTERFACE for the later option interfaces.
class EnvironmentOptions final : public ICoreWebView2EnvironmentOptions {
 public:
  // A new object with a count of 1.
  static ComRef<EnvironmentOptions> Create();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE get_AdditionalBrowserArguments(LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_AdditionalBrowserArguments(LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE get_Language(LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_Language(LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE get_TargetCompatibleBrowserVersion(LPWSTR* value) override;
  HRESULT STDMETHODCALLTYPE put_TargetCompatibleBrowserVersion(LPCWSTR value) override;
  HRESULT STDMETHODCALLTYPE get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) override;
  HRESULT STDMETHODCALLTYPE put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) override;

 private:
  EnvironmentOptions() = default;
  ~EnvironmentOptions() = default;

  LONG count_ = 1;
  std::wstring additionalBrowserArguments_;
  std::wstring language_;
  std::wstring targetCompatibleBrowserVersion_ = kTargetCompatibleBrowserVersion;
  BOOL allowSingleSignOn_ = FALSE;
};

}  // namespace kiln
