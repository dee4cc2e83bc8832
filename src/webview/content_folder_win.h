// www as the content server's answers see it, on Windows: names opened
// through extended-length paths, so that Windows resolves nothing the core
// has not already checked, and only what really lies inside www.
#pragma once

#include <windows.h>

#include <string>

#include "webview/content_answer.h"

namespace kiln {

// The extended-length path of a file relative to www (UTF-8, "/" separators).
std::wstring ContentFileWidePath(const std::string& contentFolder, const std::string& relative);

// The path a handle really names, links and junctions resolved and letter
// case as stored; empty when Windows cannot tell.
std::wstring FinalPathOf(HANDLE handle);

// FinalPathOf the folder.
std::wstring FinalFolderPath(const std::string& folder);

// Whatever a name opens must lie inside www: a link or junction inside www
// may lead to files inside it, never out. Where Windows cannot tell where
// www or the file really is (some RAM disks and virtual drives), nothing is
// found. The file found last stays open for its body, so the bytes sent are
// those of the file measured; nothing else stays open, and every handle
// shares reading, writing and deleting, so that an author's editor can save
// over a file while the game runs and the next request gets it as it is.
class ContentFolderFiles final : public ContentFiles {
 public:
  // folderFinalPath: FinalFolderPath of folder.
  ContentFolderFiles(std::string folder, std::wstring folderFinalPath);
  ~ContentFolderFiles() override;
  ContentFolderFiles(const ContentFolderFiles&) = delete;
  ContentFolderFiles& operator=(const ContentFolderFiles&) = delete;

  FileFacts Examine(const std::string& relativePath) override;

  // The file found last, open for reading, for the caller to take over;
  // INVALID_HANDLE_VALUE when it could not be opened for reading.
  HANDLE TakeFile();

 private:
  void CloseFile();

  std::string folder_;
  std::wstring folderFinalPath_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace kiln
