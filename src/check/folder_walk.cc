#include "check/folder_walk.h"

#include <set>

namespace kiln {
namespace {

class Walk {
 public:
  Walk(AppFolder& folder, const WalkBounds& bounds, FolderWalker& walker)
      : folder_(folder), bounds_(bounds), walker_(walker) {}

  void Enter(const std::string& path, size_t depth) {
    const std::string identity = folder_.Identity(path);
    if (!identity.empty() && !entered_.insert(identity).second) return;
    const std::optional<std::vector<FolderEntry>> entries = folder_.List(path);
    if (!entries) {
      walker_.Unlisted(path);
      return;
    }
    walker_.Listed(path, *entries);
    for (const FolderEntry& entry : *entries) {
      if (++seen_ > bounds_.maxEntries) {
        walker_.TooMany();
        stopped_ = true;
      }
      if (stopped_) return;
      const std::string child = path.empty() ? entry.name : path + "/" + entry.name;
      if (!walker_.Visit(child, entry) || entry.kind != EntryKind::Folder) continue;
      if (depth + 1 >= bounds_.maxDepth) {
        walker_.TooDeep(child);
      } else {
        Enter(child, depth + 1);
      }
    }
  }

 private:
  AppFolder& folder_;
  const WalkBounds& bounds_;
  FolderWalker& walker_;
  std::set<std::string> entered_;
  size_t seen_ = 0;
  bool stopped_ = false;
};

}  // namespace

void WalkFolder(AppFolder& folder, const std::string& root, const WalkBounds& bounds,
                FolderWalker& walker) {
  Walk(folder, bounds, walker).Enter(root, 0);
}

}  // namespace kiln
