// A DLL as kiln.exe would load it, judged from its headers alone.
#pragma once

#include <optional>
#include <string>

#include "check/app_folder.h"
#include "check/findings.h"
#include "check/kiln_exe.h"
#include "check/pe_image.h"

namespace kiln {

// The image of the DLL at path when the kiln.exe judged against can load
// it: a whole PE file of a DLL for its architecture. Otherwise nothing, and
// an error says why.
std::optional<PeImage> ReadLoadableDll(AppFolder& folder, const std::string& path,
                                       const KilnTarget& kiln, Findings& findings);

// The image at path, when it is one; quiet about everything else.
std::optional<PeImage> ReadAnyImage(AppFolder& folder, const std::string& path);

}  // namespace kiln
