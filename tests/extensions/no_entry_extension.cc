// A DLL named like an extension that exports no WrapperExtInit.
#include <windows.h>

extern "C" __declspec(dllexport) int KilnNotAnExtension() { return 1; }
