// Versions of installed WebView2 runtimes and the release channels that carry
// them. The loader finds a runtime folder per channel in the registry; the
// folder's name is its version.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kiln {

// A four-part runtime version such as 131.0.2903.146, compared part by part.
struct RuntimeVersion {
  std::array<uint32_t, 4> parts{};

  friend bool operator<(const RuntimeVersion& a, const RuntimeVersion& b) {
    return a.parts < b.parts;
  }
  friend bool operator==(const RuntimeVersion& a, const RuntimeVersion& b) {
    return a.parts == b.parts;
  }
};

// Exactly four dot-separated runs of decimal digits, each within 32 bits;
// anything else (a channel suffix included) is not a version.
std::optional<RuntimeVersion> ParseRuntimeVersion(std::u16string_view text);

// The oldest runtime our declarations work with; older ones are passed over.
inline constexpr RuntimeVersion kMinimumRuntimeVersion{{86, 0, 616, 0}};

bool IsSupportedRuntimeVersion(const RuntimeVersion& version);

// A release channel as EdgeUpdate registers it.
struct RuntimeChannel {
  // Under HKLM and HKCU; its value "EBWebView" names the versioned folder.
  std::u16string_view clientStateKey;
  // Appended to the version string after one space; empty for the runtime.
  std::u16string_view versionSuffix;
};

// Most stable first: the order in which installed runtimes are searched.
extern const std::array<RuntimeChannel, 4> kRuntimeChannels;

// "131.0.2903.146" for the runtime channel, "132.0.2957.11 beta" for Beta.
std::u16string InstalledVersionString(std::u16string_view folderName,
                                      const RuntimeChannel& channel);

}  // namespace kiln
