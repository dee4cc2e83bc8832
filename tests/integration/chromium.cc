#include "chromium.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

namespace kiln::testing {
namespace {

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

std::string WhyNoChromium() {
  return OnPath("chromium") ? std::string() : "Chromium is not installed (Debian package chromium)";
}

void InstallChromiumRuntime(const TestApp& app) {
  const std::string architecture = WinBuildDir().filename() == "win32" ? "x86" : "x64";
  const fs::path target = app.Path("webview2") / "EBWebView" / architecture;
  fs::create_directories(target);
  fs::copy_file(WinBuildDir() / "tests" / "runtime" / "chromium" / "EmbeddedBrowserWebView.dll",
                target / "EmbeddedBrowserWebView.dll", fs::copy_options::overwrite_existing);
}

fs::path ChromiumProfile(const std::string& name) { return LocalAppDataDir() / name / "EBWebView"; }

std::vector<int> ListeningPorts(const fs::path& profile) {
  // The sockets the profile's browser holds, by inode...
  const std::string profileSwitch = "--user-data-dir=";
  std::set<std::string> sockets;
  std::error_code ignored;
  for (const auto& process : fs::directory_iterator("/proc")) {
    std::istringstream arguments(ReadFile(process.path() / "cmdline"));
    bool ofProfile = false;
    for (std::string argument; std::getline(arguments, argument, '\0') && !ofProfile;) {
      ofProfile = argument.rfind(profileSwitch, 0) == 0 &&
                  fs::equivalent(argument.substr(profileSwitch.size()), profile, ignored);
    }
    if (!ofProfile) continue;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", ignored)) {
      const std::string target = fs::read_symlink(fd.path(), ignored).string();
      if (target.rfind("socket:[", 0) == 0) sockets.insert(target.substr(8, target.size() - 9));
    }
  }
  // ...and those of them that listen, with their local ports.
  std::vector<int> ports;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::istringstream rows(ReadFile(table));
    std::string row;
    std::getline(rows, row);
    while (std::getline(rows, row)) {
      std::istringstream fields(row);
      std::string slot, local, remote, state, queues, timer, retransmits, uid, timeouts, inode;
      fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeouts >> inode;
      if (state == "0A" && sockets.count(inode)) ports.push_back(std::stoi(local.substr(local.rfind(':') + 1), nullptr, 16));
    }
  }
  return ports;
}

int LoopbackStatus(int port, const std::string& request) {
  const int connection = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int status = 0;
  const std::string text = request + "\r\n\r\n";
  char answer[64] = {};
  if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
      send(connection, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) &&
      recv(connection, answer, sizeof(answer) - 1, 0) > 0) {
    std::sscanf(answer, "HTTP/1.1 %d", &status);
  }
  close(connection);
  return status;
}

bool CaptureScreen(const fs::path& png) {
  fs::remove(png);
  const std::string command = "/usr/bin/import -window root 'png:" + png.string() + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && fs::exists(png);
}

bool PixelAt(const fs::path& png, int x, int y, int rgb[3]) {
  // ImageMagick's own convert, whatever else is first on the path.
  const std::string command = "/usr/bin/convert '" + png.string() + "' -crop 1x1+" +
                              std::to_string(x) + "+" + std::to_string(y) +
                              " -depth 8 -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return false;
  const int read = std::fscanf(pipe, "%d %d %d", &rgb[0], &rgb[1], &rgb[2]);
  pclose(pipe);
  return read == 3;
}

}  // namespace kiln::testing
