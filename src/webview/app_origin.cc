#include "webview/app_origin.h"

#include <algorithm>

namespace kiln {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::string UriScheme(const std::string& uri) {
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

std::string StartAddress(ContentMode mode, const std::string& originPrefix,
                         const std::string& main) {
  return mode == ContentMode::Remote ? main : originPrefix + main;
}

bool IsInsideOrigin(const std::string& uri, const std::string& originPrefix) {
  return uri.size() >= originPrefix.size() &&
         uri.compare(0, originPrefix.size(), originPrefix) == 0;
}

bool IsTrustedSender(std::string_view source, std::string_view originPrefix) {
  if (source.size() < originPrefix.size()) return false;
  // The scheme and authority end at the first "/", "?" or "#" after "//".
  const size_t slashes = originPrefix.find("//");
  const size_t authorityEnd =
      slashes == std::string_view::npos
          ? originPrefix.size()
          : std::min(originPrefix.size(), originPrefix.find_first_of("/?#", slashes + 2));
  // Scheme and host in any letter case, as the browser reports them in lower
  // case whatever the configured address says; the rest byte for byte.
  for (size_t i = 0; i < originPrefix.size(); ++i) {
    const bool same = i < authorityEnd ? AsciiLower(source[i]) == AsciiLower(originPrefix[i])
                                       : source[i] == originPrefix[i];
    if (!same) return false;
  }
  // A prefix that ends inside the authority must not admit another host
  // that merely begins like it: "https://example.com" against
  // "https://example.com.evil.net/". Once it reaches into the path, any
  // continuation is the app's own.
  if (authorityEnd < originPrefix.size() || source.size() == originPrefix.size()) return true;
  const char next = source[originPrefix.size()];
  return next == '/' || next == '?' || next == '#';
}

bool MayOpenInShell(const std::string& uri) {
  for (const char c : uri) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '"') return false;
  }
  const std::string scheme = UriScheme(uri);
  // One letter is a drive ("C:"), not a scheme.
  if (scheme.size() < 2) return false;
  // Local files and scripts, documents made up by the page itself, and the
  // Windows schemes known to start programs or open remote documents.
  static const char* const kRefused[] = {
      "file",   "javascript", "vbscript", "data",         "blob",    "about",    "ms-msdt",
      "search", "search-ms",  "shell",    "ms-officecmd", "ms-word", "ms-excel", "ms-powerpoint",
  };
  for (const char* refused : kRefused) {
    if (scheme == refused) return false;
  }
  return true;
}

}  // namespace kiln
