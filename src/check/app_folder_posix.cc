#include "check/app_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "check/posix_file.h"
#include "common/ascii.h"

namespace kiln {
namespace {

class Directory {
 public:
  explicit Directory(const std::string& path) : handle_(opendir(path.c_str())) {}
  ~Directory() {
    if (handle_) closedir(handle_);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  // The next name, "." and ".." left out; nothing at the end.
  std::optional<std::string> Next() {
    while (const dirent* entry = readdir(handle_)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") return name;
    }
    return std::nullopt;
  }

 private:
  DIR* handle_;
};

class PosixAppFolder final : public AppFolder {
 public:
  explicit PosixAppFolder(std::string root) : root_(std::move(root)) {}

  FileFacts Examine(const std::string& path) override {
    struct stat facts;
    if (stat(Resolve(path).c_str(), &facts) != 0) return {};
    return {true, S_ISDIR(facts.st_mode), static_cast<uint64_t>(facts.st_size)};
  }

  std::optional<std::vector<FolderEntry>> List(const std::string& path) override {
    const std::string folder = Resolve(path);
    Directory directory(folder);
    if (!directory.IsOpen()) return std::nullopt;
    std::vector<FolderEntry> entries;
    while (const std::optional<std::string> name = directory.Next()) {
      struct stat facts;
      EntryKind kind = EntryKind::Other;
      if (lstat((folder + "/" + *name).c_str(), &facts) == 0) {
        if (S_ISLNK(facts.st_mode)) kind = EntryKind::Link;
        if (S_ISDIR(facts.st_mode)) kind = EntryKind::Folder;
        if (S_ISREG(facts.st_mode)) kind = EntryKind::File;
      }
      entries.push_back({*name, kind});
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
  }

  std::string Identity(const std::string& path) override {
    struct stat facts;
    if (stat(Resolve(path).c_str(), &facts) != 0) return {};
    return std::to_string(facts.st_dev) + ":" + std::to_string(facts.st_ino);
  }

  std::optional<std::string> Read(const std::string& path, uint64_t maxBytes) override {
    return ReadPosixFile(Resolve(path), maxBytes);
  }

 private:
  // Each name as it is spelled on disk: the name itself when it exists,
  // else the first entry that differs from it only in letter case, which is
  // what Windows would open.
  std::string Resolve(const std::string& relative) const {
    std::string path = root_;
    size_t start = 0;
    while (start < relative.size()) {
      const size_t slash = std::min(relative.find('/', start), relative.size());
      const std::string name = relative.substr(start, slash - start);
      struct stat facts;
      std::string next = path + "/" + name;
      if (lstat(next.c_str(), &facts) != 0 && errno == ENOENT) {
        Directory directory(path);
        while (directory.IsOpen()) {
          const std::optional<std::string> candidate = directory.Next();
          if (!candidate) break;
          if (EqualsIgnoringAsciiCase(*candidate, name)) {
            next = path + "/" + *candidate;
            break;
          }
        }
      }
      path = std::move(next);
      start = slash + 1;
    }
    return path;
  }

  std::string root_;
};

}  // namespace

std::optional<std::string> ReadPosixFile(const std::string& path, uint64_t maxBytes) {
  // Without O_NONBLOCK a FIFO would wait for a writer that never comes.
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (file < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat facts;
  if (fstat(file, &facts) == 0 && S_ISREG(facts.st_mode) &&
      static_cast<uint64_t>(facts.st_size) <= maxBytes) {
    bytes.emplace(static_cast<size_t>(facts.st_size), '\0');
    size_t total = 0;
    while (total < bytes->size()) {
      const ssize_t got = read(file, bytes->data() + total, bytes->size() - total);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      total += static_cast<size_t>(got);
    }
    bytes->resize(total);
  }
  close(file);
  return bytes;
}

std::unique_ptr<AppFolder> OpenAppFolder(const std::string& path) {
  if (!Directory(path).IsOpen()) return nullptr;
  return std::make_unique<PosixAppFolder>(path);
}

}  // namespace kiln
