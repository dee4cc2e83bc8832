#include "webview/webview2/runtime_version.h"

#include <limits>

namespace kiln {

const std::array<RuntimeChannel, 4> kRuntimeChannels = {{
    {u"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",
     u""},
    {u"Software\\Microsoft\\EdgeUpdate\\ClientState\\{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}",
     u"beta"},
    {u"Software\\Microsoft\\EdgeUpdate\\ClientState\\{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}",
     u"dev"},
    {u"Software\\Microsoft\\EdgeUpdate\\ClientState\\{65C35B14-6C1D-4122-AC46-7148CC9D6497}",
     u"canary"},
}};

std::optional<RuntimeVersion> ParseRuntimeVersion(std::u16string_view text) {
  RuntimeVersion version;
  size_t pos = 0;
  for (size_t part = 0; part < version.parts.size(); ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != u'.') return std::nullopt;
      ++pos;
    }
    const size_t start = pos;
    uint64_t value = 0;
    while (pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9') {
      value = value * 10 + static_cast<uint64_t>(text[pos] - u'0');
      if (value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
      ++pos;
    }
    if (pos == start) return std::nullopt;
    version.parts[part] = static_cast<uint32_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return version;
}

bool IsSupportedRuntimeVersion(const RuntimeVersion& version) {
  return !(version < kMinimumRuntimeVersion);
}

std::u16string InstalledVersionString(std::u16string_view folderName,
                                      const RuntimeChannel& channel) {
  std::u16string text(folderName);
  if (!channel.versionSuffix.empty()) {
    text += u' ';
    text += channel.versionSuffix;
  }
  return text;
}

}  // namespace kiln
