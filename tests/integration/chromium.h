// A headless Chromium for the runtime backed by a real browser
// (tests/runtime/chromium): started once for a group of tests with a fresh
// profile and a loopback DevTools port, and ended with every process it
// started, also when the test program itself dies.
#pragma once

#include <string>
#include <sys/types.h>

#include "harness.h"

namespace kiln::testing {

class HeadlessChromium {
 public:
  // Starts Chromium; available() tells whether it came up and why not.
  HeadlessChromium();
  ~HeadlessChromium();
  HeadlessChromium(const HeadlessChromium&) = delete;
  HeadlessChromium& operator=(const HeadlessChromium&) = delete;

  bool available() const { return !address_.empty(); }
  const std::string& whyNot() const { return whyNot_; }
  // "ws://127.0.0.1:PORT/devtools/browser/ID", for KILN_BROWSER_DEVTOOLS.
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = 0;
  fs::path profile_;
  std::string address_;
  std::string whyNot_;
};

// Puts the Chromium-backed runtime into <app>\webview2 as a fixed runtime.
void InstallChromiumRuntime(const TestApp& app);

// The screen of the test display as a PNG, and one pixel of it as r, g, b.
bool CaptureScreen(const fs::path& png);
bool PixelAt(const fs::path& png, int x, int y, int rgb[3]);

}  // namespace kiln::testing
