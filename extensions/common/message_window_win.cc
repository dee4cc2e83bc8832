#include "message_window_win.h"

namespace kiln::extensions {
namespace {

// Window classes belong to the module that registers them, so every
// extension DLL carrying this file has a class of this name of its own.
constexpr wchar_t kWindowClass[] = L"KilnExtensionMessages";

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

bool MessageWindow::Create(Handler handler) {
  if (window_) return true;
  handler_ = std::move(handler);
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = ThisModule();
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, this);
  return window_ != nullptr;
}

void MessageWindow::Destroy() {
  if (!window_) return;
  DestroyWindow(window_);
  window_ = nullptr;
  // Fails while another window of the class lives on; the last one's
  // Destroy then removes it.
  UnregisterClassW(kWindowClass, ThisModule());
}

bool MessageWindow::Post(UINT message, WPARAM wParam, LPARAM lParam) const {
  return window_ && PostMessageW(window_, message, wParam, lParam) != FALSE;
}

bool MessageWindow::StartTimer(UINT_PTR id, UINT milliseconds) {
  return window_ && SetTimer(window_, id, milliseconds, nullptr) != 0;
}

void MessageWindow::StopTimer(UINT_PTR id) {
  if (window_) KillTimer(window_, id);
}

LRESULT CALLBACK MessageWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  } else if (message >= WM_APP || message == WM_TIMER) {
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->handler_) {
      try {
        self->handler_(message, wParam, lParam);
      } catch (...) {
        // Out of memory in the handler: this one event is lost.
      }
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kiln::extensions
