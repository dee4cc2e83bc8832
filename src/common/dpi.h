// Arithmetic of DpiScale: lengths in 96-DPI units to pixels.
#pragma once

namespace kiln {

// The scale factor for a screen of the given logical pixels per inch.
float DpiFactorFromLogPixels(int logPixels);

// n times the factor, computed in single precision, rounded up in double
// precision and truncated: 1024 at 1.5 gives 1536, -10.5 gives -10.
int ScaleByDpiFactor(int n, float factor);

}  // namespace kiln
