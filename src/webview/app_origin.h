#pragma once

namespace kiln {

// The virtual origin under which the bundled app is served. It lies in the
// reserved .localhost domain, so no network server can ever answer for it.
inline constexpr const char kAppOrigin[] = "https://app.kiln.localhost/";

}  // namespace kiln
