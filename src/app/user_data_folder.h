// The name of the app's user data folder, made from its "name".
#pragma once

#include <string>

namespace kiln {

// "name" as a folder name Windows accepts, whatever the file system: each
// character Windows forbids in a name (<>:"/\|?* and control characters)
// becomes "_", and so does each trailing dot or space; a reserved device
// name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without an extension)
// gets a "_" after it. A name Windows accepts comes back unchanged, so the
// profiles of existing apps keep their data. NTFS would otherwise read
// "My Game: Deluxe" as a stream of "My Game", and a name such as ".." would
// lead out of the local application data folder.
std::string UserDataFolderName(const std::string& name);

}  // namespace kiln
