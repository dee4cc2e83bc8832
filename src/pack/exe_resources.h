// The resources of a packed exe: those of kiln.exe, with the first icon
// group made from the app's image and the version information its own.
#pragma once

#include <string>
#include <vector>

#include "check/pe_image.h"
#include "pack/icon_images.h"
#include "pack/version_resource.h"

namespace kiln {

inline constexpr uint16_t kIconResourceType = 3;        // RT_ICON
inline constexpr uint16_t kIconGroupResourceType = 14;  // RT_GROUP_ICON
inline constexpr uint16_t kVersionResourceType = 16;    // RT_VERSION
inline constexpr uint16_t kEnglishUs = 0x0409;

// The first icon group, what Explorer shows, is replaced by one listing
// icons (when there are any), and the images only it used are dropped;
// every version resource gives way to version. Everything else is kept.
std::vector<PeResource> PackedResources(const std::vector<PeResource>& resources,
                                        const std::vector<IconImage>& icons,
                                        const VersionInfo& version);

}  // namespace kiln
