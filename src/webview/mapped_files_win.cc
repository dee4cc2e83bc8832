// The content server's mapped files: mapped on the first range request that
// needs a view, kept for the rest of the run, released at teardown.
#include <utility>

#include "webview/kiln_web_view.h"

namespace kiln {
namespace {

void CloseMappedFile(const MappedFile& mapped) {
  if (mapped.view) UnmapViewOfFile(mapped.view);
  if (mapped.mapping) CloseHandle(mapped.mapping);
  if (mapped.file != INVALID_HANDLE_VALUE) CloseHandle(mapped.file);
}

}  // namespace

const MappedFile* KilnWebView::MapContentFile(const std::string& key,
                                              const std::wstring& fullPath) {
  const auto known = mappedFiles.find(key);
  if (known != mappedFiles.end()) return &known->second;

  MappedFile mapped;
  mapped.file = CreateFileW(fullPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (mapped.file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size = {};
  // An empty file has nothing to map (and no range to serve).
  if (GetFileSizeEx(mapped.file, &size) && size.QuadPart > 0) {
    mapped.mapping = CreateFileMappingW(mapped.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  }
  // A whole view of a large file does not fit in a 32-bit process: the
  // caller then reads the range from the file instead.
  if (mapped.mapping) mapped.view = MapViewOfFile(mapped.mapping, FILE_MAP_READ, 0, 0, 0);
  if (!mapped.view) {
    CloseMappedFile(mapped);
    return nullptr;
  }
  mapped.size = static_cast<uint64_t>(size.QuadPart);
  try {
    return &mappedFiles.emplace(key, mapped).first->second;
  } catch (...) {
    CloseMappedFile(mapped);
    throw;
  }
}

void KilnWebView::ReleaseMappedFiles() {
  for (const auto& entry : mappedFiles) CloseMappedFile(entry.second);
  mappedFiles.clear();
}

}  // namespace kiln
