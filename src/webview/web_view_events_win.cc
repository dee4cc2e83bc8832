// The web view's event handlers: how the page's window-level requests reach
// the desktop.
#include "webview/kiln_web_view.h"

#include <shellapi.h>

#include "app/game_window_win.h"
#include "common/text_win.h"
#include "webview/app_origin.h"
#include "webview/webview2/co_task_string.h"
#include "webview/webview2/com_callback.h"

namespace kiln {

void KilnWebView::RegisterEventHandlers() {
  // The handlers live as long as the web view, so no token is kept; one is
  // still passed, as the registration methods expect somewhere to write it.
  EventRegistrationToken token = {};
  webView->add_DocumentTitleChanged(
      MakeCallback<ICoreWebView2DocumentTitleChangedEventHandler>(
          [this](ICoreWebView2* sender, IUnknown*) { return OnDocumentTitleChanged(sender); })
          .Get(),
      &token);

  if (config->contentMode == ContentMode::Bundle) {
    const std::wstring filter = Utf8ToWide(originPrefix + "*");
    webView->AddWebResourceRequestedFilter(filter.c_str(), COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL);
    webView->add_WebResourceRequested(
        MakeCallback<ICoreWebView2WebResourceRequestedEventHandler>(
            [this](ICoreWebView2*, ICoreWebView2WebResourceRequestedEventArgs* args) {
              return OnWebResourceRequested(args);
            })
            .Get(),
        &token);
    webView->add_NavigationStarting(
        MakeCallback<ICoreWebView2NavigationStartingEventHandler>(
            [this](ICoreWebView2*, ICoreWebView2NavigationStartingEventArgs* args) {
              return OnNavigationStarting(args);
            })
            .Get(),
        &token);
  }

  webView->add_PermissionRequested(
      MakeCallback<ICoreWebView2PermissionRequestedEventHandler>(
          [this](ICoreWebView2*, ICoreWebView2PermissionRequestedEventArgs* args) {
            return OnPermissionRequested(args);
          })
          .Get(),
      &token);
  webView->add_ContainsFullScreenElementChanged(
      MakeCallback<ICoreWebView2ContainsFullScreenElementChangedEventHandler>(
          [this](ICoreWebView2* sender, IUnknown*) {
            return OnContainsFullScreenElementChanged(sender);
          })
          .Get(),
      &token);
  webView->add_WindowCloseRequested(
      MakeCallback<ICoreWebView2WindowCloseRequestedEventHandler>(
          [this](ICoreWebView2*, IUnknown*) { return OnWindowCloseRequested(); })
          .Get(),
      &token);
  webView->add_NewWindowRequested(
      MakeCallback<ICoreWebView2NewWindowRequestedEventHandler>(
          [this](ICoreWebView2*, ICoreWebView2NewWindowRequestedEventArgs* args) {
            return OnNewWindowRequested(args);
          })
          .Get(),
      &token);
  webView->add_WebMessageReceived(
      MakeCallback<ICoreWebView2WebMessageReceivedEventHandler>(
          [this](ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args) {
            return OnWebMessageReceived(sender, args);
          })
          .Get(),
      &token);
  webView2->add_DOMContentLoaded(
      MakeCallback<ICoreWebView2DOMContentLoadedEventHandler>(
          [this](ICoreWebView2*, ICoreWebView2DOMContentLoadedEventArgs*) {
            return OnDOMContentLoaded();
          })
          .Get(),
      &token);
  if (config->fullscreenKeys) {
    controller->add_AcceleratorKeyPressed(
        MakeCallback<ICoreWebView2AcceleratorKeyPressedEventHandler>(
            [this](ICoreWebView2Controller*, ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
              return OnAcceleratorKeyPressed(args);
            })
            .Get(),
        &token);
  }
}

HRESULT KilnWebView::OnDocumentTitleChanged(ICoreWebView2* sender) {
  CoTaskString title;
  if (sender) sender->get_DocumentTitle(title.Put());
  SetWindowTextW(window, title.Text().c_str());
  return S_OK;
}

HRESULT KilnWebView::OnNavigationStarting(ICoreWebView2NavigationStartingEventArgs* args) {
  if (!args) return S_OK;
  CoTaskString uri;
  args->get_Uri(uri.Put());
  if (!IsInsideOrigin(WideToUtf8(uri.Get()), originPrefix)) args->put_Cancel(TRUE);
  return S_OK;
}

HRESULT KilnWebView::OnPermissionRequested(ICoreWebView2PermissionRequestedEventArgs* args) {
  if (args) args->put_State(COREWEBVIEW2_PERMISSION_STATE_ALLOW);
  return S_OK;
}

HRESULT KilnWebView::OnContainsFullScreenElementChanged(ICoreWebView2* sender) {
  BOOL containsFullScreenElement = FALSE;
  if (sender) sender->get_ContainsFullScreenElement(&containsFullScreenElement);
  SetFullscreen(containsFullScreenElement != FALSE);
  return S_OK;
}

HRESULT KilnWebView::OnWindowCloseRequested() {
  SendMessageW(window, WM_CLOSE, 0, 0);
  return S_OK;
}

HRESULT KilnWebView::OnNewWindowRequested(ICoreWebView2NewWindowRequestedEventArgs* args) {
  if (!args) return S_OK;
  CoTaskString uri;
  args->get_Uri(uri.Put());
  if (MayOpenInShell(WideToUtf8(uri.Get()))) {
    // Later, and without the shell's own windows ("no app associated", "open
    // with"): none may come up inside this handler, nor stop the app.
    Defer([address = std::wstring(uri.Get())] {
      SHELLEXECUTEINFOW open = {};
      open.cbSize = sizeof(open);
      open.fMask = SEE_MASK_FLAG_NO_UI;
      open.lpVerb = L"open";
      open.lpFile = address.c_str();
      open.nShow = SW_SHOWDEFAULT;
      ShellExecuteExW(&open);
    });
  }
  // Handled either way: no second app window ever opens.
  args->put_Handled(TRUE);
  return S_OK;
}

HRESULT KilnWebView::OnDOMContentLoaded() {
  ShowWindow(window, showMaximized && !isFullscreen ? SW_SHOWMAXIMIZED : SW_SHOW);
  showMaximized = false;
  wasShown = true;
  UpdateWindow(window);
  controller->put_IsVisible(TRUE);
  controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
  return S_OK;
}

HRESULT KilnWebView::OnAcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventArgs* args) {
  if (!args) return S_OK;
  COREWEBVIEW2_KEY_EVENT_KIND kind = COREWEBVIEW2_KEY_EVENT_KIND_KEY_DOWN;
  UINT virtualKey = 0;
  COREWEBVIEW2_PHYSICAL_KEY_STATUS status = {};
  if (FAILED(args->get_KeyEventKind(&kind)) || FAILED(args->get_VirtualKey(&virtualKey)) ||
      FAILED(args->get_PhysicalKeyStatus(&status))) {
    return S_OK;
  }
  const KeyEventKind kinds[] = {KeyEventKind::KeyDown, KeyEventKind::KeyUp,
                                KeyEventKind::SystemKeyDown, KeyEventKind::SystemKeyUp};
  if (kind < 0 || kind > 3) return S_OK;
  // Handled, the key reaches neither the page nor the browser's own
  // shortcuts: a game never sees a stray Alt+Enter.
  if (HandleFullscreenKey(*this, kinds[kind], virtualKey, status.IsMenuKeyDown != FALSE,
                          status.WasKeyDown != FALSE)) {
    args->put_Handled(TRUE);
  }
  return S_OK;
}

}  // namespace kiln
