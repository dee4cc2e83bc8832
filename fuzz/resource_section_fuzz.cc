// The resource writer on any bytes at all: it refuses them or writes an
// image whose resources the PE reader reads back exactly, whole, and with
// nothing cut short; and rewriting that image again works.
#include <cstddef>
#include <cstdint>
#include <string>

#include "pack/resource_section.h"

namespace {

bool Same(const std::vector<kiln::PeResource>& read, const std::vector<kiln::PeResource>& written) {
  if (read.size() != written.size()) return false;
  for (size_t i = 0; i < read.size(); ++i) {
    if (!(read[i].type == written[i].type) || !(read[i].name == written[i].name) ||
        read[i].language != written[i].language || read[i].data != written[i].data) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  // Resources in the tree's order: named types first, then by number.
  const std::vector<kiln::PeResource> resources = {
      {{0, u"DATA"}, {0, u"Z"}, 0, 0, bytes.substr(0, 64)},
      {{3, {}}, {1, {}}, 0x0409, 0, std::string(size % 3000, 'i')},
      {{16, {}}, {1, {}}, 0x0409, 0, "version"},
  };
  std::string why;
  const std::optional<std::string> image = kiln::WithResources(bytes, resources, why);
  if (!image) {
    if (why.empty()) __builtin_trap();
    return 0;
  }
  const std::optional<kiln::PeImage> read = kiln::ReadPeImage(*image);
  if (!read || read->truncated || !read->resourcesWhole || !Same(read->resources, resources)) {
    __builtin_trap();
  }
  const std::optional<std::string> again = kiln::WithResources(*image, {resources[2]}, why);
  if (!again || !Same(kiln::ReadPeImage(*again)->resources, {resources[2]})) __builtin_trap();
  return 0;
}
