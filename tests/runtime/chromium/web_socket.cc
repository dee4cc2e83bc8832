#include <winsock2.h>
#include <ws2tcpip.h>

#include "web_socket.h"

#include <cstring>

namespace standin {
namespace {

constexpr unsigned char kText = 0x1;
constexpr unsigned char kContinuation = 0x0;
constexpr unsigned char kClose = 0x8;
constexpr unsigned char kPing = 0x9;

bool SplitAddress(const std::string& address, std::string& host, std::string& port,
                  std::string& path) {
  const std::string scheme = "ws://";
  if (address.compare(0, scheme.size(), scheme) != 0) return false;
  const size_t hostStart = scheme.size();
  const size_t pathStart = address.find('/', hostStart);
  const std::string authority = address.substr(hostStart, pathStart - hostStart);
  path = pathStart == std::string::npos ? "/" : address.substr(pathStart);
  const size_t colon = authority.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = authority.substr(0, colon);
  port = authority.substr(colon + 1);
  return !port.empty();
}

}  // namespace

WebSocket::~WebSocket() { Close(); }

bool WebSocket::Open(const std::string& address, OnMessage onMessage, std::string& error) {
  std::string host, port, path;
  if (!SplitAddress(address, host, port, path)) {
    error = "not a ws://host:port/path address: " + address;
    return false;
  }
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    error = "WSAStartup failed";
    return false;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
    error = "cannot resolve " + host;
    return false;
  }
  socket_ = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
  const bool connected = socket_ != static_cast<std::uintptr_t>(INVALID_SOCKET) &&
                         connect(socket_, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
  freeaddrinfo(found);
  if (!connected) {
    error = "cannot connect to " + host + ":" + port;
    Close();
    return false;
  }
  BOOL noDelay = TRUE;
  setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
             sizeof(noDelay));

  // No Origin header: DevTools refuses origins it was not told to allow.
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host + ":" + port +
                              "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                              "Sec-WebSocket-Key: a2lsbi1zdGFuZC1pbi0xMg==\r\n"
                              "Sec-WebSocket-Version: 13\r\n\r\n";
  if (send(socket_, request.data(), static_cast<int>(request.size()), 0) !=
      static_cast<int>(request.size())) {
    error = "cannot send the handshake";
    Close();
    return false;
  }
  std::string answer;
  char buffer[4096];
  size_t end = std::string::npos;
  while ((end = answer.find("\r\n\r\n")) == std::string::npos) {
    const int received = recv(socket_, buffer, sizeof(buffer), 0);
    if (received <= 0 || answer.size() > 65536) {
      error = "the handshake was not answered";
      Close();
      return false;
    }
    answer.append(buffer, static_cast<size_t>(received));
  }
  if (answer.compare(0, 12, "HTTP/1.1 101") != 0) {
    error = "handshake refused: " + answer.substr(0, answer.find("\r\n"));
    Close();
    return false;
  }
  pending_ = answer.substr(end + 4);
  onMessage_ = std::move(onMessage);
  reader_ = std::thread([this] { ReadLoop(); });
  return true;
}

bool WebSocket::Send(const std::string& text) { return SendFrame(kText, text); }

bool WebSocket::SendFrame(unsigned char opcode, const std::string& payload) {
  std::string frame;
  frame.reserve(payload.size() + 14);
  frame.push_back(static_cast<char>(0x80 | opcode));
  const uint64_t size = payload.size();
  if (size < 126) {
    frame.push_back(static_cast<char>(0x80 | size));
  } else if (size <= 0xFFFF) {
    frame.push_back(static_cast<char>(0x80 | 126));
    frame.push_back(static_cast<char>(size >> 8));
    frame.push_back(static_cast<char>(size & 0xFF));
  } else {
    frame.push_back(static_cast<char>(0x80 | 127));
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<char>((size >> shift) & 0xFF));
  }
  // Clients must mask; the key need not be secret on loopback.
  const unsigned char mask[4] = {0x4b, 0x69, 0x6c, 0x6e};
  frame.append(reinterpret_cast<const char*>(mask), 4);
  const size_t start = frame.size();
  frame.append(payload);
  for (size_t i = 0; i < payload.size(); ++i) frame[start + i] ^= static_cast<char>(mask[i % 4]);

  std::lock_guard<std::mutex> lock(sending_);
  if (socket_ == static_cast<std::uintptr_t>(INVALID_SOCKET)) return false;
  size_t sent = 0;
  while (sent < frame.size()) {
    const int chunk = send(socket_, frame.data() + sent, static_cast<int>(frame.size() - sent), 0);
    if (chunk <= 0) return false;
    sent += static_cast<size_t>(chunk);
  }
  return true;
}

bool WebSocket::ReceiveExactly(char* buffer, size_t size) {
  size_t have = 0;
  if (!pending_.empty()) {
    have = pending_.size() < size ? pending_.size() : size;
    std::memcpy(buffer, pending_.data(), have);
    pending_.erase(0, have);
  }
  while (have < size) {
    const int received = recv(socket_, buffer + have, static_cast<int>(size - have), 0);
    if (received <= 0) return false;
    have += static_cast<size_t>(received);
  }
  return true;
}

void WebSocket::ReadLoop() {
  std::string message;
  for (;;) {
    unsigned char head[2];
    if (!ReceiveExactly(reinterpret_cast<char*>(head), 2)) break;
    const bool final = (head[0] & 0x80) != 0;
    const unsigned char opcode = head[0] & 0x0F;
    uint64_t size = head[1] & 0x7F;
    if (size == 126 || size == 127) {
      unsigned char extended[8];
      const size_t bytes = size == 126 ? 2 : 8;
      if (!ReceiveExactly(reinterpret_cast<char*>(extended), bytes)) break;
      size = 0;
      for (size_t i = 0; i < bytes; ++i) size = (size << 8) | extended[i];
    }
    if (size > (uint64_t{1} << 30)) break;  // nothing DevTools sends is that large
    std::string payload(static_cast<size_t>(size), '\0');
    if (size > 0 && !ReceiveExactly(payload.data(), payload.size())) break;
    if (opcode == kPing) {
      SendFrame(0xA, payload);
    } else if (opcode == kClose) {
      break;
    } else if (opcode == kText || opcode == kContinuation) {
      message += payload;
      if (final) {
        onMessage_(std::move(message), false);
        message.clear();
      }
    }
  }
  onMessage_(std::string(), true);
}

void WebSocket::Close() {
  {
    std::lock_guard<std::mutex> lock(sending_);
    if (socket_ != static_cast<std::uintptr_t>(INVALID_SOCKET)) {
      shutdown(socket_, SD_BOTH);
      closesocket(socket_);
      socket_ = static_cast<std::uintptr_t>(INVALID_SOCKET);
    }
  }
  if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
}

}  // namespace standin
