// The version resource Explorer, Task Manager and the file's Properties
// show: a VS_VERSIONINFO block with one U.S. English Unicode string table.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kiln {

using VersionNumbers = std::array<uint16_t, 4>;

struct VersionInfo {
  VersionNumbers numbers = {1, 0, 0, 0};
  // Key and value, UTF-8, in the order they are written.
  std::vector<std::pair<std::string, std::string>> strings;
};

// "1.2.3" gives 1.2.3.0: one to four numbers of at most 65535, with a
// semver pre-release or build part ("-beta.1", "+5") after them ignored.
std::optional<VersionNumbers> ParseVersionNumbers(const std::string& text);

// "1.2.3.0".
std::string VersionText(const VersionNumbers& numbers);

// The resource's bytes (RT_VERSION, VS_VERSION_INFO).
std::string VersionResource(const VersionInfo& info);

}  // namespace kiln
