// UTF-8 validity as JSON serialisation demands it: no overlong forms, no
// surrogate halves, nothing above U+10FFFF, no truncated sequences.
#pragma once

#include <string_view>

namespace kiln {

bool IsValidUtf8(std::string_view text);

}  // namespace kiln
