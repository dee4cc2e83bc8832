// The name under which the running copy of an app announces itself.
#pragma once

#include <string>

namespace kiln {

// "Local\\" (the session's namespace) followed by a name made from the app's
// "name" and the user's local application data folder: two copies of one
// app of one user meet under it, other apps and other users never do.
std::string SingleInstanceName(const std::string& appName, const std::string& userFolder);

}  // namespace kiln
