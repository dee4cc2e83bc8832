#include "webview/request_path.h"

namespace kiln {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    char b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// "+" stays "+": it means a space only in form data, never in a path.
std::string DecodePercentEscapes(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    decoded.push_back(text[i]);
  }
  return decoded;
}

}  // namespace

std::optional<RequestTarget> RequestTargetFromUri(std::string_view uri,
                                                  std::string_view originPrefix,
                                                  PathFault* fault) {
  if (!StartsWithIgnoringAsciiCase(uri, originPrefix)) return std::nullopt;
  std::string_view relative = uri.substr(originPrefix.size());
  relative = relative.substr(0, relative.find_first_of("?#"));

  RequestTarget target;
  target.path = DecodePercentEscapes(relative);
  PathFault found = PathFault::None;
  if (!target.path.empty() && target.path.front() == '/') {
    found = PathFault::EmptyName;
  } else {
    target.namesFolder = target.path.empty() || target.path.back() == '/';
    if (!target.path.empty() && target.path.back() == '/') target.path.pop_back();
    found = ContentPathFault(target.path);
  }
  if (found == PathFault::None) return target;
  if (fault) *fault = found;
  return std::nullopt;
}

std::string ContentFilePath(std::string_view contentFolder, std::string_view relativePath) {
  std::string path(contentFolder);
  path.reserve(contentFolder.size() + relativePath.size());
  for (char c : relativePath) path.push_back(c == '/' ? '\\' : c);
  return path;
}

}  // namespace kiln
