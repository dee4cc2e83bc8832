// The DevTools pipe of the profile's Chromium (browser_process.h): JSON
// messages, each ended by a NUL byte, both ways over one loopback socket.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "../../common/threads_win.h"

namespace standin {

class BrowserPipe {
 public:
  // Called on the pipe's own thread for every whole message, and once with
  // closed set when the browser's end closes.
  using OnMessage = std::function<void(std::string message, bool closed)>;

  BrowserPipe() = default;
  ~BrowserPipe();
  BrowserPipe(const BrowserPipe&) = delete;
  BrowserPipe& operator=(const BrowserPipe&) = delete;

  // Takes the connected socket (a Winsock SOCKET) and starts reading.
  void Open(std::uintptr_t socket, OnMessage onMessage);
  bool Send(const std::string& message);
  // Waits until the browser has closed its end, which it does on exiting;
  // false when it has not within timeoutMs.
  bool WaitUntilClosed(DWORD timeoutMs);
  void Close();

 private:
  void ReadLoop(std::uintptr_t socket);

  std::uintptr_t socket_ = ~std::uintptr_t{0};
  kiln_test::Lock sending_;
  kiln_test::Thread reader_;
  OnMessage onMessage_;
  HANDLE closed_ = nullptr;
};

}  // namespace standin
