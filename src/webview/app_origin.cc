#include "webview/app_origin.h"

namespace kiln {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The scheme of an absolute address in lower case, or empty when the text
// does not begin with one.
std::string SchemeOf(const std::string& uri) {
  const size_t colon = uri.find(':');
  if (colon == std::string::npos || colon == 0 || !IsAsciiLetter(uri[0])) return std::string();
  std::string scheme;
  for (size_t i = 0; i < colon; ++i) {
    const char c = uri[i];
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
      return std::string();
    }
    scheme += AsciiLower(c);
  }
  return scheme;
}

}  // namespace

std::string StartAddress(ContentMode mode, const std::string& originPrefix,
                         const std::string& main) {
  return mode == ContentMode::Remote ? main : originPrefix + main;
}

bool IsInsideOrigin(const std::string& uri, const std::string& originPrefix) {
  return uri.size() >= originPrefix.size() &&
         uri.compare(0, originPrefix.size(), originPrefix) == 0;
}

bool IsTrustedSender(std::string_view source, std::string_view originPrefix) {
  if (source.substr(0, originPrefix.size()) != originPrefix) return false;
  if (!originPrefix.empty() && originPrefix.back() == '/') return true;
  if (source.size() == originPrefix.size()) return true;
  const char next = source[originPrefix.size()];
  return next == '/' || next == '?' || next == '#';
}

bool MayOpenInShell(const std::string& uri) {
  for (const char c : uri) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '"') return false;
  }
  const std::string scheme = SchemeOf(uri);
  return scheme == "http" || scheme == "https" || scheme == "mailto";
}

}  // namespace kiln
