// Decisions about addresses the web view reports, made without Windows.
#pragma once

#include <string>

#include "app/app_config.h"

namespace kiln {

// The page's first address: in the bundle mode "main" under the origin, in the
// remote mode "main" itself, a complete address.
std::string StartAddress(ContentMode mode, const std::string& originPrefix,
                         const std::string& main);

// True when uri begins with originPrefix, byte for byte: letter case counts
// and an address shorter than the prefix is outside.
bool IsInsideOrigin(const std::string& uri, const std::string& originPrefix);

// True when an address the page wants in a new window may be handed to the
// shell: only http:, https: and mailto: (scheme in any letter case), and only
// without spaces, quotes or control characters, which a browser always
// percent-encodes. Anything else (file:, javascript:, custom protocols, UNC
// paths) could make the shell open local programs or files.
bool MayOpenInShell(const std::string& uri);

}  // namespace kiln
