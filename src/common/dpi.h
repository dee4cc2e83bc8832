// Lengths in 96-DPI units turned into pixels of the screen. The factor comes
// from the screen's system DPI on the Windows side (dpi_win.cc); the
// arithmetic is here so that it can be checked anywhere.
#pragma once

namespace kiln {

// A length in 96-DPI units in pixels of the screen's system DPI. The factor
// is taken once, on the first call, and kept for the life of the process.
int DpiScale(int n);

// The scale factor for a screen of the given logical pixels per inch.
float DpiFactorFromLogPixels(int logPixels);

// n times the factor, computed in single precision, rounded up in double
// precision and truncated: 1024 at 1.5 gives 1536, -10.5 gives -10.
int ScaleByDpiFactor(int n, float factor);

}  // namespace kiln
