// One running copy per app and user: a second start hands over to the first.
#pragma once

#include <windows.h>

#include <string>

namespace kiln {

// Called before anything is created. True when a copy of the same app runs
// already and has come to the front: this one should end with exit code 0.
// False when this is the first copy, and also when the first does not
// answer in time (hung, or still starting): this one then runs.
bool HandOverToRunningInstance(const std::string& instanceName);

// Tells later copies which window to bring to the front: the main window,
// once created, unless a live one of an earlier copy is already named.
void AnnounceMainWindow(HWND window);

// The message a second copy sends the first's main window, and its answer.
UINT BringToFrontMessage();
LRESULT BringToFront(HWND window);

}  // namespace kiln
