// Extension DLLs: kiln.exe skips, without a word, every "*.ext.dll" it
// cannot load or that lacks its entry point.
#pragma once

#include "check/app_folder.h"
#include "check/findings.h"

namespace kiln {

// Every "*.ext.dll" beside kiln.exe is a 32-bit DLL exporting
// WrapperExtInit by its plain name; a DLL that exports it under another
// file name is never loaded.
void CheckExtensions(AppFolder& folder, Findings& findings);

}  // namespace kiln
