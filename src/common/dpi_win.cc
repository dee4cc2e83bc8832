#include "common/dpi.h"

#include <windows.h>

namespace kiln {

int DpiScale(int n) {
  static float factor = 0.0f;
  if (factor == 0.0f) {
    HDC screen = GetDC(nullptr);
    factor = DpiFactorFromLogPixels(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
  }
  return ScaleByDpiFactor(n, factor);
}

}  // namespace kiln
