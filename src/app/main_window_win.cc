#include "app/main_window_win.h"

#include <gdiplus.h>
#include <shlwapi.h>

#include <climits>

#include "app/game_window_win.h"
#include "app/end_session_win.h"
#include "common/dpi.h"
#include "common/files_win.h"
#include "webview/kiln_web_view.h"

namespace kiln {
namespace {

constexpr wchar_t kMainWindowClass[] = L"WindowsWebview2Wrapper";

DWORD MainWindowStyle(const AppConfig& config) {
  return config.resizable ? WS_OVERLAPPEDWINDOW
                          : WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
}

}  // namespace

HICON LoadIconFromImageFile(const std::string& path) {
  // GDI+ gets the bytes rather than the path: the file is read like every
  // other file of the app, and GDI+ never has to open an extended-length
  // path itself.
  const std::string bytes = ReadFileToString(path);
  if (bytes.empty() || bytes.size() > UINT_MAX) return nullptr;
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                      static_cast<UINT>(bytes.size()));
  if (!stream) return nullptr;
  HICON icon = nullptr;
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (Gdiplus::DllExports::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok) {
    if (Gdiplus::DllExports::GdipCreateHICONFromBitmap(bitmap, &icon) != Gdiplus::Ok) {
      icon = nullptr;
    }
    // The bitmap reads from the stream until it is disposed of.
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
  }
  stream->Release();
  return icon;
}

bool RegisterMainWindowClass(HINSTANCE instance, const AppConfig& config) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = static_cast<HICON>(config.iconHandle);
  windowClass.hIconSm = static_cast<HICON>(config.iconHandle);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kMainWindowClass;
  return RegisterClassExW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance, const AppConfig& config, const std::wstring& title) {
  const DWORD style = MainWindowStyle(config);
  int width = config.width, height = config.height;
  RaiseToMinimumSize(config, width, height);
  RECT rect = {0, 0, DpiScale(width), DpiScale(height)};
  AdjustWindowRectEx(&rect, style, FALSE, 0);
  return CreateWindowExW(0, kMainWindowClass, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                         rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance,
                         nullptr);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == RunDeferredWorkMessage()) {
    if (g_webView) g_webView->RunDeferred();
    return 0;
  }
  LRESULT answered = 0;
  if (HandleGameWindowMessage(window, message, wParam, lParam, &answered)) return answered;
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_ENDSESSION:
      if (wParam) EndSession();
      return 0;
    case WM_SIZE:
      if (g_webView && g_webView->controller) {
        RECT bounds = {};
        GetClientRect(window, &bounds);
        g_webView->controller->put_Bounds(bounds);
      }
      return 0;
    case WM_MOVE:
    case WM_MOVING:
      if (g_webView && g_webView->controller) {
        g_webView->controller->NotifyParentWindowPositionChanged();
      }
      return 0;
    case WM_ACTIVATE: {
      // Activation puts keyboard focus on the main window itself; hand it on
      // to the page, or a game stops hearing keys after Alt+Tab.
      const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
      const bool active = LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0;
      if (active && g_webView && g_webView->controller) {
        g_webView->controller->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
      }
      return result;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void KilnWebView::SetFullscreen(bool on) {
  if (on == isFullscreen) return;
  isFullscreen = on;

  RECT target = {};
  if (on) {
    savedStyle = GetWindowLongW(window, GWL_STYLE);
    savedExStyle = GetWindowLongW(window, GWL_EXSTYLE);
    GetWindowRect(window, &savedRect);
    SetWindowLongW(window, GWL_STYLE, savedStyle & ~(WS_CAPTION | WS_THICKFRAME));
    SetWindowLongW(window, GWL_EXSTYLE,
                   savedExStyle & ~(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE |
                                    WS_EX_STATICEDGE));
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    target = monitor.rcMonitor;
  } else {
    SetWindowLongW(window, GWL_STYLE, savedStyle);
    SetWindowLongW(window, GWL_EXSTYLE, savedExStyle);
    target = savedRect;
  }
  SetWindowPos(window, nullptr, target.left, target.top, target.right - target.left,
               target.bottom - target.top, SWP_FRAMECHANGED | SWP_NOACTIVATE | SWP_NOZORDER);

  // Telling the shell lets the taskbar step aside; without it the window still
  // covers the monitor, so a taskbar that cannot be had is tried again later.
  if (!taskbar) {
    ITaskbarList2* list = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ITaskbarList2, reinterpret_cast<void**>(&list)))) {
      if (SUCCEEDED(list->HrInit())) {
        taskbar = list;
      } else {
        list->Release();
      }
    }
  }
  if (taskbar) taskbar->MarkFullscreenWindow(window, on ? TRUE : FALSE);
}

void KilnWebView::SetWindowSize(int width, int height) {
  if (isFullscreen || width <= 0 || height <= 0) return;
  RaiseToMinimumSize(*config, width, height);
  const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
  RECT rect = {0, 0, DpiScale(width), DpiScale(height)};
  AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE);
}

void KilnWebView::SetWindowPosition(int x, int y) {
  if (isFullscreen) return;
  SetWindowPos(window, nullptr, DpiScale(x), DpiScale(y), 0, 0,
               SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOSIZE);
}

}  // namespace kiln
