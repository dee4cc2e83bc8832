// www as the content server's answers see it, on Windows: names opened
// through extended-length paths, so that Windows resolves nothing the core
// has not already checked, and only what really lies inside www.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "webview/content_answer.h"
#include "webview/mapped_file_win.h"

namespace kiln {

// The extended-length path of a file relative to www (UTF-8, "/" separators).
std::wstring ContentFileWidePath(const std::string& contentFolder, const std::string& relative);

// The path a handle really names, links and junctions resolved and letter
// case as stored; empty when Windows cannot tell.
std::wstring FinalPathOf(HANDLE handle);

// FinalPathOf the folder.
std::wstring FinalFolderPath(const std::string& folder);

// Whatever a name opens must lie inside www: a link or junction inside www
// may lead to files inside it, never out. The file found last stays open
// for its body, so the bytes sent are those of the file measured.
class ContentFolderFiles final : public ContentFiles {
 public:
  // folderFinalPath: FinalFolderPath of folder; when empty nothing is
  // checked beyond the names. A name in mappedNames (when given) leads to the
  // mapped file in mapped under the final path it names: that file is not
  // opened again, as the mapping's handle keeps it from being changed,
  // renamed or deleted, and the name led to it through no link.
  ContentFolderFiles(std::string folder, std::wstring folderFinalPath,
                     const std::map<std::string, std::wstring>* mappedNames = nullptr,
                     const std::map<std::wstring, MappedFile>* mapped = nullptr);
  ~ContentFolderFiles() override;
  ContentFolderFiles(const ContentFolderFiles&) = delete;
  ContentFolderFiles& operator=(const ContentFolderFiles&) = delete;

  FileFacts Examine(const std::string& relativePath) override;

  // The file found last, open for reading, for the caller to take over;
  // INVALID_HANDLE_VALUE when it could not be opened for reading.
  HANDLE TakeFile();
  // The same, but only when it was opened for this request: not for a
  // mapped file found without opening it, whose view serves its ranges.
  HANDLE TakeOpenedFile();
  // FinalPathOf the file found last: one text per file, whatever name
  // reached it.
  const std::wstring& finalPath() const { return finalPath_; }
  // Whether the name examined last led to its file through no link or
  // junction: its final path is www's followed by the name itself.
  bool leadsStraight() const { return leadsStraight_; }

 private:
  void CloseFile();

  std::string folder_;
  std::wstring folderFinalPath_;
  const std::map<std::string, std::wstring>* mappedNames_;
  const std::map<std::wstring, MappedFile>* mapped_;
  const MappedFile* mappedFile_ = nullptr;
  bool leadsStraight_ = false;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  std::wstring finalPath_;
};

}  // namespace kiln
