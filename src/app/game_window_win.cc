#include "app/game_window_win.h"

#include <algorithm>

#include "app/placement_win.h"
#include "app/single_instance_win.h"
#include "common/dpi.h"
#include "webview/kiln_web_view.h"

namespace kiln {
namespace {

// The smallest outer size whose client area holds the configured minimum,
// for the window's frame as it is now (none while fullscreen).
void ApplyMinimumTrackSize(HWND window, const AppConfig& config, MINMAXINFO* limits) {
  if (config.minWidth <= 0 && config.minHeight <= 0) return;
  RECT rect = {0, 0, config.minWidth > 0 ? DpiScale(config.minWidth) : 0,
               config.minHeight > 0 ? DpiScale(config.minHeight) : 0};
  AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  // Never beyond what the system lets the window grow to: a minimum larger
  // than the screen would otherwise push the window past every edge.
  if (config.minWidth > 0) {
    limits->ptMinTrackSize.x = std::min<LONG>(std::max<LONG>(limits->ptMinTrackSize.x,
                                                             rect.right - rect.left),
                                              limits->ptMaxTrackSize.x);
  }
  if (config.minHeight > 0) {
    limits->ptMinTrackSize.y = std::min<LONG>(std::max<LONG>(limits->ptMinTrackSize.y,
                                                             rect.bottom - rect.top),
                                              limits->ptMaxTrackSize.y);
  }
}

KeyEventKind KindOf(UINT message) {
  switch (message) {
    case WM_KEYDOWN: return KeyEventKind::KeyDown;
    case WM_KEYUP: return KeyEventKind::KeyUp;
    case WM_SYSKEYDOWN: return KeyEventKind::SystemKeyDown;
    default: return KeyEventKind::SystemKeyUp;
  }
}

}  // namespace

void RaiseToMinimumSize(const AppConfig& config, int& width, int& height) {
  if (config.minWidth > 0) width = std::max(width, static_cast<int>(config.minWidth));
  if (config.minHeight > 0) height = std::max(height, static_cast<int>(config.minHeight));
}

bool HandleFullscreenKey(KilnWebView& host, KeyEventKind kind, uint32_t virtualKey, bool altDown,
                         bool repeat) {
  if (!host.config || !host.config->fullscreenKeys) return false;
  const FullscreenKeyAction action = FullscreenKeyActionFor(kind, virtualKey, altDown, repeat);
  if (action == FullscreenKeyAction::Toggle) host.SetFullscreen(!host.isFullscreen);
  return action != FullscreenKeyAction::None;
}

bool HandleGameWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT* result) {
  if (message == BringToFrontMessage()) {
    *result = BringToFront(window);
    return true;
  }
  if (!g_webView || !g_webView->config) return false;
  switch (message) {
    case WM_GETMINMAXINFO:
      ApplyMinimumTrackSize(window, *g_webView->config, reinterpret_cast<MINMAXINFO*>(lParam));
      *result = 0;
      return true;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
      // The window itself has the keyboard until the page takes it, and
      // again whenever the page gives it back.
      if (HandleFullscreenKey(*g_webView, KindOf(message), static_cast<uint32_t>(wParam),
                              (lParam & (1 << 29)) != 0, (lParam & (1 << 30)) != 0)) {
        *result = 0;
        return true;
      }
      return false;
    case WM_SYSCHAR:
      // Alt+Enter, once handled, must not reach the system menu, which
      // answers an unknown mnemonic with a beep.
      if (wParam == '\r' && g_webView->config->fullscreenKeys) {
        *result = 0;
        return true;
      }
      return false;
    case WM_DESTROY:
      SaveMainWindowPlacement(*g_webView);
      return false;
    case WM_ENDSESSION:
      // Windows may end Kiln once this message is answered: no WM_DESTROY
      // may follow.
      if (wParam) SaveMainWindowPlacement(*g_webView);
      return false;
    default:
      return false;
  }
}

}  // namespace kiln
