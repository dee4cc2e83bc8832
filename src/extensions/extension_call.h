// The host's calls into an extension that an escaping exception may end.
// Extensions come from other compilers, each module with its own runtime, so
// what "an exception" is depends on the platform (see the siblings of
// extension_call.cc).
#pragma once

#include <cstdint>

#include "kiln/extension.h"

namespace kiln {

// Calls extension.OnWebMessage. An exception the extension lets escape is
// stopped here, after the extension's own cleanup has run; the result is
// then false. Crashes such as access violations are not stopped: they end
// the process as before.
bool DeliverWebMessage(IExtension& extension, const char* messageId, int32_t count,
                       const ExtensionValue* values, double asyncId) noexcept;

}  // namespace kiln
