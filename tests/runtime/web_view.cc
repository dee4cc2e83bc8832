#include "web_view.h"

#include "kiln_callbacks.h"
#include "scenario.h"
#include "transcript.h"
#include "webview/webview2/co_task_string.h"

namespace standin {
namespace {

WebView* g_current = nullptr;

json TextOrNull(const OptionalText& text) { return text ? json(Utf8(*text)) : json(nullptr); }

HRESULT CopyOut(BOOL value, BOOL* out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

HRESULT PutSetting(const char* name, BOOL& setting, BOOL value) {
  setting = value;
  Record({{"event", "setting"}, {"name", name}, {"value", value != FALSE}});
  return S_OK;
}

// Filters are addresses with "*" standing for any run of characters.
bool WildcardMatch(const wchar_t* pattern, const wchar_t* text) {
  if (*pattern == L'\0') return *text == L'\0';
  if (*pattern == L'*') {
    for (const wchar_t* rest = text;; ++rest) {
      if (WildcardMatch(pattern + 1, rest)) return true;
      if (*rest == L'\0') return false;
    }
  }
  return *text != L'\0' && *pattern == *text && WildcardMatch(pattern + 1, text + 1);
}

// Arguments Kiln still holds after its handlers returned (without having
// taken a deferral) are leaked references.
template <class Args>
void ExpectReleased(const char* name, Args* args) {
  if (args->ReferenceCount() != 1) {
    Record({{"event", "error"},
            {"text", std::string(name) + " arguments still referenced after the handlers returned"}});
  }
}

}  // namespace

#define SETTING(Name, member)                                                                \
  HRESULT Settings::get_##Name(BOOL* value) { return CopyOut(member, value); }               \
  HRESULT Settings::put_##Name(BOOL value) { return PutSetting(#Name, member, value); }
SETTING(IsScriptEnabled, isScriptEnabled_)
SETTING(IsWebMessageEnabled, isWebMessageEnabled_)
SETTING(AreDefaultScriptDialogsEnabled, areDefaultScriptDialogsEnabled_)
SETTING(IsStatusBarEnabled, isStatusBarEnabled_)
SETTING(AreDevToolsEnabled, areDevToolsEnabled_)
SETTING(AreDefaultContextMenusEnabled, areDefaultContextMenusEnabled_)
SETTING(AreHostObjectsAllowed, areHostObjectsAllowed_)
SETTING(IsZoomControlEnabled, isZoomControlEnabled_)
SETTING(IsBuiltInErrorPageEnabled, isBuiltInErrorPageEnabled_)
#undef SETTING

WebView* WebView::Current() { return g_current; }

WebView::WebView(bool offersWebView2)
    : offersWebView2_(offersWebView2), settings_(ComRef<Settings>::Adopt(new Settings())) {
  g_current = this;
}

WebView::~WebView() {
  if (g_current == this) g_current = nullptr;
  Record({{"event", "released"}, {"object", "web view"}});
}

bool WebView::Offers(REFIID iid) const {
  return offersWebView2_ || !IsEqualIID(iid, IID_ICoreWebView2_2);
}

HRESULT WebView::get_Settings(ICoreWebView2Settings** settings) {
  if (!settings) return E_POINTER;
  settings_->AddRef();
  *settings = settings_.Get();
  return S_OK;
}

HRESULT WebView::get_Source(LPWSTR* uri) {
  if (!uri) return E_POINTER;
  *uri = kiln::CoTaskCopy(source_);
  return S_OK;
}

HRESULT WebView::Navigate(LPCWSTR uri) {
  if (!uri) return E_INVALIDARG;
  const std::wstring address = uri;
  Record({{"event", "navigate"}, {"uri", Utf8(address)}});
  page().Navigate(address);
  return S_OK;
}

template <class Handler>
HRESULT WebView::Add(const char* name, Handlers<Handler>& handlers, Handler* handler,
                     EventRegistrationToken* token) {
  Record({{"event", "add-handler"}, {"name", name}, {"token", token != nullptr}});
  if (!handler) return E_INVALIDARG;
  handlers.push_back(ComRef<Handler>::Share(handler));
  if (token) token->value = nextToken_++;
  return S_OK;
}

template <class Handler, class Args>
void WebView::Raise(const char* name, const Handlers<Handler>& handlers, Args* args) {
  const Handlers<Handler> snapshot = handlers;  // a handler may add another
  for (const ComRef<Handler>& handler : snapshot) {
    const HRESULT result = CallKiln(name, handler.Get(), static_cast<ICoreWebView2*>(this), args);
    if (FAILED(result)) {
      Record({{"event", "handler-failed"},
              {"name", name},
              {"hresult", static_cast<unsigned long>(result)}});
    }
  }
}

HRESULT WebView::add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* handler,
                                        EventRegistrationToken* token) {
  return Add("NavigationStarting", navigationStarting_, handler, token);
}

HRESULT WebView::add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler* handler,
                                         EventRegistrationToken* token) {
  return Add("PermissionRequested", permissionRequested_, handler, token);
}

HRESULT WebView::PostWebMessageAsJson(LPCWSTR webMessageAsJson) {
  if (countingPosts_) {
    QueryPerformanceCounter(&lastPostedAt_);
    ++postsCounted_;
    lastPosted_ = Utf8(webMessageAsJson);
    if (!expectedPost_.empty() && lastPosted_ != expectedPost_) ++postsUnexpected_;
    return S_OK;
  }
  const std::string text = Utf8(webMessageAsJson);
  // The runtime refuses text that is not JSON.
  const bool valid = webMessageAsJson && json::accept(text);
  Record({{"event", "post-json"}, {"json", text}, {"valid", valid}});
  if (valid) page().PostJson(text);
  NoteEvent("post-json");
  return valid ? S_OK : E_INVALIDARG;
}

HRESULT WebView::PostWebMessageAsString(LPCWSTR webMessageAsString) {
  Record({{"event", "post-string"}, {"text", Utf8(webMessageAsString)}});
  return webMessageAsString ? S_OK : E_INVALIDARG;
}

HRESULT WebView::add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                        EventRegistrationToken* token) {
  return Add("WebMessageReceived", webMessageReceived_, handler, token);
}

HRESULT WebView::add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* handler,
                                        EventRegistrationToken* token) {
  return Add("NewWindowRequested", newWindowRequested_, handler, token);
}

HRESULT WebView::add_DocumentTitleChanged(ICoreWebView2DocumentTitleChangedEventHandler* handler,
                                          EventRegistrationToken* token) {
  return Add("DocumentTitleChanged", documentTitleChanged_, handler, token);
}

HRESULT WebView::get_DocumentTitle(LPWSTR* title) {
  if (!title) return E_POINTER;
  *title = nullptr;
  if (!title_) return E_FAIL;
  *title = kiln::CoTaskCopy(*title_);
  return S_OK;
}

HRESULT WebView::add_ContainsFullScreenElementChanged(
    ICoreWebView2ContainsFullScreenElementChangedEventHandler* handler,
    EventRegistrationToken* token) {
  return Add("ContainsFullScreenElementChanged", fullScreenChanged_, handler, token);
}

HRESULT WebView::get_ContainsFullScreenElement(BOOL* containsFullScreenElement) {
  return CopyOut(containsFullScreenElement_, containsFullScreenElement);
}

HRESULT WebView::add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* handler,
                                          EventRegistrationToken* token) {
  return Add("WebResourceRequested", webResourceRequested_, handler, token);
}

HRESULT WebView::AddWebResourceRequestedFilter(const LPCWSTR uri,
                                               const COREWEBVIEW2_WEB_RESOURCE_CONTEXT context) {
  Record({{"event", "filter"}, {"uri", Utf8(uri)}, {"context", static_cast<int>(context)}});
  if (!uri) return E_INVALIDARG;
  filters_.emplace_back(uri, context);
  page().FiltersChanged();
  return S_OK;
}

HRESULT WebView::add_WindowCloseRequested(ICoreWebView2WindowCloseRequestedEventHandler* handler,
                                          EventRegistrationToken* token) {
  return Add("WindowCloseRequested", windowCloseRequested_, handler, token);
}

HRESULT WebView::add_DOMContentLoaded(ICoreWebView2DOMContentLoadedEventHandler* handler,
                                      EventRegistrationToken* token) {
  return Add("DOMContentLoaded", domContentLoaded_, handler, token);
}

bool WebView::Filtered(const std::wstring& uri, int context) const {
  for (const auto& [pattern, filterContext] : filters_) {
    if ((filterContext == COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL || filterContext == context) &&
        WildcardMatch(pattern.c_str(), uri.c_str())) {
      return true;
    }
  }
  return false;
}

NavigationOutcome WebView::StartNavigation(const OptionalText& uri, bool userInitiated,
                                           Answer answer) {
  auto* args = new NavigationStartingArgs(uri, userInitiated, ++navigationId_);
  Raise("NavigationStarting", navigationStarting_, args);
  const bool cancelled = args->cancelled();
  Record({{"event", "navigation"}, {"uri", TextOrNull(uri)}, {"cancelled", cancelled}});
  ExpectReleased("NavigationStarting", args);
  args->Release();
  if (cancelled || !uri) return NavigationOutcome::Cancelled;
  source_ = *uri;
  const bool served = ServeRequest(*uri, L"GET", HeaderList(),
                                   COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT, std::move(answer));
  return served ? NavigationOutcome::Served : NavigationOutcome::Unfiltered;
}

bool WebView::ServeRequest(const std::wstring& uri, const std::wstring& method, HeaderList headers,
                           int context, Answer answer) {
  json line = {{"event", "response"}, {"uri", Utf8(uri)}, {"method", Utf8(method)},
               {"context", context}};
  if (!Filtered(uri, context)) {
    Record({{"event", "unfiltered-request"}, {"uri", Utf8(uri)}, {"context", context}});
    return false;
  }
  auto request = ComRef<WebResourceRequest>::Adopt(
      new WebResourceRequest(uri, method, std::move(headers)));
  auto* args = new WebResourceRequestedArgs(std::move(request), context);
  Raise("WebResourceRequested", webResourceRequested_, args);
  args->WhenSettled([args, line, answer = std::move(answer)]() mutable {
    ServedResponse served;
    if (args->response()) {
      line.update(DescribeResponse(args->response(), answer ? &served : nullptr));
    } else {
      line["none"] = true;
    }
    if (args->WasDeferred()) {
      line["deferred"] = true;
    } else {
      ExpectReleased("WebResourceRequested", args);
    }
    Record(line);
    const bool answered = args->response() != nullptr;
    args->Release();
    if (answer) answer(answered ? &served : nullptr);
  });
  return true;
}

ComRef<ICoreWebView2WebResourceResponse> WebView::Fetch(const std::wstring& uri,
                                                       HeaderList headers) {
  if (!Filtered(uri, COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH)) return nullptr;
  auto request = ComRef<WebResourceRequest>::Adopt(
      new WebResourceRequest(uri, L"GET", std::move(headers)));
  auto* args =
      new WebResourceRequestedArgs(std::move(request), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH);
  Raise("WebResourceRequested", webResourceRequested_, args);
  ComRef<ICoreWebView2WebResourceResponse> response;
  if (args->WasDeferred()) {
    Record({{"event", "error"}, {"text", "a bulk request was deferred"}});
  } else {
    ExpectReleased("WebResourceRequested", args);
    response = ComRef<ICoreWebView2WebResourceResponse>::Share(args->response());
  }
  args->Release();
  return response;
}

void WebView::RaiseDOMContentLoaded() {
  auto* args = new DOMContentLoadedArgs(navigationId_);
  Raise("DOMContentLoaded", domContentLoaded_, args);
  NoteEvent("dom-content-loaded");
  ExpectReleased("DOMContentLoaded", args);
  args->Release();
}

void WebView::ChangeTitle(const OptionalText& title) {
  title_ = title;
  Raise("DocumentTitleChanged", documentTitleChanged_, static_cast<IUnknown*>(nullptr));
}

void WebView::ReceiveMessage(const OptionalText& source, const std::wstring& asJson,
                             const OptionalText& asString) {
  auto* args = new WebMessageReceivedArgs(source, asJson, asString);
  Raise("WebMessageReceived", webMessageReceived_, args);
  NoteEvent("message");
  ExpectReleased("WebMessageReceived", args);
  args->Release();
}

void WebView::CountPosts(bool on, const std::string& expected) {
  countingPosts_ = on;
  postsCounted_ = 0;
  postsUnexpected_ = 0;
  expectedPost_ = expected;
  lastPosted_.clear();
  lastPostedAt_ = LARGE_INTEGER{};
}

void WebView::ChangeFullscreenElement(bool contains) {
  containsFullScreenElement_ = contains ? TRUE : FALSE;
  Raise("ContainsFullScreenElementChanged", fullScreenChanged_, static_cast<IUnknown*>(nullptr));
}

void WebView::RequestClose() {
  Raise("WindowCloseRequested", windowCloseRequested_, static_cast<IUnknown*>(nullptr));
}

void WebView::RequestNewWindow(const OptionalText& uri, bool userInitiated) {
  auto* args = new NewWindowRequestedArgs(uri, userInitiated);
  Raise("NewWindowRequested", newWindowRequested_, args);
  args->WhenSettled([args, uri] {
    if (!args->WasDeferred()) ExpectReleased("NewWindowRequested", args);
    Record({{"event", "new-window"},
            {"uri", TextOrNull(uri)},
            {"handled", args->handled()},
            {"newWindow", args->newWindowGiven()}});
    args->Release();
  });
}

void WebView::RequestPermission(const OptionalText& uri, int kind, bool userInitiated,
                                std::function<void(int state)> decided) {
  auto* args = new PermissionRequestedArgs(uri, kind, userInitiated);
  Raise("PermissionRequested", permissionRequested_, args);
  args->WhenSettled([args, kind, decided] {
    if (!args->WasDeferred()) ExpectReleased("PermissionRequested", args);
    const int state = args->state();
    Record({{"event", "permission"}, {"kind", kind}, {"state", state}});
    args->Release();
    if (decided) decided(state);
  });
}

}  // namespace standin
