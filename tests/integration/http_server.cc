#include "http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace kiln::testing {

LoopbackHttpServer::LoopbackHttpServer(int port) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  const int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener_, 8) != 0) {
    close(listener_);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  }
  thread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  shutdown(listener_, SHUT_RDWR);
  close(listener_);
  thread_.join();
}

void LoopbackHttpServer::Serve(const std::string& path, int status, const std::string& body,
                               int delayMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_[path] = {status, body, delayMs};
}

void LoopbackHttpServer::ServeChunked(const std::string& path, const std::string& body) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_[path] = {200, body, 0, true, ""};
}

void LoopbackHttpServer::Redirect(const std::string& path, const std::string& target) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_[path] = {302, "", 0, false, target};
}

void LoopbackHttpServer::AcceptLoop() {
  for (;;) {
    pollfd waiting = {listener_, POLLIN, 0};
    if (poll(&waiting, 1, 100) < 0) return;
    if (waiting.revents & (POLLERR | POLLHUP | POLLNVAL)) return;
    if (!(waiting.revents & POLLIN)) continue;
    const int client = accept(listener_, nullptr, nullptr);
    if (client < 0) return;
    Answer(client);
    close(client);
  }
}

void LoopbackHttpServer::Answer(int client) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    const ssize_t got = recv(client, buffer, sizeof(buffer), 0);
    if (got <= 0) return;
    request.append(buffer, static_cast<size_t>(got));
  }
  ++requests_;
  const size_t start = request.find(' ') + 1;
  const std::string path = request.substr(start, request.find(' ', start) - start);

  struct Answer answer = {404, "not found", 0};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = answers_.find(path);
    if (it != answers_.end()) answer = it->second;
  }
  if (answer.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(answer.delayMs));
  const char* reason =
      answer.status == 200 ? " OK" : answer.status == 302 ? " Found" : " Not Found";
  std::string response = "HTTP/1.1 " + std::to_string(answer.status) + reason +
                         "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n";
  if (!answer.location.empty()) response += "Location: " + answer.location + "\r\n";
  if (answer.chunked) {
    response += "Transfer-Encoding: chunked\r\n\r\n";
    char size[32];
    for (size_t at = 0; at < answer.body.size(); at += 10000) {
      const std::string chunk = answer.body.substr(at, 10000);
      std::snprintf(size, sizeof(size), "%zx\r\n", chunk.size());
      response += size + chunk + "\r\n";
    }
    response += "0\r\n\r\n";
  } else {
    response += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n\r\n" + answer.body;
  }
  size_t sent = 0;
  while (sent < response.size()) {
    const ssize_t n = send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace kiln::testing
