#include "webview/webview2/runtime_folder.h"

namespace kiln {
namespace {

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool IsAbsolute(std::u16string_view path) {
  const bool drive = path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == u':' &&
                     IsSeparator(path[2]);
  const bool unc = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
  return drive || unc;
}

std::u16string_view TrimTrailingSeparators(std::u16string_view path) {
  while (!path.empty() && IsSeparator(path.back())) path.remove_suffix(1);
  return path;
}

}  // namespace

std::u16string ResolveBrowserFolder(std::u16string_view folder, std::u16string_view exeFolder) {
  if (IsAbsolute(folder)) return std::u16string(folder);
  // "\foo" would mean the root of the current drive: current-directory state
  // again, so it joins the executable's folder like any other relative name.
  while (!folder.empty() && IsSeparator(folder.front())) folder.remove_prefix(1);
  std::u16string resolved(TrimTrailingSeparators(exeFolder));
  resolved += u'\\';
  resolved += folder;
  return resolved;
}

std::u16string_view RuntimeFolderName(std::u16string_view folder) {
  folder = TrimTrailingSeparators(folder);
  size_t start = folder.size();
  while (start > 0 && !IsSeparator(folder[start - 1])) --start;
  return folder.substr(start);
}

std::u16string ClientDllPath(std::u16string_view runtimeFolder, std::u16string_view arch) {
  std::u16string path(TrimTrailingSeparators(runtimeFolder));
  path += u"\\EBWebView\\";
  path += arch;
  path += u"\\EmbeddedBrowserWebView.dll";
  for (char16_t& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

}  // namespace kiln
