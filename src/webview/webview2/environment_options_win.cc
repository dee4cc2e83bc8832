#include "webview/webview2/environment_options_win.h"

#include "webview/webview2/co_task_string.h"

namespace kiln {
namespace {

HRESULT CopyOut(const std::wstring& text, LPWSTR* value) {
  if (!value) return E_POINTER;
  *value = CoTaskCopy(text);
  return *value ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

ComRef<EnvironmentOptions> EnvironmentOptions::Create() {
  return ComRef<EnvironmentOptions>::Adopt(new EnvironmentOptions());
}

HRESULT EnvironmentOptions::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ICoreWebView2EnvironmentOptions)) {
    *object = static_cast<ICoreWebView2EnvironmentOptions*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG EnvironmentOptions::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&count_)); }

ULONG EnvironmentOptions::Release() {
  const LONG count = InterlockedDecrement(&count_);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT EnvironmentOptions::get_AdditionalBrowserArguments(LPWSTR* value) {
  return CopyOut(additionalBrowserArguments_, value);
}

HRESULT EnvironmentOptions::put_AdditionalBrowserArguments(LPCWSTR value) {
  additionalBrowserArguments_ = value ? value : L"";
  return S_OK;
}

HRESULT EnvironmentOptions::get_Language(LPWSTR* value) { return CopyOut(language_, value); }

HRESULT EnvironmentOptions::put_Language(LPCWSTR value) {
  language_ = value ? value : L"";
  return S_OK;
}

HRESULT EnvironmentOptions::get_TargetCompatibleBrowserVersion(LPWSTR* value) {
  return CopyOut(targetCompatibleBrowserVersion_, value);
}

HRESULT EnvironmentOptions::put_TargetCompatibleBrowserVersion(LPCWSTR value) {
  targetCompatibleBrowserVersion_ = value ? value : L"";
  return S_OK;
}

HRESULT EnvironmentOptions::get_AllowSingleSignOnUsingOSPrimaryAccount(BOOL* allow) {
  if (!allow) return E_POINTER;
  *allow = allowSingleSignOn_;
  return S_OK;
}

HRESULT EnvironmentOptions::put_AllowSingleSignOnUsingOSPrimaryAccount(BOOL allow) {
  allowSingleSignOn_ = allow;
  return S_OK;
}

}  // namespace kiln
