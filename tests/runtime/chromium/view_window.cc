#include "view_window.h"

#include <shlwapi.h>
#include <windowsx.h>

#include <utility>

#include <gdiplus.h>

namespace standin {
namespace {

using nlohmann::json;
using namespace Gdiplus::DllExports;

constexpr wchar_t kClassName[] = L"KilnChromiumView";

}  // namespace

ViewWindow::~ViewWindow() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  if (frame_) DeleteObject(frame_);
  if (gdiplusToken_) Gdiplus::GdiplusShutdown(gdiplusToken_);
}

bool ViewWindow::Create(HWND parent, InputSink sink, std::function<void()> painted) {
  Gdiplus::GdiplusStartupInput input;
  Gdiplus::GdiplusStartup(&gdiplusToken_, &input, nullptr);
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);
  sink_ = std::move(sink);
  painted_ = std::move(painted);
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  scale_ = dpi > 0 ? dpi / 96.0 : 1.0;
  window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent,
                            nullptr, windowClass.hInstance, nullptr);
  if (!window_) return false;
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return true;
}

void ViewWindow::SetBounds(const RECT& bounds) {
  if (window_) {
    MoveWindow(window_, bounds.left, bounds.top, bounds.right - bounds.left,
               bounds.bottom - bounds.top, TRUE);
  }
}

void ViewWindow::SetVisible(bool visible) {
  if (window_) ShowWindow(window_, visible ? SW_SHOWNA : SW_HIDE);
}

void ViewWindow::Focus() {
  if (window_) SetFocus(window_);
}

bool ViewWindow::ShowFrame(const std::string& encoded, std::function<void()> taken) {
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(encoded.data()),
                                      static_cast<UINT>(encoded.size()));
  if (!stream) return false;
  Gdiplus::GpBitmap* bitmap = nullptr;
  const bool decoded = GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok;
  stream->Release();
  if (!decoded) return false;
  HBITMAP frame = nullptr;
  UINT width = 0, height = 0;
  GdipGetImageWidth(bitmap, &width);
  GdipGetImageHeight(bitmap, &height);
  const bool converted = GdipCreateHBITMAPFromBitmap(bitmap, &frame, 0xFF000000) == Gdiplus::Ok;
  GdipDisposeImage(bitmap);
  if (!converted) return false;
  if (frame_) DeleteObject(frame_);
  frame_ = frame;
  frameSize_ = {static_cast<LONG>(width), static_cast<LONG>(height)};
  if (taken_) std::exchange(taken_, nullptr)();
  if (!OnScreen()) {
    taken();
    return true;
  }
  taken_ = std::move(taken);
  InvalidateRect(window_, nullptr, FALSE);
  return true;
}

bool ViewWindow::OnScreen() const {
  RECT client = {};
  return window_ && IsWindowVisible(window_) && !IsIconic(GetAncestor(window_, GA_ROOT)) &&
         GetClientRect(window_, &client) && client.right > 0 && client.bottom > 0;
}

LRESULT CALLBACK ViewWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ViewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) return self->Handle(message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

void ViewWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  RECT client;
  GetClientRect(window_, &client);
  if (frame_) {
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, frame_);
    // Frames arrive at the viewport's size; one painted during a resize is
    // stretched until the next arrives.
    if (frameSize_.cx == client.right && frameSize_.cy == client.bottom) {
      BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    } else {
      SetStretchBltMode(dc, HALFTONE);
      StretchBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, frameSize_.cx, frameSize_.cy,
                 SRCCOPY);
    }
    SelectObject(memory, old);
    DeleteDC(memory);
  } else {
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  EndPaint(window_, &paint);
  // Windows sends WM_PAINT only to a window that is shown.
  if (frame_ && painted_) painted_();
  if (taken_) std::exchange(taken_, nullptr)();
}

int ViewWindow::Modifiers() const {
  // DevTools: Alt 1, Ctrl 2, Meta 4, Shift 8.
  int modifiers = 0;
  if (GetKeyState(VK_MENU) < 0) modifiers |= 1;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= 2;
  if (GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0) modifiers |= 4;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= 8;
  return modifiers;
}

int ViewWindow::Buttons(WPARAM wParam) const {
  int buttons = 0;
  if (wParam & MK_LBUTTON) buttons |= 1;
  if (wParam & MK_RBUTTON) buttons |= 2;
  if (wParam & MK_MBUTTON) buttons |= 4;
  return buttons;
}

void ViewWindow::Mouse(const char* type, LPARAM lParam, const char* button, int clickCount) {
  json params = {{"type", type},
                 {"x", Css(GET_X_LPARAM(lParam))},
                 {"y", Css(GET_Y_LPARAM(lParam))},
                 {"modifiers", Modifiers()},
                 {"button", button}};
  if (clickCount > 0) params["clickCount"] = clickCount;
  sink_("Input.dispatchMouseEvent", std::move(params));
}

void ViewWindow::Wheel(WPARAM wParam, LPARAM lParam, bool horizontal) {
  // Wheel messages carry screen coordinates.
  POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ScreenToClient(window_, &point);
  const double delta = -static_cast<double>(GET_WHEEL_DELTA_WPARAM(wParam)) * 100.0 / WHEEL_DELTA;
  sink_("Input.dispatchMouseEvent", {{"type", "mouseWheel"},
                                     {"x", Css(point.x)},
                                     {"y", Css(point.y)},
                                     {"modifiers", Modifiers()},
                                     {"deltaX", horizontal ? -delta : 0.0},
                                     {"deltaY", horizontal ? 0.0 : delta}});
}

void ViewWindow::Key(const char* type, WPARAM wParam, LPARAM lParam) {
  sink_("Input.dispatchKeyEvent", {{"type", type},
                                   {"modifiers", Modifiers()},
                                   {"windowsVirtualKeyCode", static_cast<int>(wParam)},
                                   {"nativeVirtualKeyCode", static_cast<int>(wParam)},
                                   {"autoRepeat", (lParam & (1 << 30)) != 0},
                                   {"isSystemKey", false}});
}

void ViewWindow::Char(WPARAM wParam) {
  const wchar_t character[2] = {static_cast<wchar_t>(wParam), L'\0'};
  char text[8] = "";
  WideCharToMultiByte(CP_UTF8, 0, character, -1, text, sizeof(text), nullptr, nullptr);
  // Control characters other than Enter produce no text in a browser.
  if (wParam < 0x20 && wParam != L'\r') return;
  sink_("Input.dispatchKeyEvent",
        {{"type", "char"}, {"modifiers", Modifiers()}, {"text", wParam == L'\r' ? "\r" : text}});
}

LRESULT ViewWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE: {
      json params = {{"type", "mouseMoved"},
                     {"x", Css(GET_X_LPARAM(lParam))},
                     {"y", Css(GET_Y_LPARAM(lParam))},
                     {"modifiers", Modifiers()},
                     {"buttons", Buttons(wParam)}};
      sink_("Input.dispatchMouseEvent", std::move(params));
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetFocus(window_);
      SetCapture(window_);
      Mouse("mousePressed", lParam, "left", message == WM_LBUTTONDBLCLK ? 2 : 1);
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      Mouse("mouseReleased", lParam, "left", 1);
      return 0;
    case WM_RBUTTONDOWN:
      Mouse("mousePressed", lParam, "right", 1);
      return 0;
    case WM_RBUTTONUP:
      Mouse("mouseReleased", lParam, "right", 1);
      return 0;
    case WM_MBUTTONDOWN:
      Mouse("mousePressed", lParam, "middle", 1);
      return 0;
    case WM_MBUTTONUP:
      Mouse("mouseReleased", lParam, "middle", 1);
      return 0;
    case WM_MOUSEWHEEL:
      Wheel(wParam, lParam, false);
      return 0;
    case WM_MOUSEHWHEEL:
      Wheel(wParam, lParam, true);
      return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      Key("rawKeyDown", wParam, lParam);
      return message == WM_SYSKEYDOWN ? DefWindowProcW(window_, message, wParam, lParam) : 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      Key("keyUp", wParam, lParam);
      return message == WM_SYSKEYUP ? DefWindowProcW(window_, message, wParam, lParam) : 0;
    case WM_CHAR:
      Char(wParam);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS | DLGC_WANTCHARS;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace standin
