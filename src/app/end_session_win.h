// What Kiln does when Windows ends the session (logoff, shutdown, an update).
#pragma once

namespace kiln {

// On WM_ENDSESSION (wParam TRUE): the extensions are unloaded now, as
// teardown would unload them, since the process may be ended as soon as the
// main window returns and the message loop may never end.
void EndSession();

}  // namespace kiln
