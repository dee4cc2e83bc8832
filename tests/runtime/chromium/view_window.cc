#include "view_window.h"

#include <shlwapi.h>
#include <windowsx.h>

#include <string>
#include <utility>

#include <gdiplus.h>

namespace standin {
namespace {

using nlohmann::json;
using namespace Gdiplus::DllExports;

constexpr wchar_t kClassName[] = L"KilnChromiumView";

// The DOM key and code of a key message. Chromium leaves event.key and
// event.code empty unless told, and games read those rather than keyCode.
struct KeyName {
  std::string key;
  std::string code;
};

KeyName KeyNameOf(WPARAM virtualKey, LPARAM lParam) {
  const UINT scanCode = (lParam >> 16) & 0xFF;
  const bool extended = (lParam & (1 << 24)) != 0;
  struct Named {
    UINT virtualKey;
    const char* key;
    const char* code;
  };
  static constexpr Named kNamed[] = {
      {VK_BACK, "Backspace", "Backspace"}, {VK_TAB, "Tab", "Tab"},
      {VK_RETURN, "Enter", "Enter"},       {VK_ESCAPE, "Escape", "Escape"},
      {VK_SPACE, " ", "Space"},            {VK_PRIOR, "PageUp", "PageUp"},
      {VK_NEXT, "PageDown", "PageDown"},   {VK_END, "End", "End"},
      {VK_HOME, "Home", "Home"},           {VK_LEFT, "ArrowLeft", "ArrowLeft"},
      {VK_UP, "ArrowUp", "ArrowUp"},       {VK_RIGHT, "ArrowRight", "ArrowRight"},
      {VK_DOWN, "ArrowDown", "ArrowDown"}, {VK_INSERT, "Insert", "Insert"},
      {VK_DELETE, "Delete", "Delete"},     {VK_PAUSE, "Pause", "Pause"},
      {VK_CAPITAL, "CapsLock", "CapsLock"}, {VK_LWIN, "Meta", "MetaLeft"},
      {VK_RWIN, "Meta", "MetaRight"},      {VK_APPS, "ContextMenu", "ContextMenu"}};
  for (const Named& named : kNamed) {
    if (named.virtualKey == virtualKey) return {named.key, named.code};
  }
  // Left and right are told apart by scan code or the extended-key bit.
  if (virtualKey == VK_SHIFT) return {"Shift", scanCode == 0x36 ? "ShiftRight" : "ShiftLeft"};
  if (virtualKey == VK_CONTROL) return {"Control", extended ? "ControlRight" : "ControlLeft"};
  if (virtualKey == VK_MENU) return {"Alt", extended ? "AltRight" : "AltLeft"};
  if (virtualKey >= VK_F1 && virtualKey <= VK_F24) {
    const std::string name = "F" + std::to_string(virtualKey - VK_F1 + 1);
    return {name, name};
  }
  KeyName name;
  if (virtualKey >= 'A' && virtualKey <= 'Z') name.code = std::string("Key") + static_cast<char>(virtualKey);
  if (virtualKey >= '0' && virtualKey <= '9') name.code = std::string("Digit") + static_cast<char>(virtualKey);
  if (virtualKey >= VK_NUMPAD0 && virtualKey <= VK_NUMPAD9) {
    name.code = "Numpad" + std::to_string(virtualKey - VK_NUMPAD0);
  }
  // The punctuation keys' codes name their place on a US keyboard.
  static constexpr std::pair<UINT, const char*> kPunctuation[] = {
      {0x0C, "Minus"},     {0x0D, "Equal"}, {0x1A, "BracketLeft"}, {0x1B, "BracketRight"},
      {0x27, "Semicolon"}, {0x28, "Quote"}, {0x29, "Backquote"},   {0x2B, "Backslash"},
      {0x33, "Comma"},     {0x34, "Period"}, {0x35, "Slash"}};
  for (const auto& [scan, code] : kPunctuation) {
    if (name.code.empty() && scan == scanCode) name.code = code;
  }
  // The text the key types with the keyboard's state now, without touching
  // the state that dead keys keep (flag 4).
  BYTE state[256] = {};
  wchar_t typed[4] = {};
  GetKeyboardState(state);
  const int count = ToUnicodeEx(static_cast<UINT>(virtualKey), scanCode, state, typed, 4, 4, GetKeyboardLayout(0));
  char text[16] = "";
  if (count > 0 && typed[0] >= 0x20) {
    WideCharToMultiByte(CP_UTF8, 0, typed, count, text, sizeof(text) - 1, nullptr, nullptr);
  }
  name.key = text[0] ? text : "Unidentified";
  return name;
}

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
  // Painted now rather than when WM_PAINT's turn comes: that turn waits
  // until no posted message is left, and a page that animates sends frames
  // that keep the queue from ever emptying.
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
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
  const KeyName name = KeyNameOf(wParam, lParam);
  sink_("Input.dispatchKeyEvent", {{"type", type},
                                   {"modifiers", Modifiers()},
                                   {"key", name.key},
                                   {"code", name.code},
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
