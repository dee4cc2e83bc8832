// The stand-in's web view and its settings. Kiln drives it through the
// ICoreWebView2 interfaces; the scenario drives it as the page and the
// browser would, through the Raise and Serve operations.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "com_object.h"
#include "event_args.h"
#include "page_driver.h"
#include "unimplemented.h"
#include "web_resource.h"

namespace standin {

class Settings final : public ComObject<Unimplemented<ICoreWebView2Settings>, ICoreWebView2Settings> {
 public:
  HRESULT STDMETHODCALLTYPE get_IsScriptEnabled(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_IsScriptEnabled(BOOL value) override;
  HRESULT STDMETHODCALLTYPE get_IsWebMessageEnabled(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_IsWebMessageEnabled(BOOL value) override;
  HRESULT STDMETHODCALLTYPE get_AreDefaultScriptDialogsEnabled(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_AreDefaultScriptDialogsEnabled(BOOL value) override;
  HRESULT STDMETHODCALLTYPE get_IsStatusBarEnabled(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL value) override;
  HRESULT STDMETHODCALLTYPE get_AreDevToolsEnabled(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL value) override;
  HRESULT STDMETHODCALLTYPE get_AreDefaultContextMenusEnabled(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL value) override;
  HRESULT STDMETHODCALLTYPE get_AreHostObjectsAllowed(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_AreHostObjectsAllowed(BOOL value) override;
  HRESULT STDMETHODCALLTYPE get_IsZoomControlEnabled(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL value) override;
  HRESULT STDMETHODCALLTYPE get_IsBuiltInErrorPageEnabled(BOOL* value) override;
  HRESULT STDMETHODCALLTYPE put_IsBuiltInErrorPageEnabled(BOOL value) override;

  bool devToolsEnabled() const { return areDevToolsEnabled_ != FALSE; }

 private:
  // WebView2's defaults: everything on.
  BOOL isScriptEnabled_ = TRUE;
  BOOL isWebMessageEnabled_ = TRUE;
  BOOL areDefaultScriptDialogsEnabled_ = TRUE;
  BOOL isStatusBarEnabled_ = TRUE;
  BOOL areDevToolsEnabled_ = TRUE;
  BOOL areDefaultContextMenusEnabled_ = TRUE;
  BOOL areHostObjectsAllowed_ = TRUE;
  BOOL isZoomControlEnabled_ = TRUE;
  BOOL isBuiltInErrorPageEnabled_ = TRUE;
};

// What the browser does with a request once Kiln's handlers have settled: the
// response they set, or null when they set none.
using Answer = std::function<void(const ServedResponse* response)>;

enum class NavigationOutcome { Cancelled, Served, Unfiltered };

class WebView final : public ComObject<Unimplemented<ICoreWebView2_2>, ICoreWebView2, ICoreWebView2_2> {
 public:
  // The live web view, or null before creation and after Kiln let it go.
  static WebView* Current();

  explicit WebView(bool offersWebView2);
  ~WebView() override;

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override;
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* uri) override;
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override;
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* handler,
                                                   EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler* handler,
                                                    EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE PostWebMessageAsJson(LPCWSTR webMessageAsJson) override;
  HRESULT STDMETHODCALLTYPE PostWebMessageAsString(LPCWSTR webMessageAsString) override;
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                   EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* handler,
                                                   EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE add_DocumentTitleChanged(ICoreWebView2DocumentTitleChangedEventHandler* handler,
                                                     EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE get_DocumentTitle(LPWSTR* title) override;
  HRESULT STDMETHODCALLTYPE add_ContainsFullScreenElementChanged(
      ICoreWebView2ContainsFullScreenElementChangedEventHandler* handler,
      EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE get_ContainsFullScreenElement(BOOL* containsFullScreenElement) override;
  HRESULT STDMETHODCALLTYPE add_WebResourceRequested(ICoreWebView2WebResourceRequestedEventHandler* handler,
                                                     EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE AddWebResourceRequestedFilter(
      const LPCWSTR uri, const COREWEBVIEW2_WEB_RESOURCE_CONTEXT resourceContext) override;
  HRESULT STDMETHODCALLTYPE add_WindowCloseRequested(ICoreWebView2WindowCloseRequestedEventHandler* handler,
                                                     EventRegistrationToken* token) override;
  HRESULT STDMETHODCALLTYPE add_DOMContentLoaded(ICoreWebView2DOMContentLoadedEventHandler* handler,
                                                 EventRegistrationToken* token) override;

  // The browser's side. Without an answer the stand-in serves the document
  // itself; with one, a browser delivers what Kiln answered.
  NavigationOutcome StartNavigation(const OptionalText& uri, bool userInitiated,
                                    Answer answer = nullptr);
  // False when no filter covers the request (answer is then not called).
  bool ServeRequest(const std::wstring& uri, const std::wstring& method, HeaderList headers,
                    int context, Answer answer = nullptr);
  // The page the controller attached, or the stand-in's own while none is.
  PageDriver& page() { return page_ ? *page_ : standInPage_; }
  void SetPage(PageDriver* page) { page_ = page; }
  const Settings& settings() const { return *settings_.Get(); }
  void SetSource(const std::wstring& uri) { source_ = uri; }
  const std::vector<std::pair<std::wstring, int>>& filters() const { return filters_; }
  // A GET request answered at once, for steps that make many: the response
  // Kiln set, or null when the request is not filtered or goes unanswered.
  ComRef<ICoreWebView2WebResourceResponse> Fetch(const std::wstring& uri, HeaderList headers);
  void RaiseDOMContentLoaded();
  void ChangeTitle(const OptionalText& title);
  void ReceiveMessage(const OptionalText& source, const std::wstring& asJson,
                      const OptionalText& asString);
  void ChangeFullscreenElement(bool contains);
  // While on, JSON messages posted to the page are counted, the last one
  // kept with the time it came, instead of being written to the transcript;
  // those that differ from expected (when it is not empty) are counted too.
  // Switching resets all.
  void CountPosts(bool on, const std::string& expected = std::string());
  size_t postsCounted() const { return postsCounted_; }
  size_t postsUnexpected() const { return postsUnexpected_; }
  const std::string& lastPosted() const { return lastPosted_; }
  LARGE_INTEGER lastPostedAt() const { return lastPostedAt_; }
  void RequestClose();
  void RequestNewWindow(const OptionalText& uri, bool userInitiated);
  // decided receives the state Kiln's handlers left, once they settled.
  void RequestPermission(const OptionalText& uri, int kind, bool userInitiated,
                         std::function<void(int state)> decided = nullptr);

 protected:
  bool Offers(REFIID iid) const override;

 private:
  template <class Handler>
  using Handlers = std::vector<ComRef<Handler>>;

  template <class Handler>
  HRESULT Add(const char* name, Handlers<Handler>& handlers, Handler* handler,
              EventRegistrationToken* token);
  template <class Handler, class Args>
  void Raise(const char* name, const Handlers<Handler>& handlers, Args* args);
  bool Filtered(const std::wstring& uri, int context) const;

  bool offersWebView2_;
  PageDriver* page_ = nullptr;
  PageDriver standInPage_;
  ComRef<Settings> settings_;
  std::wstring source_;
  OptionalText title_ = std::wstring();
  BOOL containsFullScreenElement_ = FALSE;
  bool countingPosts_ = false;
  size_t postsCounted_ = 0;
  size_t postsUnexpected_ = 0;
  std::string expectedPost_;
  std::string lastPosted_;
  LARGE_INTEGER lastPostedAt_ = {};
  UINT64 navigationId_ = 0;
  INT64 nextToken_ = 1;
  std::vector<std::pair<std::wstring, int>> filters_;
  Handlers<ICoreWebView2NavigationStartingEventHandler> navigationStarting_;
  Handlers<ICoreWebView2PermissionRequestedEventHandler> permissionRequested_;
  Handlers<ICoreWebView2WebMessageReceivedEventHandler> webMessageReceived_;
  Handlers<ICoreWebView2NewWindowRequestedEventHandler> newWindowRequested_;
  Handlers<ICoreWebView2DocumentTitleChangedEventHandler> documentTitleChanged_;
  Handlers<ICoreWebView2ContainsFullScreenElementChangedEventHandler> fullScreenChanged_;
  Handlers<ICoreWebView2WebResourceRequestedEventHandler> webResourceRequested_;
  Handlers<ICoreWebView2WindowCloseRequestedEventHandler> windowCloseRequested_;
  Handlers<ICoreWebView2DOMContentLoadedEventHandler> domContentLoaded_;
};

}  // namespace standin
