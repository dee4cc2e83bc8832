// The host's side of the page's web messages: one JSON object per message,
// dispatched on its "type".
#pragma once

#include <string_view>

namespace kiln {

struct AppContext;
class PageActions;

// Handles one message text from a trusted sender. The text ends at its first
// NUL. Window operations go to actions, "wrapper-init" is answered through
// actions.PostJson, and "extension-message" is routed to the extension that
// registered its component id. Anything malformed is dropped silently, and
// so is a message whose handling throws, the called extension included:
// nothing escapes, and later messages are unaffected.
void HandleWebMessage(std::string_view text, PageActions& actions, AppContext& app) noexcept;

}  // namespace kiln
