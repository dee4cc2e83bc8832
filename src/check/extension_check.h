// Extension DLLs: kiln.exe skips, without a word, every "*.ext.dll" it
// cannot load or that lacks its entry point.
#pragma once

#include "check/app_folder.h"
#include "check/findings.h"
#include "check/kiln_exe.h"

namespace kiln {

// Every "*.ext.dll" beside kiln.exe is a DLL of kiln.exe's architecture
// exporting WrapperExtInit by its plain name; a DLL that exports it under
// another file name is never loaded.
void CheckExtensions(AppFolder& folder, const KilnTarget& kiln, Findings& findings);

// The Steamworks library the Steam extension loads from beside kiln.exe,
// when the app ships it: "steam_api.dll" for x86, "steam_api64.dll" for
// x64, a DLL of that architecture. The other one is never loaded.
void CheckSteamApi(AppFolder& folder, const KilnTarget& kiln, Findings& findings);

}  // namespace kiln
