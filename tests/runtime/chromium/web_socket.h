// A small WebSocket client on Winsock, enough for a DevTools endpoint on
// loopback: text messages both ways, pings answered, no extensions.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace standin {

class WebSocket {
 public:
  // Called on the socket's own thread for every whole text message, and
  // once with closed set when the connection ends.
  using OnMessage = std::function<void(std::string message, bool closed)>;

  WebSocket() = default;
  ~WebSocket();
  WebSocket(const WebSocket&) = delete;
  WebSocket& operator=(const WebSocket&) = delete;

  // Connects to a "ws://host:port/path" address and starts reading. False
  // (with the reason in error) when the address, the connection or the
  // handshake fails.
  bool Open(const std::string& address, OnMessage onMessage, std::string& error);
  bool Send(const std::string& text);
  void Close();

 private:
  bool SendFrame(unsigned char opcode, const std::string& payload);
  bool ReceiveExactly(char* buffer, size_t size);
  void ReadLoop();

  // A Winsock SOCKET; kept as an integer so this header needs no winsock2.h.
  std::uintptr_t socket_ = ~std::uintptr_t{0};
  std::mutex sending_;
  std::thread reader_;
  OnMessage onMessage_;
  std::string pending_;  // bytes read past the handshake
};

}  // namespace standin
