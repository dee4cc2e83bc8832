// The random range starts of the content benchmarks, drawn alike by the
// stand-in runtime and by the baseline program, so both read the same bytes.
#pragma once

#include <cstdint>

namespace kiln::testing {

// Advances state and returns a start for a range of size bytes inside a file
// of fileSize bytes (size <= fileSize).
inline uint64_t NextRangeStart(uint64_t& state, uint64_t fileSize, uint64_t size) {
  state = state * 6364136223846793005ull + 1442695040888963407ull;
  return (state >> 11) % (fileSize - size + 1);
}

}  // namespace kiln::testing
