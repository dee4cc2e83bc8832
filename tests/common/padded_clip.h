// Makes a WebM clip larger without changing the video it holds, so that its
// frames lie beyond the first answers of a range cap.
#pragma once

#include <cstdint>
#include <string>

namespace kiln::testing {

// The clip with padding bytes of an EBML Void element between its EBML
// header and its segment.
inline std::string PaddedClip(const std::string& clip, uint64_t padding) {
  // The header's size follows its four-byte id as a variable-length integer.
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(clip.at(at)); };
  size_t length = 1;
  while (!(byte(4) & (0x80 >> (length - 1)))) ++length;
  uint64_t size = byte(4) & (0xFF >> length);
  for (size_t i = 1; i < length; ++i) size = (size << 8) | byte(4 + i);
  const size_t headerEnd = 4 + length + size;
  // A Void element (id 0xEC) with an eight-byte size.
  std::string pad = "\xEC\x01";
  for (int shift = 48; shift >= 0; shift -= 8) pad += static_cast<char>((padding >> shift) & 0xFF);
  pad.append(padding, '\0');
  return clip.substr(0, headerEnd) + pad + clip.substr(headerEnd);
}

}  // namespace kiln::testing
