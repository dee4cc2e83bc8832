#include "webview/byte_range.h"

#include <limits>

namespace kiln {
namespace {

bool IsRangeSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && IsRangeSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<uint64_t> ReadBytePosition(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsRangeSpace(text[i])) ++i;
  // "+" is the only sign: a minus leaves no digits to read.
  if (i < text.size() && text[i] == '+') ++i;
  const size_t digitsStart = i;
  uint64_t value = 0;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (kMax - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (i == digitsStart) return std::nullopt;
  return value;
}

}  // namespace

std::string_view TrimRangeSpace(std::string_view text) {
  text = TrimEnd(text);
  while (!text.empty() && IsRangeSpace(text.front())) text.remove_prefix(1);
  return text;
}

std::optional<ByteRange> ParseByteRange(std::string_view value, uint64_t size) {
  constexpr std::string_view kUnit = "bytes=";
  if (size == 0) return std::nullopt;
  if (value.substr(0, kUnit.size()) != kUnit) return std::nullopt;

  // Only the first range of a list is served; white space before the comma
  // is not part of it, so "5- , 9-" still reads as an open end.
  std::string_view range = value.substr(kUnit.size());
  range = TrimEnd(range.substr(0, range.find(',')));

  const size_t dash = range.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const uint64_t lastByte = size - 1;

  if (dash + 1 == range.size()) {  // "A-": from A to the end
    const auto first = ReadBytePosition(range.substr(0, dash));
    if (!first || *first > lastByte) return std::nullopt;
    return ByteRange{*first, lastByte};
  }

  if (dash == 0) {  // "-K": the last K bytes, at most the whole file
    const auto suffix = ReadBytePosition(range.substr(1));
    if (!suffix || *suffix == 0) return std::nullopt;
    const uint64_t count = *suffix < size ? *suffix : size;
    return ByteRange{size - count, lastByte};
  }

  const auto first = ReadBytePosition(range.substr(0, dash));
  const auto last = ReadBytePosition(range.substr(dash + 1));
  if (!first || !last || *first > lastByte || *last < *first) return std::nullopt;
  return ByteRange{*first, *last < lastByte ? *last : lastByte};
}

}  // namespace kiln
