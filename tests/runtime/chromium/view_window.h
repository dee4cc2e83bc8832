// The web view's area in Kiln's window: a child window of the controller's
// parent that paints the browser's screencast frames and hands mouse, wheel
// and keyboard input back to the browser.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

namespace standin {

class ViewWindow {
 public:
  // Input to forward: a DevTools Input method and its parameters.
  using InputSink = std::function<void(const char* method, nlohmann::json params)>;

  ViewWindow() = default;
  ~ViewWindow();
  ViewWindow(const ViewWindow&) = delete;
  ViewWindow& operator=(const ViewWindow&) = delete;

  // painted is called each time a frame reaches the screen.
  bool Create(HWND parent, InputSink sink, std::function<void()> painted);
  void SetBounds(const RECT& bounds);
  void SetVisible(bool visible);
  void Focus();
  // Shows an encoded image (JPEG or PNG); false when it cannot be decoded.
  // taken is called once the frame has been painted, which Windows does
  // only when nothing else waits in the thread's queue, or at once when the
  // window cannot paint now.
  bool ShowFrame(const std::string& encoded, std::function<void()> taken);
  HWND window() const { return window_; }
  // Device pixels per CSS pixel: the screen's DPI over 96, as WebView2
  // rasterizes for a DPI-aware host.
  double scale() const { return scale_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
  bool OnScreen() const;
  void Mouse(const char* type, LPARAM lParam, const char* button, int clickCount);
  void Wheel(WPARAM wParam, LPARAM lParam, bool horizontal);
  void Key(const char* type, WPARAM wParam, LPARAM lParam);
  void Char(WPARAM wParam);
  int Modifiers() const;
  int Buttons(WPARAM wParam) const;
  // A coordinate in the window in the page's CSS pixels.
  double Css(int pixels) const { return pixels / scale_; }

  HWND window_ = nullptr;
  InputSink sink_;
  std::function<void()> painted_;
  std::function<void()> taken_;
  HBITMAP frame_ = nullptr;
  SIZE frameSize_ = {};
  double scale_ = 1.0;
  ULONG_PTR gdiplusToken_ = 0;
};

}  // namespace standin
