// Starts the Chromium that keeps the profile of one user data folder, as
// WebView2 starts a browser process for the folder its host names. Chromium
// is a Linux program and this runtime lives in a Windows process under Wine,
// so Wine starts a small bash launcher that connects back to a loopback
// socket of ours and then becomes Chromium, with that connection as its
// DevTools pipe. Only this runtime holds the pipe, and Chromium ends, having
// saved the profile, once the connection closes, however Kiln's process ends.
#pragma once

#include <cstdint>
#include <string>

namespace standin {

struct BrowserStart {
  // The profile (ProfileFolder), a Windows path; made when missing.
  std::wstring profileFolder;
  // More switches, as a Windows command line: the host's additional
  // browser arguments, parsed as Chromium on Windows would parse them.
  std::wstring arguments;
  // Whether the browser also listens on a loopback port, for inspectors.
  bool devToolsPort = false;
};

inline constexpr std::uintptr_t kNoConnection = ~std::uintptr_t{0};

// The profile's folder in a user data folder, named as WebView2 names it.
std::wstring ProfileFolder(const std::wstring& userDataFolder);

// The connection to the started browser (a Winsock SOCKET), or kNoConnection
// with the reason in error.
std::uintptr_t StartBrowser(const BrowserStart& start, std::string& error);

// The loopback port a browser started with devToolsPort listens on, once it
// is up; 0 when it names none.
int DevToolsPort(const std::wstring& profileFolder);

}  // namespace standin
