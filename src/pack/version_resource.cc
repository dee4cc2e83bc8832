#include "pack/version_resource.h"

#include "common/utf8.h"

namespace kiln {
namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructVersion = 0x00010000;
constexpr uint32_t kOsNtWindows32 = 0x00040004;
constexpr uint32_t kTypeApplication = 1;
constexpr char kStringTable[] = "040904B0";  // U.S. English, Unicode
constexpr uint16_t kLanguage = 0x0409, kCodePage = 0x04B0;

void Append(std::string& bytes, uint32_t value, unsigned count) {
  for (unsigned i = 0; i < count; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void Pad(std::string& bytes) { bytes.resize((bytes.size() + 3) & ~size_t{3}, '\0'); }

std::string Utf16Bytes(const std::string& text) {
  std::string bytes;
  for (const char16_t c : Utf8ToUtf16(text)) Append(bytes, c, 2);
  Append(bytes, 0, 2);
  return bytes;
}

// One node: its length, the value's length (in characters for text), the
// type (1 for text), the key, then the value and the children, each on a
// 32-bit boundary.
std::string Block(const std::string& key, const std::string& value, uint16_t valueLength,
                  bool text, const std::vector<std::string>& children) {
  std::string bytes(6, '\0');
  bytes += Utf16Bytes(key);
  Pad(bytes);
  bytes += value;
  for (const std::string& child : children) {
    Pad(bytes);
    bytes += child;
  }
  bytes[0] = static_cast<char>(bytes.size() & 0xFF);
  bytes[1] = static_cast<char>(bytes.size() >> 8);
  bytes[2] = static_cast<char>(valueLength & 0xFF);
  bytes[3] = static_cast<char>(valueLength >> 8);
  bytes[4] = text ? 1 : 0;
  return bytes;
}

}  // namespace

std::optional<VersionNumbers> ParseVersionNumbers(const std::string& text) {
  const std::string numbers = text.substr(0, text.find_first_of("-+"));
  VersionNumbers version = {0, 0, 0, 0};
  size_t part = 0, at = 0;
  while (true) {
    const size_t end = std::min(numbers.find('.', at), numbers.size());
    if (part == 4 || end == at || end - at > 5) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = at; i < end; ++i) {
      if (numbers[i] < '0' || numbers[i] > '9') return std::nullopt;
      value = value * 10 + static_cast<uint32_t>(numbers[i] - '0');
    }
    if (value > 0xFFFF) return std::nullopt;
    version[part++] = static_cast<uint16_t>(value);
    if (end == numbers.size()) break;
    at = end + 1;
  }
  return version;
}

std::string VersionText(const VersionNumbers& numbers) {
  return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
         std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
}

std::string VersionResource(const VersionInfo& info) {
  const uint32_t high = (uint32_t{info.numbers[0]} << 16) | info.numbers[1];
  const uint32_t low = (uint32_t{info.numbers[2]} << 16) | info.numbers[3];
  std::string fixed;
  for (const uint32_t value : {kFixedSignature, kFixedStructVersion, high, low, high, low,
                               uint32_t{0x3F}, uint32_t{0}, kOsNtWindows32, kTypeApplication,
                               uint32_t{0}, uint32_t{0}, uint32_t{0}}) {
    Append(fixed, value, 4);
  }
  std::vector<std::string> strings;
  for (const auto& [key, value] : info.strings) {
    const std::string text = Utf16Bytes(value);
    strings.push_back(Block(key, text, static_cast<uint16_t>(text.size() / 2), true, {}));
  }
  std::string translation;
  Append(translation, kLanguage, 2);
  Append(translation, kCodePage, 2);
  return Block("VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), false,
               {Block("StringFileInfo", "", 0, true, {Block(kStringTable, "", 0, true, strings)}),
                Block("VarFileInfo", "", 0, true,
                      {Block("Translation", translation, 4, false, {})})});
}

}  // namespace kiln
