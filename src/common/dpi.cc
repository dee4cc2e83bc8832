#include "common/dpi.h"

#include <cmath>

namespace kiln {

float DpiFactorFromLogPixels(int logPixels) {
  return static_cast<float>(logPixels) / 96.0f;
}

int ScaleByDpiFactor(int n, float factor) {
  const float scaled = static_cast<float>(n) * factor;
  return static_cast<int>(std::ceil(static_cast<double>(scaled)));
}

}  // namespace kiln
