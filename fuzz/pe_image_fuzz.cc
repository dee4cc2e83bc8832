// ReadPeImage answers for any bytes at all, without reading outside them,
// and what it reports stays within what the bytes can hold.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "check/pe_image.h"
#include "common/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<kiln::PeImage> image = kiln::ReadPeImage(bytes);
  if (!image) return 0;
  // Every name is a run of the file's bytes, every reference a 4-byte one.
  if (image->exports.size() > size / 4 + 1) __builtin_trap();
  for (const std::string& name : image->exports) {
    if (name.size() > size) __builtin_trap();
  }
  if (!kiln::IsValidUtf8(image->productVersion)) __builtin_trap();
  return 0;
}
