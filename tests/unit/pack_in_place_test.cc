// kiln-pack's last step through a file seam whose renames can fail, as they
// do on Windows while another program holds a file: the previous output is
// never lost.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "pack/pack_files.h"

namespace kiln {
namespace {

// Names and what each holds; renames named in failing fail.
class FakeFiles final : public PackFiles {
 public:
  std::optional<std::string> Read(const std::string& path, uint64_t) override {
    const auto found = files.find(path);
    return found == files.end() ? std::nullopt : std::optional<std::string>(found->second);
  }
  bool MakeFolders(const std::string&) override { return true; }
  bool Write(const std::string& path, std::string_view bytes) override {
    files[path] = std::string(bytes);
    return true;
  }
  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  bool Rename(const std::string& from, const std::string& to) override {
    if (failing.count(from + ">" + to) || !files.count(from) || files.count(to)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  void RemoveTree(const std::string& path) override { files.erase(path); }
  bool IsWithin(const std::string&, const std::string&) override { return false; }
  int64_t ModifiedTime(const std::string&) override { return 0; }

  std::map<std::string, std::string> files;
  std::set<std::string> failing;
};

TEST(PackInPlaceTest, ThePreviousOutputStaysUntilTheNewOneIsInItsPlace) {
  const struct {
    const char* name;
    bool previous;
    std::set<std::string> failing;
    bool placed;
    std::map<std::string, std::string> after;
  } rows[] = {
      {"first", false, {}, true, {{"out", "new"}}},
      {"replacing", true, {}, true, {{"out", "new"}}},
      {"final rename fails", true, {"new>out"}, false, {{"new", "new"}, {"out", "old"}}},
      {"old cannot move aside", true, {"out>old"}, false, {{"new", "new"}, {"out", "old"}}},
      {"old cannot move back", true, {"new>out", "old>out"}, false, {{"new", "new"}, {"old", "old"}}},
      {"nothing to replace, rename fails", false, {"new>out"}, false, {{"new", "new"}}},
  };
  for (const auto& row : rows) {
    FakeFiles files;
    files.files["new"] = "new";
    if (row.previous) files.files["out"] = "old";
    files.failing = row.failing;
    EXPECT_EQ(PutInPlace(files, "new", "out", "old"), row.placed) << row.name;
    EXPECT_EQ(files.files, row.after) << row.name;
  }
}

}  // namespace
}  // namespace kiln
