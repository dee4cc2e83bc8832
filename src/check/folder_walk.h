// A walk through what lies under one folder of an app folder, depth first in
// name order. Each real folder is entered once, however many links lead to
// it, and the walk keeps within bounds of depth and entries: looping links,
// a folder mounted inside itself or millions of files end it, not the
// patience of whoever runs the checker.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "check/app_folder.h"

namespace kiln {

struct WalkBounds {
  size_t maxDepth = 64;         // levels of folders below the root
  size_t maxEntries = 200000;   // entries visited in all
};

class FolderWalker {
 public:
  virtual ~FolderWalker() = default;
  // All entries of a folder, before any of them is visited.
  virtual void Listed(const std::string& /*folder*/, const std::vector<FolderEntry>& /*entries*/) {}
  // One entry, path being its path in the app folder. True to enter it,
  // when it is a folder; links are never entered.
  virtual bool Visit(const std::string& path, const FolderEntry& entry) = 0;
  // A folder that could not be listed.
  virtual void Unlisted(const std::string& /*folder*/) {}
  // A folder left unentered at the depth bound.
  virtual void TooDeep(const std::string& /*folder*/) {}
  // The walk ends at the entry bound; called once.
  virtual void TooMany() {}
};

void WalkFolder(AppFolder& folder, const std::string& root, const WalkBounds& bounds,
                FolderWalker& walker);

}  // namespace kiln
