// Loading, start-up notifications and unloading of extensions, over a
// ModuleLoader so the same rules serve Windows DLLs and test fakes. Windows
// start-up reaches these through extension_loader_win.h.
#pragma once

#include <string>

#include "kiln/extension.h"

namespace kiln {

struct AppContext;
class Extension;
class ModuleLoader;

// The export every extension DLL starts with.
inline constexpr char kExtensionEntryName[] = "WrapperExtInit";

// True when the name ends in ".ext.dll", letters in any case. Directory
// searches also match short 8.3 names, so every found name is checked again.
bool IsExtensionFileName(const std::string& name);

// Loads exeFolder + fileName. An extension whose WrapperExtInit returns an
// instance is appended to the context's extensions and returned; any other
// is unloaded at once, leaves nothing behind, and null is returned.
Extension* LoadExtensionFile(AppContext& app, const std::string& fileName, ModuleLoader& loader);

// After the last load: OnExtensionsLoaded, in load order, for every extension
// whose interface version is 2 or more at this moment.
void NotifyExtensionsLoaded(AppContext& app);

// Right after the main window is created: OnMainWindowCreated, in load order.
void NotifyMainWindowCreated(AppContext& app, WindowHandle window);

// At shutdown, in load order: Destroy, then free the DLL, one extension after
// the other; then empties the component registry and deletes the records.
void UnloadExtensions(AppContext& app, ModuleLoader& loader);

}  // namespace kiln
