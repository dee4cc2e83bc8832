// Extensions from "*.ext.dll" files in the executable's folder. Start-up calls
// LoadExtensions once the AppContext exists, NotifyMainWindowCreated (from
// extension_lifecycle.h) right after the main window is created, and
// UnloadExtensions at teardown, before the AppContext is deleted.
#pragma once

#include "extensions/extension_lifecycle.h"

namespace kiln {

struct AppContext;

// Loads every extension DLL in app.exeFolder, in the order the file system
// lists them, then sends OnExtensionsLoaded to those that asked for it.
// Files that are no extension are skipped silently.
void LoadExtensions(AppContext& app);

// Destroy, then FreeLibrary, per extension in load order; then the component
// registry is emptied and the records deleted.
void UnloadExtensions(AppContext& app);

}  // namespace kiln
