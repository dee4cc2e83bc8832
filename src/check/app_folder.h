// An app folder as the checker reads it: the one seam between the checks and
// the file system. Paths are relative to the folder, UTF-8, with "/" between
// names ("" is the folder itself), and names are found as Windows finds
// them, letter case aside. Each platform has its own implementation
// (app_folder_posix.cc, app_folder_win.cc); tests have an in-memory one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "webview/content_answer.h"

namespace kiln {

// What a folder entry is in itself: a link (a symbolic link or a junction)
// is not followed.
enum class EntryKind { File, Folder, Link, Other };

struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::File;
};

class AppFolder {
 public:
  virtual ~AppFolder() = default;
  // What the path leads to, links followed.
  virtual FileFacts Examine(const std::string& path) = 0;
  // The entries of a folder, sorted by name; nothing when it cannot be listed.
  virtual std::optional<std::vector<FolderEntry>> List(const std::string& path) = 0;
  // A file's bytes; nothing when it cannot be read or holds more than
  // maxBytes.
  virtual std::optional<std::string> Read(const std::string& path, uint64_t maxBytes) = 0;
  // A text two paths share exactly when they lead to the same file or
  // folder, links followed; empty when the system cannot tell.
  virtual std::string Identity(const std::string& path) = 0;
};

// The folder at path (UTF-8, relative to the current folder or absolute);
// null when it is not a folder that can be listed.
std::unique_ptr<AppFolder> OpenAppFolder(const std::string& path);

}  // namespace kiln
