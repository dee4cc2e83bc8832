// Rewrites the resources of a Windows image (PE32 or PE32+) and leaves
// every other byte as it was: the code, the imports, the relocations and the
// sections that follow the old resources keep their places. The new tree
// goes into a section of its own at the end of the image, or takes the place
// of the resource section when that already ends the image.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/pe_image.h"

namespace kiln {

// The bytes of a resource section holding these resources, to be loaded at
// the given address. Entries are sorted as Windows searches them: named
// ones by name first, then numbered ones by number.
std::string ResourceSectionBytes(const std::vector<PeResource>& resources, uint32_t address);

// The image with exactly these resources. A signature is removed: it would
// no longer match. Nothing, with why set, when the bytes are not a whole
// PE32 or PE32+ image or leave no room for another section header.
std::optional<std::string> WithResources(std::string_view image,
                                         const std::vector<PeResource>& resources,
                                         std::string& why);

// The checksum of the optional header, as the image's bytes give it.
uint32_t PeChecksum(std::string_view image, uint64_t checksumOffset);

}  // namespace kiln
