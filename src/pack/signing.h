// Signing the packed exe with the author's certificate. Linux runs Debian's
// osslsigncode; on Windows, Microsoft's signtool does it (the README shows how).
#pragma once

#include <string>

namespace kiln {

// Signs in into out with the PKCS#12 file pfx. The password is
// KILN_SIGN_PASSWORD, else asked for on the terminal. False, with why set,
// when the exe is not signed.
bool SignExe(const std::string& in, const std::string& out, const std::string& pfx,
             std::string& why);

}  // namespace kiln
