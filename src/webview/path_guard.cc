#include "webview/path_guard.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kiln {
namespace {

// In UTF-16 units, as Windows counts them.
constexpr size_t kMaxNameLength = 255;
constexpr size_t kMaxPathLength = 32767;

// Length in UTF-16 units of UTF-8 text, or nothing when the text is not
// valid UTF-8 (overlong forms, surrogates and values beyond U+10FFFF
// included).
std::optional<size_t> Utf16Length(std::string_view text) {
  size_t units = 0;
  size_t i = 0;
  while (i < text.size()) {
    const uint8_t lead = static_cast<uint8_t>(text[i]);
    size_t length;
    uint32_t minimum;
    uint32_t code;
    if (lead < 0x80) {
      ++units;
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
      return std::nullopt;
    }
    if (text.size() - i < length) return std::nullopt;
    for (size_t k = 1; k < length; ++k) {
      const uint8_t next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return std::nullopt;
    }
    units += code >= 0x10000 ? 2 : 1;
    i += length;
  }
  return units;
}

PathFault ByteFault(char c) {
  const uint8_t byte = static_cast<uint8_t>(c);
  if (byte < 0x20 || byte == 0x7F) return PathFault::ControlCharacter;
  switch (c) {
    case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
      return PathFault::ForbiddenCharacter;
    default:
      return PathFault::None;
  }
}

char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows opens a device instead of a file for these names, whatever the
// extension and whatever spaces follow the name.
bool IsReservedDeviceName(std::string_view segment) {
  std::string_view stem = segment.substr(0, segment.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  if (stem.size() < 3 || stem.size() > 7) return false;
  std::string upper(stem);
  for (char& c : upper) c = ToUpperAscii(c);

  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" ||
      upper == "CONIN$" || upper == "CONOUT$") {
    return true;
  }
  const std::string_view kind = std::string_view(upper).substr(0, 3);
  if (kind != "COM" && kind != "LPT") return false;
  const std::string_view number = std::string_view(upper).substr(3);
  if (number.size() == 1) return number[0] >= '0' && number[0] <= '9';
  // Superscript one, two and three, which Windows treats as digits here.
  return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

PathFault SegmentFault(std::string_view segment) {
  if (segment.empty()) return PathFault::EmptyName;
  const char last = segment.back();
  if (last == '.' || last == ' ') return PathFault::TrailingDotOrSpace;
  const auto length = Utf16Length(segment);
  if (!length || *length > kMaxNameLength) return PathFault::NameTooLong;
  return IsReservedDeviceName(segment) ? PathFault::DeviceName : PathFault::None;
}

}  // namespace

PathFault ContentPathFault(std::string_view path) {
  const auto length = Utf16Length(path);
  if (!length) return PathFault::NotUtf8;
  if (*length > kMaxPathLength) return PathFault::PathTooLong;
  for (char c : path) {
    if (const PathFault fault = ByteFault(c); fault != PathFault::None) return fault;
  }
  if (path.empty()) return PathFault::None;  // www itself
  size_t start = 0;
  while (true) {
    const size_t slash = path.find('/', start);
    if (const PathFault fault = SegmentFault(path.substr(start, slash - start));
        fault != PathFault::None) {
      return fault;
    }
    if (slash == std::string_view::npos) return PathFault::None;
    start = slash + 1;
  }
}

bool IsSafeContentPath(std::string_view path) { return ContentPathFault(path) == PathFault::None; }

}  // namespace kiln
