// Steam: "steam": {"app-id": n} in package.json, and the DLLs steam.ext.dll
// needs beside kiln.exe. Without them the game runs, but Kiln.steam is not
// available, which an author finds out only on a player's machine.
#pragma once

#include "check/app_folder.h"
#include "check/findings.h"

namespace kiln {

void CheckSteam(AppFolder& folder, Findings& findings);

}  // namespace kiln
