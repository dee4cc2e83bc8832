// The one object that owns the main window's web view and the window state
// the page can change.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <deque>
#include <functional>
#include <map>
#include <string>

#include "app/app_config.h"
#include "app/app_context.h"
#include "bridge/page_actions.h"
#include "extensions/web_view_host.h"
#include "webview/content_folder_win.h"
#include "webview/webview2/com_ref.h"
#include "webview/webview2/webview2.h"

namespace kiln {

// Also what page messages act on (PageActions) and what extensions post
// through (WebViewHost): the constructor makes it the AppContext's host.
class KilnWebView final : public PageActions, public WebViewHost {
 public:
  KilnWebView(AppConfig* config, HWND window, const std::string& exeFolder,
              const wchar_t* browserFolder, const std::string& userDataFolder);
  ~KilnWebView();
  KilnWebView(const KilnWebView&) = delete;
  KilnWebView& operator=(const KilnWebView&) = delete;

  // Starts creating the web view and returns at once; the environment and
  // then the controller arrive later through the message loop.
  void Init();
  HRESULT OnEnvironmentCreated(HRESULT errorCode, ICoreWebView2Environment* createdEnvironment);
  HRESULT OnControllerCreated(HRESULT errorCode, ICoreWebView2Controller* createdController);

  // Window operations the page can trigger; lengths in 96-DPI units.
  void SetFullscreen(bool on) override;
  void SetWindowSize(int width, int height) override;
  void SetWindowPosition(int x, int y) override;

  // The message bridge (web_message_win.cc). PostJson posts compact JSON
  // text (UTF-8) to the page; nothing is posted before the web view exists.
  void PostJson(const std::string& json) override;
  void PostExtensionMessage(const std::string& componentId, const std::string& messageId,
                            const OutgoingValues& values, double asyncId) override;
  const std::string& UserDataFolder() const override { return userDataFolder; }
  // One message text from a trusted page; never throws.
  void HandleWebMessage(const std::string& text);

  // Runs task from the message loop once the WebView2 callback now running
  // has returned. WebView2 does not survive a nested message loop inside its
  // callbacks (a message box, an extension's dialog, the shell's "open with"
  // window), so everything that may start one waits until then.
  void Defer(std::function<void()> task);
  // Runs the deferred tasks in the order they came, one at a time: a task
  // that runs a nested loop holds back the ones after it.
  void RunDeferred();

  // Event handlers of the web view (web_view_events_win.cc).
  HRESULT OnDocumentTitleChanged(ICoreWebView2* sender);
  HRESULT OnNavigationStarting(ICoreWebView2NavigationStartingEventArgs* args);
  HRESULT OnPermissionRequested(ICoreWebView2PermissionRequestedEventArgs* args);
  HRESULT OnContainsFullScreenElementChanged(ICoreWebView2* sender);
  HRESULT OnWindowCloseRequested();
  HRESULT OnNewWindowRequested(ICoreWebView2NewWindowRequestedEventArgs* args);
  HRESULT OnDOMContentLoaded();
  // F11 and Alt+Enter while the page has the keyboard.
  HRESULT OnAcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventArgs* args);
  // Answers a request under the origin (the local content server).
  HRESULT OnWebResourceRequested(ICoreWebView2WebResourceRequestedEventArgs* args);
  // Takes a message the page posted (the message bridge).
  HRESULT OnWebMessageReceived(ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args);

  AppConfig* config = nullptr;
  AppContext* application = nullptr;
  HWND window = nullptr;
  std::string exeFolder;
  std::string contentSubfolder;
  std::string userDataFolder;
  std::string originPrefix;
  const wchar_t* browserFolder = nullptr;
  ComRef<ICoreWebView2Environment> environment;
  ComRef<ICoreWebView2Controller> controller;
  ComRef<ICoreWebView2> webView;
  ComRef<ICoreWebView2_2> webView2;
  ITaskbarList2* taskbar = nullptr;
  // Where www really is, links resolved: what every served file must lie in.
  // Found on the first request.
  std::wstring contentFolderFinalPath;
  // The files served in ranges, kept open a while (content_server_win.cc),
  // and whether the main window's timer that releases them runs.
  HeldContentFiles heldContentFiles;
  bool heldContentFilesTimer = false;
  static constexpr UINT_PTR kHeldContentFilesTimer = 0x4B494C4E;
  bool isFullscreen = false;
  LONG savedStyle = 0;
  LONG savedExStyle = 0;
  RECT savedRect = {};
  // The first showing maximizes the window (its remembered state).
  bool showMaximized = false;
  // The window has been shown at least once.
  bool wasShown = false;

 private:
  // Registers the event handlers in their fixed order: the nine of the web
  // view, then the controller's fullscreen keys when they are on.
  void RegisterEventHandlers();
  // Environment or controller creation failed: tells the user and ends the
  // run with exit code 1.
  void FailCreation();

  bool creationFailed_ = false;
  std::deque<std::function<void()>> deferred_;
  bool deferredPosted_ = false;
  bool runningDeferred_ = false;
};

// Set from just before KilnWebView::Init until the message loop has ended.
extern KilnWebView* g_webView;

// Posted to the main window when deferred work waits (KilnWebView::Defer).
// A number registered under a name of ours, never one of the WM_APP range
// that extensions are told to use for messages of their own: a subclass of
// theirs that handles its own message must not swallow ours.
UINT RunDeferredWorkMessage();

}  // namespace kiln
