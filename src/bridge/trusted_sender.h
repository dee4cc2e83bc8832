// Which documents may talk to the host.
#pragma once

#include <string_view>

namespace kiln {

// True when the sending document's address starts with originPrefix (exact
// bytes, letter case included). A prefix that does not end in "/" is the
// configured start page of a remote app, so the address must also end there
// or go on with "/", "?" or "#": "https://example.com" must not admit
// "https://example.com.evil.net/".
bool IsTrustedSender(std::string_view source, std::string_view originPrefix);

}  // namespace kiln
