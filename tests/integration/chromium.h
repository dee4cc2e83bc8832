// What the tests of the runtime backed by a real browser
// (tests/runtime/chromium) need beyond the harness: the runtime itself, a
// look at the screen, and a look at the browser it started for a profile.
#pragma once

#include <string>
#include <vector>

#include "harness.h"

namespace kiln::testing {

// Why these tests cannot run here, or empty when Chromium is installed.
std::string WhyNoChromium();

// Puts the Chromium-backed runtime into <app>\webview2 as a fixed runtime.
void InstallChromiumRuntime(const TestApp& app);

// The browser profile the runtime keeps for the app named name, in the user
// data folder Kiln gives it.
fs::path ChromiumProfile(const std::string& name);

// The TCP ports on which a running browser of that profile listens.
std::vector<int> ListeningPorts(const fs::path& profile);

// The status code a loopback server answers the request with (a request
// line and its headers), or 0 when there is no answer.
int LoopbackStatus(int port, const std::string& request);

// The screen of the test display as a PNG, and one pixel of it as r, g, b.
bool CaptureScreen(const fs::path& png);
bool PixelAt(const fs::path& png, int x, int y, int rgb[3]);

}  // namespace kiln::testing
