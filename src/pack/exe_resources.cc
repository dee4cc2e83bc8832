#include "pack/exe_resources.h"

#include <algorithm>
#include <set>

namespace kiln {
namespace {

bool IsType(const PeResource& resource, uint16_t type) {
  return resource.type.name.empty() && resource.type.id == type;
}

// The icon ids an RT_GROUP_ICON lists.
std::set<uint16_t> ListedIcons(const std::string& group) {
  std::set<uint16_t> ids;
  const auto at = [&](size_t offset) {
    return static_cast<uint16_t>(static_cast<uint8_t>(group[offset]) |
                                 (static_cast<uint8_t>(group[offset + 1]) << 8));
  };
  if (group.size() < 6) return ids;
  for (size_t i = 0; i < at(4) && 6 + 14 * (i + 1) <= group.size(); ++i) {
    ids.insert(at(6 + 14 * i + 12));
  }
  return ids;
}

}  // namespace

std::vector<PeResource> PackedResources(const std::vector<PeResource>& resources,
                                        const std::vector<IconImage>& icons,
                                        const VersionInfo& version) {
  // The tree's order is Windows' search order: the first group in it is
  // the first one Explorer finds.
  const auto first = std::find_if(resources.begin(), resources.end(), [](const PeResource& r) {
    return IsType(r, kIconGroupResourceType);
  });
  std::set<uint16_t> dropped, kept;
  ResourceId groupName{1, {}};
  uint16_t groupLanguage = kEnglishUs;
  if (first != resources.end() && !icons.empty()) {
    dropped = ListedIcons(first->data);
    groupName = first->name;
    groupLanguage = first->language;
    for (const PeResource& resource : resources) {
      if (IsType(resource, kIconGroupResourceType) && !(resource.name == first->name)) {
        for (const uint16_t id : ListedIcons(resource.data)) kept.insert(id);
      }
    }
  }
  std::vector<PeResource> packed;
  uint16_t lastIcon = 0;
  for (const PeResource& resource : resources) {
    if (IsType(resource, kVersionResourceType)) continue;
    if (!icons.empty() && IsType(resource, kIconGroupResourceType) && resource.name == groupName) continue;
    if (IsType(resource, kIconResourceType) && resource.type.name.empty() &&
        dropped.count(resource.name.id) && !kept.count(resource.name.id)) {
      continue;
    }
    if (IsType(resource, kIconResourceType)) lastIcon = std::max(lastIcon, resource.name.id);
    packed.push_back(resource);
  }
  if (!icons.empty() && lastIcon + icons.size() <= 0xFFFF) {
    const uint16_t firstId = static_cast<uint16_t>(lastIcon + 1);
    for (size_t i = 0; i < icons.size(); ++i) {
      packed.push_back({{kIconResourceType, {}}, {static_cast<uint16_t>(firstId + i), {}},
                        kEnglishUs, 0, icons[i].bytes});
    }
    packed.push_back({{kIconGroupResourceType, {}}, groupName, groupLanguage, 0,
                      IconGroup(icons, firstId)});
  }
  packed.push_back({{kVersionResourceType, {}}, {1, {}}, kEnglishUs, 0, VersionResource(version)});
  return packed;
}

}  // namespace kiln
