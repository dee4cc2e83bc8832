// The window icon: kiln.exe asks GDI+ to decode the file and quietly shows
// the default icon when it cannot.
#pragma once

#include "app/app_config.h"
#include "check/app_folder.h"
#include "check/findings.h"

namespace kiln {

// The "icon" file exists and holds an image GDI+ decodes into a bitmap, as
// told by its first bytes: GDI+ looks at the content, not the extension.
void CheckIcon(AppFolder& folder, const AppConfig& config, Findings& findings);

}  // namespace kiln
