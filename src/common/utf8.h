// UTF-8 validity as JSON serialisation demands it: no overlong forms, no
// surrogate halves, nothing above U+10FFFF, no truncated sequences.
#pragma once

#include <string>
#include <string_view>

namespace kiln {

bool IsValidUtf8(std::string_view text);

// UTF-16 as Windows stores it in files (resources, for one) to UTF-8; a
// surrogate half without its partner becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16 for the same files; each byte of an invalid sequence
// becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace kiln
