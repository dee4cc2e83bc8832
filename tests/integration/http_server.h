// A tiny HTTP server on the loopback interface, inside the test process: it
// stands in for Microsoft's download link in the installer tests.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace kiln::testing {

class LoopbackHttpServer {
 public:
  // Listens on 127.0.0.1:port; every path answers 404 until served.
  explicit LoopbackHttpServer(int port);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // Answers GET path with the status and body, after a delay when given.
  void Serve(const std::string& path, int status, const std::string& body, int delayMs = 0);
  // Answers GET path with body in chunks and no Content-Length, as servers
  // that do not know the length in advance do.
  void ServeChunked(const std::string& path, const std::string& body);
  // Answers GET path with "302 Found" and a Location of target.
  void Redirect(const std::string& path, const std::string& target);
  int RequestCount() const { return requests_; }

 private:
  struct Answer {
    int status;
    std::string body;
    int delayMs;
    bool chunked = false;
    std::string location;
  };
  void AcceptLoop();
  void Answer(int client);

  int listener_ = -1;
  std::atomic<int> requests_{0};
  std::mutex mutex_;
  std::map<std::string, struct Answer> answers_;
  std::thread thread_;
};

}  // namespace kiln::testing
