#include "event_args.h"

#include "webview/webview2/co_task_string.h"

namespace standin {
namespace {

HRESULT CopyOut(const OptionalText& text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!text) return E_FAIL;
  *out = kiln::CoTaskCopy(*text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CopyOut(BOOL value, BOOL* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

}  // namespace

HRESULT Deferrable::TakeDeferral(IUnknown* owner, ICoreWebView2Deferral** deferral) {
  if (!deferral) return E_POINTER;
  ++taken_;
  ++outstanding_;
  *deferral = new Deferral(owner, this);
  return S_OK;
}

void Deferrable::WhenSettled(std::function<void()> then) {
  if (outstanding_ == 0) {
    then();
  } else {
    then_ = std::move(then);
  }
}

void Deferrable::CompleteOne() {
  if (outstanding_ > 0 && --outstanding_ == 0 && then_) {
    auto then = std::move(then_);
    then_ = nullptr;
    then();
  }
}

Deferral::Deferral(IUnknown* owner, Deferrable* target) : owner_(owner), target_(target) {
  owner_->AddRef();
}

Deferral::~Deferral() { owner_->Release(); }

HRESULT Deferral::Complete() {
  if (completed_) return E_FAIL;
  completed_ = true;
  target_->CompleteOne();
  return S_OK;
}

HRESULT NavigationStartingArgs::get_Uri(LPWSTR* uri) { return CopyOut(uri_, uri); }

HRESULT NavigationStartingArgs::get_IsUserInitiated(BOOL* isUserInitiated) {
  return CopyOut(userInitiated_, isUserInitiated);
}

HRESULT NavigationStartingArgs::get_IsRedirected(BOOL* isRedirected) {
  return CopyOut(FALSE, isRedirected);
}

HRESULT NavigationStartingArgs::get_RequestHeaders(ICoreWebView2HttpRequestHeaders** requestHeaders) {
  if (!requestHeaders) return E_POINTER;
  *requestHeaders = new RequestHeaders(HeaderList());
  return S_OK;
}

HRESULT NavigationStartingArgs::get_Cancel(BOOL* cancel) { return CopyOut(cancel_, cancel); }

HRESULT NavigationStartingArgs::put_Cancel(BOOL cancel) {
  cancel_ = cancel;
  return S_OK;
}

HRESULT NavigationStartingArgs::get_NavigationId(UINT64* navigationId) {
  if (!navigationId) return E_POINTER;
  *navigationId = navigationId_;
  return S_OK;
}

HRESULT PermissionRequestedArgs::get_Uri(LPWSTR* uri) { return CopyOut(uri_, uri); }

HRESULT PermissionRequestedArgs::get_PermissionKind(COREWEBVIEW2_PERMISSION_KIND* kind) {
  if (!kind) return E_POINTER;
  *kind = static_cast<COREWEBVIEW2_PERMISSION_KIND>(kind_);
  return S_OK;
}

HRESULT PermissionRequestedArgs::get_IsUserInitiated(BOOL* isUserInitiated) {
  return CopyOut(userInitiated_, isUserInitiated);
}

HRESULT PermissionRequestedArgs::get_State(COREWEBVIEW2_PERMISSION_STATE* state) {
  if (!state) return E_POINTER;
  *state = static_cast<COREWEBVIEW2_PERMISSION_STATE>(state_);
  return S_OK;
}

HRESULT PermissionRequestedArgs::put_State(COREWEBVIEW2_PERMISSION_STATE state) {
  state_ = state;
  return S_OK;
}

HRESULT PermissionRequestedArgs::GetDeferral(ICoreWebView2Deferral** deferral) {
  return TakeDeferral(this, deferral);
}

HRESULT NewWindowRequestedArgs::get_Uri(LPWSTR* uri) { return CopyOut(uri_, uri); }

HRESULT NewWindowRequestedArgs::put_NewWindow(ICoreWebView2* newWindow) {
  newWindowGiven_ = newWindow != nullptr;
  return S_OK;
}

HRESULT NewWindowRequestedArgs::get_NewWindow(ICoreWebView2** newWindow) {
  if (!newWindow) return E_POINTER;
  *newWindow = nullptr;
  return S_OK;
}

HRESULT NewWindowRequestedArgs::put_Handled(BOOL handled) {
  handled_ = handled;
  return S_OK;
}

HRESULT NewWindowRequestedArgs::get_Handled(BOOL* handled) { return CopyOut(handled_, handled); }

HRESULT NewWindowRequestedArgs::get_IsUserInitiated(BOOL* isUserInitiated) {
  return CopyOut(userInitiated_, isUserInitiated);
}

HRESULT NewWindowRequestedArgs::GetDeferral(ICoreWebView2Deferral** deferral) {
  return TakeDeferral(this, deferral);
}

HRESULT WebMessageReceivedArgs::get_Source(LPWSTR* source) { return CopyOut(source_, source); }

HRESULT WebMessageReceivedArgs::get_WebMessageAsJson(LPWSTR* webMessageAsJson) {
  return CopyOut(OptionalText(asJson_), webMessageAsJson);
}

HRESULT WebMessageReceivedArgs::TryGetWebMessageAsString(LPWSTR* webMessageAsString) {
  if (!webMessageAsString) return E_POINTER;
  *webMessageAsString = nullptr;
  // As the runtime does: a message that is not a string cannot be had as one.
  if (!asString_) return E_INVALIDARG;
  return CopyOut(asString_, webMessageAsString);
}

HRESULT DOMContentLoadedArgs::get_NavigationId(UINT64* navigationId) {
  if (!navigationId) return E_POINTER;
  *navigationId = navigationId_;
  return S_OK;
}

HRESULT WebResourceRequestedArgs::get_Request(ICoreWebView2WebResourceRequest** request) {
  if (!request) return E_POINTER;
  request_->AddRef();
  *request = request_.Get();
  return S_OK;
}

HRESULT WebResourceRequestedArgs::get_Response(ICoreWebView2WebResourceResponse** response) {
  if (!response) return E_POINTER;
  *response = response_.Get();
  if (response_) response_->AddRef();
  return S_OK;
}

HRESULT WebResourceRequestedArgs::put_Response(ICoreWebView2WebResourceResponse* response) {
  response_ = ComRef<ICoreWebView2WebResourceResponse>::Share(response);
  return S_OK;
}

HRESULT WebResourceRequestedArgs::GetDeferral(ICoreWebView2Deferral** deferral) {
  return TakeDeferral(this, deferral);
}

HRESULT WebResourceRequestedArgs::get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context) {
  if (!context) return E_POINTER;
  *context = static_cast<COREWEBVIEW2_WEB_RESOURCE_CONTEXT>(context_);
  return S_OK;
}

AcceleratorKeyPressedArgs::AcceleratorKeyPressedArgs(UINT virtualKey, bool alt, bool repeat,
                                                     bool up)
    : virtualKey_(virtualKey),
      kind_(alt ? (up ? COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP
                      : COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_DOWN)
                : (up ? COREWEBVIEW2_KEY_EVENT_KIND_KEY_UP : COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN)) {
  status_.RepeatCount = 1;
  status_.ScanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
  status_.IsMenuKeyDown = alt;
  status_.WasKeyDown = repeat || up;
  status_.WasKeyReleased = up;
}

HRESULT AcceleratorKeyPressedArgs::get_KeyEventKind(COREWEBVIEW2_KEY_EVENT_KIND* keyEventKind) {
  if (!keyEventKind) return E_POINTER;
  *keyEventKind = kind_;
  return S_OK;
}

HRESULT AcceleratorKeyPressedArgs::get_VirtualKey(UINT* virtualKey) {
  if (!virtualKey) return E_POINTER;
  *virtualKey = virtualKey_;
  return S_OK;
}

// The key message's lParam, built from the same fields.
HRESULT AcceleratorKeyPressedArgs::get_KeyEventLParam(INT* lParam) {
  if (!lParam) return E_POINTER;
  *lParam = static_cast<INT>(status_.RepeatCount | (status_.ScanCode << 16) |
                             (status_.IsMenuKeyDown ? 1u << 29 : 0u) |
                             (status_.WasKeyDown ? 1u << 30 : 0u) |
                             (status_.WasKeyReleased ? 1u << 31 : 0u));
  return S_OK;
}

HRESULT AcceleratorKeyPressedArgs::get_PhysicalKeyStatus(
    COREWEBVIEW2_PHYSICAL_KEY_STATUS* physicalKeyStatus) {
  if (!physicalKeyStatus) return E_POINTER;
  *physicalKeyStatus = status_;
  return S_OK;
}

HRESULT AcceleratorKeyPressedArgs::get_Handled(BOOL* handled) { return CopyOut(handled_, handled); }

HRESULT AcceleratorKeyPressedArgs::put_Handled(BOOL handled) {
  handled_ = handled;
  return S_OK;
}

}  // namespace standin
