// A message-only window of an extension's own, living on the host's UI
// thread. Extensions may call the host only there, so this is how work done
// elsewhere comes back to it: a worker thread posts a message, and timers
// (polling a pad, pumping a vendor's callbacks) fire there too. Every
// first-party extension uses this one instead of a window procedure of its
// own.
#pragma once

#include <windows.h>

#include <functional>

namespace kiln::extensions {

class MessageWindow {
 public:
  // Runs on the UI thread for every message posted to the window (WM_APP and
  // above) and for every WM_TIMER of it. Whatever it throws is dropped there:
  // nothing may leave a window procedure.
  using Handler = std::function<void(UINT message, WPARAM wParam, LPARAM lParam)>;

  MessageWindow() = default;
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;
  ~MessageWindow() { Destroy(); }

  // On the UI thread. False when the window cannot be made.
  bool Create(Handler handler);
  // Destroys the window (its timers with it); messages still queued for it
  // are never handled. Safe to call twice.
  void Destroy();

  HWND handle() const { return window_; }

  // From any thread. False when the message could not be queued.
  bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

  // On the UI thread. Windows raises anything under 10 ms to 10 ms and rounds
  // up to its timer tick (15.6 ms unless some program asked for finer).
  bool StartTimer(UINT_PTR id, UINT milliseconds);
  void StopTimer(UINT_PTR id);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
  Handler handler_;
};

}  // namespace kiln::extensions
