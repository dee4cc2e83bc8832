// File contents the tests can tell apart byte by byte, and the hash by which
// the stand-in runtime reports the bodies it read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kiln::testing {

// size bytes that differ from those of another seed and repeat only every
// 251 bytes, so a shifted or truncated copy never matches.
inline std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) % 251);
  return bytes;
}

// 64-bit FNV-1a of bytes, as 16 lower-case hex digits.
inline std::string Fnv1a(const std::string& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char byte : bytes) {
    hash ^= byte;
    hash *= 1099511628211ull;
  }
  char text[17];
  std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace kiln::testing
