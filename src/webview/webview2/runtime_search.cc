#include "webview/webview2/runtime_search.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string_view>

namespace kiln {
namespace {

// A release channel as EdgeUpdate registers it: its key under HKLM and HKCU,
// whose value "EBWebView" names the versioned runtime folder, and the name
// that follows the version after one space (none for the runtime itself).
struct RuntimeChannel {
  const char* clientStateKey;
  const char* versionSuffix;
};

constexpr RuntimeChannel kRuntimeChannels[] = {
    {"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}", ""},
    {"Software\\Microsoft\\EdgeUpdate\\ClientState\\{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}",
     "beta"},
    {"Software\\Microsoft\\EdgeUpdate\\ClientState\\{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}", "dev"},
    {"Software\\Microsoft\\EdgeUpdate\\ClientState\\{65C35B14-6C1D-4122-AC46-7148CC9D6497}",
     "canary"},
};

constexpr char kRegisteredFolderValue[] = "EBWebView";

// Four numbers compared part by part, not as text.
using RuntimeVersion = std::array<uint32_t, 4>;

std::optional<RuntimeVersion> ParseRuntimeVersion(std::string_view text) {
  RuntimeVersion version{};
  size_t pos = 0;
  for (size_t part = 0; part < version.size(); ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    const size_t start = pos;
    uint64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      value = value * 10 + static_cast<uint64_t>(text[pos] - '0');
      if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
      ++pos;
    }
    if (pos == start) return std::nullopt;
    version[part] = static_cast<uint32_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return version;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsAbsolute(std::string_view path) {
  const bool drive =
      path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && IsSeparator(path[2]);
  const bool unc = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
  return drive || unc;
}

std::string_view TrimTrailingSeparators(std::string_view path) {
  while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
  return path;
}

std::string ResolveBrowserFolder(std::string_view folder, std::string_view exeFolder) {
  if (IsAbsolute(folder)) return std::string(folder);
  // "\foo" would mean the root of the current drive: current-directory state
  // again, so it joins the executable's folder like any other relative name.
  while (!folder.empty() && IsSeparator(folder.front())) folder.remove_prefix(1);
  std::string resolved(TrimTrailingSeparators(exeFolder));
  resolved += '\\';
  resolved += folder;
  return resolved;
}

// The last component of a runtime folder, ignoring trailing separators:
// "131.0.2903.146" for "C:\...\Application\131.0.2903.146\".
std::string_view RuntimeFolderName(std::string_view folder) {
  folder = TrimTrailingSeparators(folder);
  size_t start = folder.size();
  while (start > 0 && !IsSeparator(folder[start - 1])) --start;
  return folder.substr(start);
}

std::optional<RuntimeLocation> CheckInstalledRuntime(const std::string& folder,
                                                     const RuntimeChannel& channel,
                                                     const std::string& arch, RuntimeProbe& probe) {
  const std::string_view name = RuntimeFolderName(folder);
  if (!IsSupportedRuntimeVersion(name)) return std::nullopt;
  RuntimeLocation location;
  location.clientDll = ClientDllPath(folder, arch);
  if (!probe.IsFile(location.clientDll)) return std::nullopt;
  location.version = std::string(name);
  if (*channel.versionSuffix) {
    location.version += ' ';
    location.version += channel.versionSuffix;
  }
  return location;
}

std::optional<RuntimeLocation> FindInstalledRuntime(const std::string& arch, RuntimeProbe& probe) {
  for (const RuntimeChannel& channel : kRuntimeChannels) {
    for (RegistryHive hive : {RegistryHive::LocalMachine, RegistryHive::CurrentUser}) {
      const std::string folder =
          probe.RegistryText(hive, channel.clientStateKey, kRegisteredFolderValue);
      if (folder.empty()) continue;
      if (std::optional<RuntimeLocation> found =
              CheckInstalledRuntime(folder, channel, arch, probe)) {
        return found;
      }
    }
  }
  return std::nullopt;
}

std::optional<RuntimeLocation> FindFixedRuntime(const RuntimeRequest& request,
                                                RuntimeProbe& probe) {
  RuntimeLocation location;
  location.clientDll =
      ClientDllPath(ResolveBrowserFolder(request.browserFolder, request.exeFolder), request.arch);
  location.isFixed = true;
  if (!probe.IsFile(location.clientDll)) return std::nullopt;
  return location;
}

}  // namespace

std::string ClientDllPath(std::string_view runtimeFolder, std::string_view arch) {
  std::string path(TrimTrailingSeparators(runtimeFolder));
  path += "\\EBWebView\\";
  path += arch;
  path += "\\EmbeddedBrowserWebView.dll";
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

bool IsRuntimeVersion(std::string_view text) { return ParseRuntimeVersion(text).has_value(); }

bool IsSupportedRuntimeVersion(std::string_view text) {
  const std::optional<RuntimeVersion> version = ParseRuntimeVersion(text);
  return version && *version >= *ParseRuntimeVersion(kMinimumRuntimeVersion);
}

std::optional<RuntimeLocation> FindRuntime(const RuntimeRequest& request, RuntimeProbe& probe) {
  if (!request.browserFolder.empty()) return FindFixedRuntime(request, probe);
  return FindInstalledRuntime(request.arch, probe);
}

std::string AvailableRuntimeVersion(const RuntimeRequest& request, RuntimeProbe& probe) {
  const std::optional<RuntimeLocation> runtime = FindRuntime(request, probe);
  if (!runtime) return std::string();
  return runtime->isFixed ? probe.ProductVersion(runtime->clientDll) : runtime->version;
}

}  // namespace kiln
