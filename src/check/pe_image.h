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
};

// Nothing when the bytes hold no image: no "MZ" header, or no "PE\0\0"
// signature and file header where it points.
std::optional<PeImage> ReadPeImage(std::string_view bytes);

}  // namespace kiln
