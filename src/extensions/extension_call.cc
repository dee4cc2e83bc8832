// Calls into extensions where C++ exceptions unwind through tables that every
// module's runtime can read (x86-64 Windows, and the native builds): an
// exception thrown by a GCC-built extension reaches the host's handler.
#include "extensions/extension_call.h"

namespace kiln {

bool DeliverWebMessage(IExtension& extension, const char* messageId, int32_t count,
                       const ExtensionValue* values, double asyncId) noexcept {
  try {
    extension.OnWebMessage(messageId, count, values, asyncId);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace kiln
