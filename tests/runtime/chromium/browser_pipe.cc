#include <winsock2.h>

#include "browser_pipe.h"

namespace standin {

BrowserPipe::~BrowserPipe() { Close(); }

void BrowserPipe::Open(std::uintptr_t socket, OnMessage onMessage) {
  socket_ = socket;
  onMessage_ = std::move(onMessage);
  closed_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  reader_.Start([this, socket] { ReadLoop(socket); });
}

bool BrowserPipe::Send(const std::string& message) {
  const std::string framed = message + '\0';
  kiln_test::Lock::Held held(sending_);
  if (socket_ == static_cast<std::uintptr_t>(INVALID_SOCKET)) return false;
  size_t sent = 0;
  while (sent < framed.size()) {
    const int chunk = send(socket_, framed.data() + sent, static_cast<int>(framed.size() - sent), 0);
    if (chunk <= 0) return false;
    sent += static_cast<size_t>(chunk);
  }
  return true;
}

void BrowserPipe::ReadLoop(std::uintptr_t socket) {
  std::string pending;
  char buffer[65536];
  for (;;) {
    const int received = recv(socket, buffer, sizeof(buffer), 0);
    if (received <= 0) break;
    pending.append(buffer, static_cast<size_t>(received));
    size_t start = 0;
    for (size_t end; (end = pending.find('\0', start)) != std::string::npos; start = end + 1) {
      onMessage_(pending.substr(start, end - start), false);
    }
    pending.erase(0, start);
  }
  onMessage_(std::string(), true);
  SetEvent(closed_);
}

bool BrowserPipe::WaitUntilClosed(DWORD timeoutMs) {
  return !closed_ || WaitForSingleObject(closed_, timeoutMs) == WAIT_OBJECT_0;
}

void BrowserPipe::Close() {
  {
    kiln_test::Lock::Held held(sending_);
    if (socket_ != static_cast<std::uintptr_t>(INVALID_SOCKET)) {
      shutdown(socket_, SD_BOTH);
      closesocket(socket_);
      socket_ = static_cast<std::uintptr_t>(INVALID_SOCKET);
    }
  }
  reader_.Join();
  if (closed_) {
    CloseHandle(closed_);
    closed_ = nullptr;
  }
}

}  // namespace standin
