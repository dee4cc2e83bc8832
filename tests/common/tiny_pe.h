// The smallest Windows images the resource writer meets: headers, code, then
// sections that may follow the resources, as a linker lays them out.
#pragma once

#include <string>
#include <vector>

#include "pack/resource_section.h"

namespace kiln::testing {

struct TinySection {
  std::string name;
  std::string bytes;  // the raw data, padded to 0x200
  bool resources = false;  // the resource directory points here
};

inline void PutLe(std::string& bytes, size_t at, uint64_t value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A PE32 (or, wide, PE32+) exe with the sections in order, each at its own
// 0x1000 of address space.
inline std::string TinyPe(const std::vector<TinySection>& sections, bool wide = false) {
  constexpr size_t kHeader = 0x40, kHeadersSize = 0x400;
  const size_t optionalSize = wide ? 240 : 224;
  const size_t optional = kHeader + 24, table = optional + optionalSize;
  std::string image(kHeadersSize, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  PutLe(image, 0x3C, kHeader, 4);
  image.replace(kHeader, 4, std::string("PE\0\0", 4));
  PutLe(image, kHeader + 4, wide ? 0x8664 : 0x14C, 2);
  PutLe(image, kHeader + 6, sections.size(), 2);
  PutLe(image, kHeader + 20, optionalSize, 2);
  PutLe(image, kHeader + 22, wide ? 0x0022 : 0x0102, 2);
  PutLe(image, optional, wide ? 0x20B : 0x10B, 2);
  PutLe(image, optional + 32, 0x1000, 4);
  PutLe(image, optional + 36, 0x200, 4);
  PutLe(image, optional + 56, 0x1000 * (sections.size() + 1), 4);
  PutLe(image, optional + 60, kHeadersSize, 4);
  PutLe(image, optional + 68, 2, 2);  // a GUI program
  PutLe(image, optional + (wide ? 108 : 92), 16, 4);
  for (size_t i = 0; i < sections.size(); ++i) {
    const uint32_t address = static_cast<uint32_t>(0x1000 * (i + 1));
    std::string bytes = sections[i].bytes;
    bytes.resize((bytes.size() + 0x1FF) / 0x200 * 0x200, '\0');
    const size_t entry = table + 40 * i;
    image.replace(entry, sections[i].name.size(), sections[i].name);
    PutLe(image, entry + 8, sections[i].bytes.size(), 4);
    PutLe(image, entry + 12, address, 4);
    PutLe(image, entry + 16, bytes.size(), 4);
    PutLe(image, entry + 20, image.size(), 4);
    PutLe(image, entry + 36, 0x40000040, 4);
    if (sections[i].resources) {
      PutLe(image, optional + (wide ? 112 : 96) + 16, address, 4);
      PutLe(image, optional + (wide ? 112 : 96) + 20, sections[i].bytes.size(), 4);
    }
    image += bytes;
  }
  return image;
}

}  // namespace kiln::testing
