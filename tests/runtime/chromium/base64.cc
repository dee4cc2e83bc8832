#include "base64.h"

namespace standin {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned value = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
    text.push_back(kAlphabet[(value >> 18) & 63]);
    text.push_back(kAlphabet[(value >> 12) & 63]);
    text.push_back(kAlphabet[(value >> 6) & 63]);
    text.push_back(kAlphabet[value & 63]);
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    text.push_back(kAlphabet[(value >> 18) & 63]);
    text.push_back(kAlphabet[(value >> 12) & 63]);
    text.push_back(rest == 2 ? kAlphabet[(value >> 6) & 63] : '=');
    text.push_back('=');
  }
  return text;
}

std::string Base64Decode(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  unsigned value = 0;
  int bits = 0;
  for (const char c : text) {
    if (c == '=') break;
    const int digit = ValueOf(c);
    if (digit < 0) continue;
    value = (value << 6) | static_cast<unsigned>(digit);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<char>((value >> bits) & 0xFF));
    }
  }
  return bytes;
}

}  // namespace standin
