#include "app/end_session_win.h"

#include "app/app_context.h"
#include "extensions/extension_loader_win.h"

namespace kiln {

void EndSession() {
  // In load order, each extension finishing what it still has to do (saves
  // queued to be written); teardown then finds none left to unload.
  if (g_appContext) UnloadExtensions(*g_appContext);
}

}  // namespace kiln
