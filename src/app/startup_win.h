#pragma once

#include <windows.h>

namespace kiln {

// Start-up, the message loop and teardown of one run; returns the exit code.
int RunKiln(HINSTANCE instance);

// The session is ending (WM_ENDSESSION): the extensions are unloaded now,
// as teardown would unload them, since the process may be ended as soon as
// the main window returns and the message loop may never end.
void EndSession();

}  // namespace kiln
