#pragma once

namespace kiln {

// A length in 96-DPI units in pixels of the screen's system DPI.
int DpiScale(int n);

}  // namespace kiln
