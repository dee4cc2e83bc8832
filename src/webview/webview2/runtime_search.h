// Where the WebView2 runtime lies on this machine: a fixed runtime folder the
// app ships, or the first usable runtime that EdgeUpdate registered. Every
// decision is made here in UTF-8; the machine only answers questions about
// its registry and files through a RuntimeProbe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kiln {

// The fixed distribution's runtime folder, relative to kiln.exe's folder.
inline constexpr char kFixedRuntimeFolder[] = "webview2";

// The oldest runtime our WebView2 declarations work with.
inline constexpr char kMinimumRuntimeVersion[] = "86.0.616.0";

// True when text is a runtime version: exactly four dot-separated runs of
// ASCII digits, each within 32 bits ("120.0.2210.91", no channel suffix).
bool IsRuntimeVersion(std::string_view text);

// True when text is a runtime version no older than kMinimumRuntimeVersion,
// compared part by part: 86.0.1000.0 is newer than 86.0.616.0.
bool IsSupportedRuntimeVersion(std::string_view text);

// The two registry hives EdgeUpdate registers runtimes under.
enum class RegistryHive { LocalMachine, CurrentUser };

// The facts the search asks of the machine. Paths and texts are UTF-8.
class RuntimeProbe {
 public:
  virtual ~RuntimeProbe() = default;
  // The string value `name` of the key `keyPath` under hive; empty when the
  // key or the value is missing or is no string.
  virtual std::string RegistryText(RegistryHive hive, const std::string& keyPath,
                                   const std::string& name) = 0;
  // True when path names a file; folders and missing paths are not.
  virtual bool IsFile(const std::string& path) = 0;
  // The English ProductVersion text of a DLL's version resource; empty when
  // it has none.
  virtual std::string ProductVersion(const std::string& dllPath) = 0;
};

// The machine itself: EdgeUpdate's registrations in the 32-bit registry view,
// files through extended-length paths (runtime_search_win.cc).
class SystemRuntimeProbe final : public RuntimeProbe {
 public:
  std::string RegistryText(RegistryHive hive, const std::string& keyPath,
                           const std::string& name) override;
  bool IsFile(const std::string& path) override;
  std::string ProductVersion(const std::string& dllPath) override;
};

// What the loader asks for.
struct RuntimeRequest {
  // Empty for an installed runtime; otherwise the fixed runtime folder.
  // "X:\..." and UNC paths stand as they are; every other name is taken from
  // exeFolder, never from the current directory, which the user controls.
  std::string browserFolder;
  std::string exeFolder;
  // The client DLL's folder for the process architecture: "x86", "x64" or
  // "arm64".
  std::string arch;
};

struct RuntimeLocation {
  // <runtime folder>\EBWebView\<arch>\EmbeddedBrowserWebView.dll, the folder
  // as registered or resolved, every "/" turned into "\".
  std::string clientDll;
  bool isFixed = false;
  // Installed runtimes only: the folder name, plus one space and the channel
  // name for preview channels ("132.0.2957.11 beta").
  std::string version;
};

// <runtimeFolder>\EBWebView\<arch>\EmbeddedBrowserWebView.dll, trailing
// separators of the folder dropped and every "/" turned into "\".
std::string ClientDllPath(std::string_view runtimeFolder, std::string_view arch);

// A fixed runtime when its client DLL is there, with no fallback to an
// installed one. Otherwise the first usable installed runtime: channels from
// most to least stable (runtime, beta, dev, canary), machine-wide before
// per-user registration within a channel. A registration is usable when its
// folder's name passes IsSupportedRuntimeVersion and the client DLL exists;
// a newer runtime in a later channel does not win.
std::optional<RuntimeLocation> FindRuntime(const RuntimeRequest& request, RuntimeProbe& probe);

// The version of the runtime FindRuntime picks: an installed runtime's
// version, or a fixed runtime's client DLL ProductVersion (never with a
// channel suffix). Empty when there is no runtime or it reports no version.
std::string AvailableRuntimeVersion(const RuntimeRequest& request, RuntimeProbe& probe);

}  // namespace kiln
