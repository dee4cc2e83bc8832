#include "bridge/trusted_sender.h"

namespace kiln {

bool IsTrustedSender(std::string_view source, std::string_view originPrefix) {
  if (source.substr(0, originPrefix.size()) != originPrefix) return false;
  if (!originPrefix.empty() && originPrefix.back() == '/') return true;
  if (source.size() == originPrefix.size()) return true;
  const char next = source[originPrefix.size()];
  return next == '/' || next == '?' || next == '#';
}

}  // namespace kiln
