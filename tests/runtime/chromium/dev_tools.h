// A DevTools protocol connection to the profile's browser whose replies and
// events arrive on the thread that opened it (Kiln's UI thread), through a
// hidden window, as WebView2 raises its events.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "browser_pipe.h"

namespace standin {

class DevTools {
 public:
  using json = nlohmann::json;
  // error is null on success, else the protocol's error object.
  using Reply = std::function<void(const json& result, const json* error)>;
  // An event; method "closed" when the connection ends.
  using Listener =
      std::function<void(const std::string& method, const json& params, const std::string& sessionId)>;

  DevTools() = default;
  ~DevTools();
  DevTools(const DevTools&) = delete;
  DevTools& operator=(const DevTools&) = delete;

  // Takes the browser's connection (browser_process.h), closing it on failure.
  bool Connect(std::uintptr_t connection, Listener listener, std::string& error);
  void Send(const std::string& method, json params = json::object(),
            const std::string& sessionId = std::string(), Reply reply = nullptr);
  // Waits, blocking this thread, until the browser has exited.
  bool WaitForBrowserExit(DWORD timeoutMs) { return pipe_.WaitUntilClosed(timeoutMs); }
  void Close();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Deliver();
  void Dispatch(const std::string& text);

  BrowserPipe pipe_;
  HWND window_ = nullptr;
  Listener listener_;
  kiln_test::Lock incomingLock_;
  std::deque<std::string> incoming_;
  bool closedSeen_ = false;
  long long nextId_ = 1;
  std::map<long long, Reply> replies_;
};

}  // namespace standin
