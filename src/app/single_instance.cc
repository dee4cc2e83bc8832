#include "app/single_instance.h"

#include <cstdint>

namespace kiln {
namespace {

// FNV-1a: names of any length and any characters become a short name that
// Windows accepts for an object (no backslash, far below its length limit).
uint64_t Fnv1a(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string Hex(uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 15];
  return text;
}

}  // namespace

std::string SingleInstanceName(const std::string& appName, const std::string& userFolder) {
  // The length goes in first, so that no split of one text into name and
  // folder gives the same hash input as another.
  return "Local\\Kiln-" + Hex(Fnv1a(std::to_string(appName.size()) + ":" + appName + userFolder));
}

}  // namespace kiln
