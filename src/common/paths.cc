#include "common/paths.h"

#include <utility>

namespace kiln {
namespace {

constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";

bool HasLongPathPrefix(const std::wstring& path) {
  return path.compare(0, 4, kLongPathPrefix) == 0;
}

}  // namespace

std::wstring StripLongPathPrefix(const std::wstring& path) {
  return HasLongPathPrefix(path) ? path.substr(4) : path;
}

std::wstring ToExtendedPath(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  if (path.size() >= 4 && !HasLongPathPrefix(path)) {
    if (path[0] == L'\\' && path[1] == L'\\') {
      path.replace(0, 1, L"\\\\?\\UNC");
    } else {
      path.insert(0, kLongPathPrefix);
    }
  }
  return path;
}

std::wstring ModuleLoadPath(std::wstring path) {
  constexpr size_t kMaxPath = 260;  // MAX_PATH, the terminator included
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path.size() < kMaxPath ? path : ToExtendedPath(std::move(path));
}

}  // namespace kiln
