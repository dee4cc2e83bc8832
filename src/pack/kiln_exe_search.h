// Where kiln-pack finds the kiln.exe it packs when none is named.
#pragma once

#include <string>
#include <vector>

#include "check/kiln_exe.h"

namespace kiln {

// Where kiln-pack looks for the kiln.exe of an architecture, in this order:
// kiln.exe beside kiln-pack, when it is of that architecture (an installed
// Kiln, or a Windows build's own output), then the kiln.exe of that
// architecture's build in the build output kiln-pack lies in
// (build/<preset>/src beside build/win32/src and build/win64/src).
// programFolder has "/" between names.
std::vector<std::string> KilnExeCandidates(KilnArch arch, const std::string& programFolder);

}  // namespace kiln
