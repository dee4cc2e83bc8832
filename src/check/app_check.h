// Everything the checker looks at in an app folder, in the order kiln.exe
// meets it at start-up.
#pragma once

#include "check/app_folder.h"
#include "check/findings.h"
#include "check/kiln_exe.h"

namespace kiln {

// DLLs and a fixed runtime are judged against kiln, by default the shipped
// build's architecture.
Findings CheckAppFolder(AppFolder& folder, const KilnTarget& kiln = {});

}  // namespace kiln
