// The single byte range a "Range" request header asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kiln {

// Inclusive first and last byte of a satisfiable range: never empty.
struct ByteRange {
  uint64_t first = 0;
  uint64_t last = 0;
  uint64_t Count() const { return last - first + 1; }
};

// The range that a Range header value (already stripped of surrounding white
// space) selects in a file of `size` bytes, or nothing when it cannot be
// satisfied (answered 416). The unit must be exactly "bytes=" (letter case
// included). Only the first range of a list is served. As HTTP defines it, a
// last byte beyond the end is clamped to the end and a suffix longer than the
// file selects the whole file; a first byte at or beyond the end, a zero-length
// suffix, an unreadable number or an empty file cannot be satisfied.
// Each number may follow white space and an optional "+", then decimal
// digits; reading stops at the first other character, so "0-99, 200-299"
// reads 99 as the last byte. No digits, a value beyond 64 bits or a minus sign
// make the number unreadable: a byte position is never negative, and a "-1"
// wrapped round to 2^64-1 would pass as a last byte beyond the end and be
// clamped into a range the client never asked for.
std::optional<ByteRange> ParseByteRange(std::string_view value, uint64_t size);

// The Range value without the white space around it (space, tab, line
// feed, vertical tab, form feed, carriage return).
std::string_view TrimRangeSpace(std::string_view text);

}  // namespace kiln
