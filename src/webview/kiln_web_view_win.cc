#include "webview/kiln_web_view.h"

#include "common/text_win.h"
#include "webview/app_origin.h"
#include "webview/content_answer.h"
#include "webview/webview2/app_container_access_win.h"
#include "webview/webview2/com_callback.h"
#include "webview/webview2/environment_options_win.h"
#include "webview/webview2/loader_win.h"

namespace kiln {
namespace {

constexpr wchar_t kCreationFailedText[] =
    L"Failed to start the WebView2 control. Check that the Microsoft Edge WebView2 runtime is "
    L"installed correctly, then run the app again.";

}  // namespace

KilnWebView* g_webView = nullptr;

KilnWebView::KilnWebView(AppConfig* config, HWND window, const std::string& exeFolder,
                         const wchar_t* browserFolder, const std::string& userDataFolder)
    : config(config),
      application(g_appContext),
      window(window),
      exeFolder(exeFolder),
      contentSubfolder(std::string(kContentFolderName) + "\\"),
      userDataFolder(userDataFolder),
      browserFolder(browserFolder) {
  if (application) {
    application->contentFolder = exeFolder + contentSubfolder;
    application->webViewHost = this;
  }
  originPrefix = config->contentMode == ContentMode::Remote ? config->main : kAppOrigin;
}

KilnWebView::~KilnWebView() {
  // At the end of a run the AppContext is already gone (and g_appContext
  // null), so only a live one is looked at.
  if (g_appContext && g_appContext->webViewHost == this) g_appContext->webViewHost = nullptr;
  // The newest objects go first, the environment that made them last.
  if (taskbar) {
    taskbar->Release();
    taskbar = nullptr;
  }
  webView2.Reset();
  webView.Reset();
  controller.Reset();
  environment.Reset();
}

void KilnWebView::Init() {
  const std::wstring arguments = Utf8ToWide(config->chromiumArgs);
  const std::wstring userData = Utf8ToWide(userDataFolder);
  ComRef<EnvironmentOptions> options = EnvironmentOptions::Create();
  options->put_AdditionalBrowserArguments(arguments.c_str());
  ComRef<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler> handler =
      MakeCallback<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler>(
          [this](HRESULT errorCode, ICoreWebView2Environment* createdEnvironment) {
            return OnEnvironmentCreated(errorCode, createdEnvironment);
          });
  // A runtime shipped with the app, as unzipped by a user, may lack the
  // access its sandboxed processes need.
  if (browserFolder) EnsureAppContainerAccess(Utf8ToWide(exeFolder) + browserFolder);
  // A runtime that cannot even start creating never calls the handler back.
  if (FAILED(CreateCoreWebView2EnvironmentWithOptions(browserFolder, userData.c_str(),
                                                      options.Get(), handler.Get()))) {
    FailCreation();
  }
}

HRESULT KilnWebView::OnEnvironmentCreated(HRESULT errorCode,
                                          ICoreWebView2Environment* createdEnvironment) {
  if (FAILED(errorCode) || !createdEnvironment) {
    FailCreation();
    return S_OK;
  }
  environment = ComRef<ICoreWebView2Environment>::Share(createdEnvironment);
  ComRef<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler> handler =
      MakeCallback<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler>(
          [this](HRESULT errorCode, ICoreWebView2Controller* createdController) {
            return OnControllerCreated(errorCode, createdController);
          });
  if (FAILED(environment->CreateCoreWebView2Controller(window, handler.Get()))) {
    FailCreation();
  }
  return S_OK;
}

HRESULT KilnWebView::OnControllerCreated(HRESULT errorCode,
                                         ICoreWebView2Controller* createdController) {
  if (FAILED(errorCode) || !createdController) {
    FailCreation();
    return S_OK;
  }
  controller = ComRef<ICoreWebView2Controller>::Share(createdController);
  controller->get_CoreWebView2(webView.Put());
  webView2 = webView.Query<ICoreWebView2_2>();
  // Without ICoreWebView2_2 there is no DOMContentLoaded, and the window
  // would never be shown.
  if (!webView || !webView2) {
    FailCreation();
    return S_OK;
  }

  ComRef<ICoreWebView2Settings> settings;
  webView->get_Settings(settings.Put());
  if (settings) {
    settings->put_IsScriptEnabled(TRUE);
    settings->put_AreHostObjectsAllowed(FALSE);
    settings->put_AreDefaultScriptDialogsEnabled(TRUE);
    settings->put_IsWebMessageEnabled(TRUE);
    settings->put_IsZoomControlEnabled(FALSE);
    settings->put_AreDefaultContextMenusEnabled(TRUE);
    settings->put_AreDevToolsEnabled(config->enableDevtools ? TRUE : FALSE);
  }

  RECT bounds = {};
  GetClientRect(window, &bounds);
  controller->put_Bounds(bounds);

  RegisterEventHandlers();

  const std::wstring start =
      Utf8ToWide(StartAddress(config->contentMode, originPrefix, config->main));
  webView->Navigate(start.c_str());
  return S_OK;
}

void KilnWebView::FailCreation() {
  // A runtime may report one failure twice (a failed call and a failed
  // completion); the user hears of it once.
  if (creationFailed_) return;
  creationFailed_ = true;
  Defer([this] {
    const std::wstring caption = Utf8ToWide(config->title);
    MessageBoxW(nullptr, kCreationFailedText, caption.c_str(), MB_OK | MB_ICONERROR);
    // The window goes first, so nothing can close it later and overwrite the
    // exit code with the 0 of a normal close.
    DestroyWindow(window);
    PostQuitMessage(1);
  });
}

void KilnWebView::Defer(std::function<void()> task) {
  deferred_.push_back(std::move(task));
  // One wake-up at a time: a page that posts thousands of messages at once
  // must not fill the thread's message queue.
  if (!deferredPosted_) {
    deferredPosted_ = PostMessageW(window, RunDeferredWorkMessage(), 0, 0) != FALSE;
  }
}

void KilnWebView::RunDeferred() {
  deferredPosted_ = false;
  if (runningDeferred_) return;
  runningDeferred_ = true;
  while (!deferred_.empty()) {
    std::function<void()> task = std::move(deferred_.front());
    deferred_.pop_front();
    // A task that fails is dropped alone; the ones after it still run.
    try {
      task();
    } catch (...) {
    }
  }
  runningDeferred_ = false;
}

UINT RunDeferredWorkMessage() {
  // Registration fails only when the system's table of names is full; a
  // number of the WM_APP range then still does the work.
  static const UINT message = [] {
    const UINT registered = RegisterWindowMessageW(L"Kiln.RunDeferredWork");
    return registered != 0 ? registered : WM_APP + 0x3F00;
  }();
  return message;
}

}  // namespace kiln
