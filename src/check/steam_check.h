// Steam: "steam": {"app-id": n} in package.json, and the DLLs steam.ext.dll
// needs beside kiln.exe. Without them the game runs, but Kiln.steam is not
// available, which an author finds out only on a player's machine.
#pragma once

#include "check/app_folder.h"
#include "check/findings.h"
#include "check/kiln_exe.h"

namespace kiln {

// The library's name and width follow the kiln.exe the folder is judged
// against (steam_api64.dll for the 64-bit one).
void CheckSteam(AppFolder& folder, const KilnTarget& kiln, Findings& findings);

}  // namespace kiln
