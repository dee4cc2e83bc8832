#include <winsock2.h>

#include "dev_tools.h"

namespace standin {
namespace {

constexpr UINT kIncoming = WM_APP + 7;
constexpr wchar_t kClassName[] = L"KilnChromiumDevTools";
// Marks the end of the connection in the incoming queue (DevTools never
// sends an empty message).
const std::string kClosedMark;

}  // namespace

DevTools::~DevTools() { Close(); }

bool DevTools::Connect(std::uintptr_t connection, Listener listener, std::string& error) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            windowClass.hInstance, nullptr);
  if (!window_) {
    closesocket(connection);
    error = "cannot create the DevTools message window";
    return false;
  }
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  listener_ = std::move(listener);
  const HWND window = window_;
  pipe_.Open(connection, [this, window](std::string message, bool closed) {
    {
      kiln_test::Lock::Held held(incomingLock_);
      incoming_.push_back(closed ? kClosedMark : std::move(message));
    }
    PostMessageW(window, kIncoming, 0, 0);
  });
  return true;
}

void DevTools::Send(const std::string& method, json params, const std::string& sessionId,
                    Reply reply) {
  const long long id = nextId_++;
  json message = {{"id", id}, {"method", method}, {"params", std::move(params)}};
  if (!sessionId.empty()) message["sessionId"] = sessionId;
  if (reply) replies_[id] = std::move(reply);
  if (!pipe_.Send(message.dump(-1, ' ', false, json::error_handler_t::replace))) {
    replies_.erase(id);
  }
}

void DevTools::Close() {
  pipe_.Close();
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
  }
  replies_.clear();
}

LRESULT CALLBACK DevTools::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kIncoming) {
    auto* self = reinterpret_cast<DevTools*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) self->Deliver();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void DevTools::Deliver() {
  // One message per call: a handler may run a modal loop or close us.
  std::string text;
  {
    kiln_test::Lock::Held held(incomingLock_);
    if (incoming_.empty()) return;
    text = std::move(incoming_.front());
    incoming_.pop_front();
  }
  if (text.empty()) {
    if (!closedSeen_ && listener_) {
      closedSeen_ = true;
      listener_("closed", json::object(), std::string());
    }
    return;
  }
  // Nothing may unwind into the window procedure's caller.
  try {
    Dispatch(text);
  } catch (const std::exception& error) {
    if (listener_) listener_("failed", {{"text", error.what()}, {"message", text.substr(0, 200)}}, std::string());
  }
}

void DevTools::Dispatch(const std::string& text) {
  const json message = json::parse(text, nullptr, false);
  if (!message.is_object()) return;
  const auto id = message.find("id");
  if (id != message.end() && id->is_number_integer()) {
    const auto reply = replies_.find(id->get<long long>());
    if (reply == replies_.end()) return;
    Reply handler = std::move(reply->second);
    replies_.erase(reply);
    const auto error = message.find("error");
    const json result = message.value("result", json::object());
    handler(result, error != message.end() ? &*error : nullptr);
    return;
  }
  const std::string method = message.value("method", "");
  if (method.empty() || !listener_) return;
  listener_(method, message.value("params", json::object()), message.value("sessionId", ""));
}

}  // namespace standin
