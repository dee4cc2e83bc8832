// www as the content server's answers see it, on Windows: names opened
// through extended-length paths, so that Windows resolves nothing the core
// has not already checked, and only what really lies inside www.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "webview/content_answer.h"

namespace kiln {

// The extended-length path of a file relative to www (UTF-8, "/" separators).
std::wstring ContentFileWidePath(const std::string& contentFolder, const std::string& relative);

// The path a handle really names, links and junctions resolved and letter
// case as stored; empty when Windows cannot tell.
std::wstring FinalPathOf(HANDLE handle);

// FinalPathOf the folder.
std::wstring FinalFolderPath(const std::string& folder);

// Files served in ranges, kept open between requests: a video or sound read
// in seeks would otherwise pay an open, a final-path look-up and a close for
// every range, several times the reading itself under Wine. Each handle is
// kept with what the name showed before it was opened (size, times,
// attributes) and with what was verified through it (inside www, its size);
// a later request reuses it only while the name still shows exactly that, so
// a file saved anew under the name is opened afresh. Handles share reading,
// writing and deleting like every content handle; since an editor that
// saves by renaming over a file cannot while it is open, only a few names
// are held, and none longer than kHeldContentFileMs unused. UI thread only.
class HeldContentFiles final {
 public:
  static constexpr unsigned long kHeldContentFileMs = 2000;
  static constexpr size_t kHeldNames = 4;

  HeldContentFiles() = default;
  ~HeldContentFiles() { ReleaseAll(); }
  HeldContentFiles(const HeldContentFiles&) = delete;
  HeldContentFiles& operator=(const HeldContentFiles&) = delete;

  // The handle held for path and its facts when the name still shows the
  // file it was opened from; the handle stays held.
  bool Find(const std::wstring& path, HANDLE* file, FileFacts* facts);
  // Takes over file (opened from path, inside www, facts read through it)
  // when seen, the name's attributes taken before the open, agree with it
  // and show no link; false leaves file to the caller.
  bool Hold(const std::wstring& path, HANDLE file, const FileFacts& facts,
            const WIN32_FILE_ATTRIBUTE_DATA& seen);
  // Closes the handles unused for kHeldContentFileMs; true while some stay.
  bool ReleaseUnused();
  void ReleaseAll();

 private:
  struct Held {
    std::wstring path;
    HANDLE file;
    FileFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA seen;
    unsigned long lastUse;
  };
  std::vector<Held> held_;
};

// Whatever a name opens must lie inside www: a link or junction inside www
// may lead to files inside it, never out. Where Windows cannot tell where
// www or the file really is (some RAM disks and virtual drives), nothing is
// found. The file found last stays open for its body, so the bytes sent are
// those of the file measured; nothing else stays open, and every handle
// shares reading, writing and deleting, so that an author's editor can save
// over a file while the game runs and the next request gets it as it is.
class ContentFolderFiles final : public ContentFiles {
 public:
  // folderFinalPath: FinalFolderPath of folder. With held, files are looked
  // up there first and kept there (requests for ranges).
  ContentFolderFiles(std::string folder, std::wstring folderFinalPath,
                     HeldContentFiles* held = nullptr);
  ~ContentFolderFiles() override;
  ContentFolderFiles(const ContentFolderFiles&) = delete;
  ContentFolderFiles& operator=(const ContentFolderFiles&) = delete;

  FileFacts Examine(const std::string& relativePath) override;

  // The file found last, open for reading, for the caller to take over;
  // INVALID_HANDLE_VALUE when it could not be opened for reading.
  HANDLE TakeFile();
  // The same, lent while this object lives and nothing else is examined.
  HANDLE File() const { return file_; }

 private:
  void CloseFile();

  std::string folder_;
  std::wstring folderFinalPath_;
  HeldContentFiles* held_ = nullptr;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  // file_ belongs to held_.
  bool lent_ = false;
};

}  // namespace kiln
