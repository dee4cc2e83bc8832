// What a Windows image (a DLL or an exe) says about itself, read from its
// bytes alone: nothing is loaded or run. Every offset found in the file is
// checked against its size and every list has a bound, so any bytes at all
// give an answer in time proportional to their size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiln {

inline constexpr uint16_t kMachineI386 = 0x014C;
inline constexpr uint16_t kMachineAmd64 = 0x8664;
inline constexpr uint16_t kMachineArm64 = 0xAA64;
inline constexpr uint16_t kImageFileDll = 0x2000;  // in characteristics

// A resource's type or name: a number, or a text when name is not empty.
struct ResourceId {
  uint16_t id = 0;
  std::u16string name;

  bool operator==(const ResourceId& other) const { return id == other.id && name == other.name; }
};

// One leaf of the resource tree: type, name, language, and its bytes.
struct PeResource {
  ResourceId type;
  ResourceId name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::string data;
};

struct PeSection {
  std::string name;
  uint32_t address = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
  uint32_t characteristics = 0;
};

// Where the headers lie in the file, for code that rewrites an image.
struct PeLayout {
  uint64_t fileHeader = 0;  // the COFF file header, after "PE\0\0"
  uint64_t optionalHeader = 0;
  uint16_t optionalHeaderSize = 0;
  uint64_t sectionTable = 0;
  uint32_t fileAlignment = 0;
  uint32_t sectionAlignment = 0;
  uint32_t headersSize = 0;
  uint32_t directoryCount = 0;
  uint32_t directoryAddress[16] = {};
  uint32_t directorySize[16] = {};
};

inline constexpr size_t kCertificateDirectory = 4;  // a file offset, not an address
inline constexpr size_t kResourceDataDirectory = 2;

struct PeImage {
  uint16_t machine = 0;
  uint16_t characteristics = 0;
  // The optional header is PE32+, the form of 64-bit images.
  bool wide = false;
  // The headers or a section's data run past the end of the file, which
  // Windows refuses to load.
  bool truncated = false;
  // Names exported by name, as stored (decorations included).
  std::vector<std::string> exports;
  // "dll!function" for every function imported by name.
  std::vector<std::string> imports;
  // The ProductVersion text of the version resource's U.S. English Unicode
  // string table ("040904B0"), the one kiln.exe asks Windows for; empty
  // when there is none.
  std::string productVersion;
  // Present for PE32 and PE32+ images only.
  std::optional<PeLayout> layout;
  std::vector<PeSection> sections;
  // Every leaf of the resource tree, in the tree's order; resourcesWhole is
  // false when part of the tree could not be read.
  std::vector<PeResource> resources;
  bool resourcesWhole = true;
};

// Nothing when the bytes hold no image: no "MZ" header, or no "PE\0\0"
// signature and file header where it points.
std::optional<PeImage> ReadPeImage(std::string_view bytes);

}  // namespace kiln
