#include <windows.h>

#include "app/startup_win.h"
#include "installer/installer_win.h"

// The shipped 32-bit build must compute what the tested builds compute: x87
// arithmetic, with its excess precision, rounds differently.
#if defined(__i386__) && !defined(__SSE2_MATH__)
#error "build the 32-bit kiln.exe with -msse2 -mfpmath=sse"
#endif

const wchar_t kiln::kBootstrapperLink[] = KILN_BOOTSTRAPPER_URL;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return kiln::RunKiln(instance);
}
