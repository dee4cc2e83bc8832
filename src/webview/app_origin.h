// The app's virtual origin and the rules about addresses measured against
// it: where the page starts, which navigations stay, which documents may talk
// to the host and which addresses may leave for the shell. originPrefix is
// kAppOrigin in the bundle mode and the configured "main" address in the
// remote mode.
#pragma once

#include <string>
#include <string_view>

#include "app/app_config.h"

namespace kiln {

// The virtual origin under which the bundled app is served. It lies in the
// reserved .localhost domain, so no network server can ever answer for it.
inline constexpr const char kAppOrigin[] = "https://app.kiln.localhost/";

// The scheme of an absolute address in lower case ("https"), or empty when
// the text does not begin with one.
std::string UriScheme(const std::string& uri);

// The page's first address: in the bundle mode "main" under the origin, in the
// remote mode "main" itself, a complete address.
std::string StartAddress(ContentMode mode, const std::string& originPrefix,
                         const std::string& main);

// True when uri begins with originPrefix, byte for byte: letter case counts
// and an address shorter than the prefix is outside.
bool IsInsideOrigin(const std::string& uri, const std::string& originPrefix);

// True when the sending document's address starts with originPrefix: its
// scheme and authority in any letter case, the rest byte for byte. While the
// prefix ends inside the authority (a remote "main" such as
// "https://example.com") the address must also end there or go on with "/",
// "?" or "#", so that it cannot name another host ("https://example.com.evil.net/");
// once the prefix reaches into the path, any continuation is heard.
bool IsTrustedSender(std::string_view source, std::string_view originPrefix);

// True when an address the page wants in a new window may be handed to the
// shell: any absolute address (a game's steam:// or discord: links, say) but
// those that could open local files or programs (file:, drive paths and UNC
// names, javascript:, vbscript:, data:, blob:, about:, and Windows schemes
// such as ms-msdt:, search-ms: or shell:), and only without spaces, quotes
// or control characters, which a browser always percent-encodes.
bool MayOpenInShell(const std::string& uri);

}  // namespace kiln
