#include "pack/signing.h"

namespace kiln {

bool SignExe(const std::string&, const std::string&, const std::string&, std::string& why) {
  why = "kiln-pack signs on Linux only; on Windows, sign the packed exe with signtool "
        "(see the README)";
  return false;
}

}  // namespace kiln
