// The content server's mapped files: mapped on the first range request that
// needs a view, kept for the rest of the run (unless reading the view
// fails), released at teardown.
#include <iterator>
#include <utility>

#include "webview/content_folder_win.h"
#include "webview/kiln_web_view.h"

namespace kiln {
namespace {

void CloseMappedFile(const MappedFile& mapped) {
  if (mapped.view) UnmapViewOfFile(mapped.view);
  if (mapped.mapping) CloseHandle(mapped.mapping);
  if (mapped.file != INVALID_HANDLE_VALUE) CloseHandle(mapped.file);
}

}  // namespace

const MappedFile* KilnWebView::MapContentFile(const std::wstring& finalPath,
                                              const std::wstring& fullPath) {
  const auto known = mappedFiles.find(finalPath);
  if (known != mappedFiles.end()) return &known->second;

  MappedFile mapped;
  mapped.file = CreateFileW(fullPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (mapped.file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size = {};
  // The name may lead elsewhere by now (a file replaced since it was looked
  // at): only the file asked for is mapped under its path. An empty file has
  // nothing to map (and no range to serve).
  if (FinalPathOf(mapped.file) == finalPath && GetFileSizeEx(mapped.file, &size) &&
      size.QuadPart > 0) {
    mapped.mapping = CreateFileMappingW(mapped.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  }
  // A whole view of a large file may not fit in a 32-bit process: the
  // caller then reads the range from the file instead.
  if (mapped.mapping) mapped.view = MapViewOfFile(mapped.mapping, FILE_MAP_READ, 0, 0, 0);
  if (!mapped.view) {
    CloseMappedFile(mapped);
    return nullptr;
  }
  mapped.size = static_cast<uint64_t>(size.QuadPart);
  try {
    return &mappedFiles.emplace(finalPath, mapped).first->second;
  } catch (...) {
    CloseMappedFile(mapped);
    throw;
  }
}

void KilnWebView::ForgetMappedFile(const std::wstring& finalPath) {
  const auto known = mappedFiles.find(finalPath);
  if (known == mappedFiles.end()) return;
  CloseMappedFile(known->second);
  mappedFiles.erase(known);
  for (auto name = mappedNames.begin(); name != mappedNames.end();) {
    name = name->second == finalPath ? mappedNames.erase(name) : std::next(name);
  }
}

void KilnWebView::ReleaseMappedFiles() {
  for (const auto& entry : mappedFiles) CloseMappedFile(entry.second);
  mappedFiles.clear();
  mappedNames.clear();
}

}  // namespace kiln
