#pragma once

#include <windows.h>

namespace kiln {

// Start-up, the message loop and teardown of one run; returns the exit code.
int RunKiln(HINSTANCE instance);

}  // namespace kiln
