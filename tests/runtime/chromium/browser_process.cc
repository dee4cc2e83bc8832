#include <winsock2.h>
#include <shlobj.h>

#include "browser_process.h"

#include <cstdio>

#include "../../common/command_line_win.h"
#include "transcript.h"

namespace standin {
namespace {

using kiln::testing::QuoteArgument;

// Chromium as it runs behind a web view, less what a browser that draws into
// Kiln's window rather than a screen of its own cannot use.
constexpr const wchar_t* kBrowserSwitches[] = {
    L"--headless", L"--no-startup-window", L"--no-sandbox", L"--disable-gpu", L"--disable-quic",
    L"--no-first-run", L"--disable-background-networking", L"--disable-component-update",
    L"--disable-sync", L"--disable-popup-blocking", L"--disable-dev-shm-usage", L"--remote-debugging-pipe"};

// Opens fd 3 to the loopback port given first, then becomes the command that
// follows, fd 4 being the same connection: Chromium reads its pipe's
// commands from fd 3 and writes its answers to fd 4.
constexpr wchar_t kLauncher[] = L"exec 3<>\"/dev/tcp/127.0.0.1/$1\" || exit; shift; exec \"$@\" 4>&3";

constexpr long kLauncherSeconds = 10;

// Wine's own conversions between its paths and Linux ones; null outside Wine.
FARPROC WineFunction(const char* name) { return GetProcAddress(GetModuleHandleW(L"kernel32"), name); }

std::wstring LinuxPath(const std::wstring& path) {
  const auto convert = reinterpret_cast<char*(CDECL*)(LPCWSTR)>(
      reinterpret_cast<void*>(WineFunction("wine_get_unix_file_name")));
  char* converted = convert ? convert(path.c_str()) : nullptr;
  if (!converted) return std::wstring();
  const std::wstring result = Wide(converted);
  HeapFree(GetProcessHeap(), 0, converted);
  return result;
}

std::wstring WindowsPath(const char* linuxPath) {
  const auto convert = reinterpret_cast<wchar_t*(CDECL*)(const char*)>(
      reinterpret_cast<void*>(WineFunction("wine_get_dos_file_name")));
  wchar_t* converted = convert ? convert(linuxPath) : nullptr;
  if (!converted) return std::wstring();
  const std::wstring result = converted;
  HeapFree(GetProcessHeap(), 0, converted);
  return result;
}

std::wstring PortFile(const std::wstring& profileFolder) { return profileFolder + L"\\DevToolsActivePort"; }

}  // namespace

std::wstring ProfileFolder(const std::wstring& userDataFolder) { return userDataFolder + L"\\EBWebView"; }

std::uintptr_t StartBrowser(const BrowserStart& start, std::string& error) {
  SHCreateDirectoryExW(nullptr, start.profileFolder.c_str(), nullptr);
  // A port file left by an earlier run would name a port nobody listens on.
  DeleteFileW(PortFile(start.profileFolder).c_str());
  const std::wstring profile = LinuxPath(start.profileFolder);
  const std::wstring bash = WindowsPath("/bin/bash");
  if (profile.empty() || bash.empty()) {
    error = "no Linux path for the profile or for bash: not under Wine";
    return kNoConnection;
  }
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    error = "WSAStartup failed";
    return kNoConnection;
  }
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int addressSize = sizeof(address);
  if (listener == INVALID_SOCKET ||
      bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &addressSize) != 0) {
    if (listener != INVALID_SOCKET) closesocket(listener);
    error = "cannot listen on loopback";
    return kNoConnection;
  }

  std::wstring commandLine = QuoteArgument(bash) + L" -c " + QuoteArgument(kLauncher) +
                             L" kiln-browser " + std::to_wstring(ntohs(address.sin_port)) + L" chromium";
  for (const wchar_t* browserSwitch : kBrowserSwitches) commandLine += std::wstring(L" ") + browserSwitch;
  commandLine += L" " + QuoteArgument(L"--user-data-dir=" + profile);
  if (start.devToolsPort) commandLine += L" --remote-debugging-address=127.0.0.1 --remote-debugging-port=0";
  if (!start.arguments.empty()) commandLine += L" " + start.arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(bash.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    closesocket(listener);
    error = "cannot start bash through Wine";
    return kNoConnection;
  }
  // Wine gives no handles for a Linux program: what it leaves in process is
  // not to be closed.

  fd_set ready;
  FD_ZERO(&ready);
  FD_SET(listener, &ready);
  timeval wait = {kLauncherSeconds, 0};
  const SOCKET connection =
      select(0, &ready, nullptr, nullptr, &wait) == 1 ? accept(listener, nullptr, nullptr) : INVALID_SOCKET;
  closesocket(listener);
  if (connection == INVALID_SOCKET) {
    error = "the browser's launcher did not connect within " + std::to_string(kLauncherSeconds) + " s";
    return kNoConnection;
  }
  BOOL noDelay = TRUE;
  setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
  return connection;
}

int DevToolsPort(const std::wstring& profileFolder) {
  FILE* file = _wfopen(PortFile(profileFolder).c_str(), L"rb");
  if (!file) return 0;
  int port = 0;
  if (std::fscanf(file, "%d", &port) != 1) port = 0;
  std::fclose(file);
  return port;
}

}  // namespace standin
