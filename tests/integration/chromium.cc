#include "chromium.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

namespace kiln::testing {
namespace {

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

HeadlessChromium::HeadlessChromium() {
  if (!OnPath("chromium")) {
    whyNot_ = "Chromium is not installed (Debian package chromium)";
    return;
  }
  char pattern[] = "/tmp/kiln-chromium.XXXXXX";
  if (!mkdtemp(pattern)) {
    whyNot_ = "cannot make a profile folder";
    return;
  }
  profile_ = pattern;
  const std::string profileArgument = "--user-data-dir=" + profile_.string();
  const std::vector<std::string> arguments = {
      "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      "--disable-popup-blocking", "--disable-dev-shm-usage", "--mute-audio",
      "--autoplay-policy=no-user-gesture-required",
      // A camera and a microphone of its own, so that granted media
      // permissions give real streams.
      "--use-fake-device-for-media-stream", profileArgument,
      "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0", "about:blank"};
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // Its own process group, so that ending it reaches its renderers; and it
    // dies with us should we end without cleaning up.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    freopen("/dev/null", "w", stdout);
    freopen((profile_.string() + ".log").c_str(), "w", stderr);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    execvp("chromium", argv.data());
    _exit(127);
  }
  const fs::path portFile = profile_ / "DevToolsActivePort";
  for (int attempt = 0; attempt < 150; ++attempt) {
    std::ifstream file(portFile);
    std::string port, path;
    if (std::getline(file, port) && std::getline(file, path) && !port.empty() && !path.empty()) {
      address_ = "ws://127.0.0.1:" + port + path;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  whyNot_ = "Chromium did not open its DevTools port within 15 s";
}

HeadlessChromium::~HeadlessChromium() {
  if (pid_ > 0) {
    kill(-pid_, SIGTERM);
    int status = 0;
    for (int attempt = 0; attempt < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(-pid_, SIGKILL);
    waitpid(pid_, &status, WNOHANG);
  }
  if (!profile_.empty()) {
    std::error_code ignored;
    fs::remove_all(profile_, ignored);
    fs::remove(profile_.string() + ".log", ignored);
  }
}

void InstallChromiumRuntime(const TestApp& app) {
  const std::string architecture = WinBuildDir().filename() == "win32" ? "x86" : "x64";
  const fs::path target = app.Path("webview2") / "EBWebView" / architecture;
  fs::create_directories(target);
  fs::copy_file(WinBuildDir() / "tests" / "runtime" / "chromium" / "EmbeddedBrowserWebView.dll",
                target / "EmbeddedBrowserWebView.dll", fs::copy_options::overwrite_existing);
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
