// Everything the checker looks at in an app folder, in the order kiln.exe
// meets it at start-up.
#pragma once

#include "check/app_folder.h"
#include "check/findings.h"

namespace kiln {

Findings CheckAppFolder(AppFolder& folder);

}  // namespace kiln
