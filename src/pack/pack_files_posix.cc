#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "check/posix_file.h"
#include "pack/pack_files.h"

namespace kiln {
namespace {

namespace fs = std::filesystem;

// The path with links resolved as far as it exists.
std::string Resolved(const std::string& path) {
  std::error_code error;
  return fs::weakly_canonical(fs::absolute(path, error), error).string();
}

class PosixPackFiles final : public PackFiles {
 public:
  std::optional<std::string> Read(const std::string& path, uint64_t maxBytes) override {
    return ReadPosixFile(path, maxBytes);
  }

  bool MakeFolders(const std::string& path) override {
    std::error_code error;
    fs::create_directories(path, error);
    return !error && fs::is_directory(path, error);
  }

  bool Write(const std::string& path, std::string_view bytes) override {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) return false;
    bool whole = true;
    while (!bytes.empty()) {
      const ssize_t written = write(file, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        whole = false;
        break;
      }
      bytes.remove_prefix(static_cast<size_t>(written));
    }
    return close(file) == 0 && whole;
  }

  bool Exists(const std::string& path) override {
    struct stat facts;
    return lstat(path.c_str(), &facts) == 0;
  }

  bool Rename(const std::string& from, const std::string& to) override {
    return !Exists(to) && rename(from.c_str(), to.c_str()) == 0;
  }

  void RemoveTree(const std::string& path) override {
    std::error_code error;
    fs::remove_all(path, error);
  }

  bool IsWithin(const std::string& path, const std::string& folder) override {
    const std::string inner = Resolved(path), outer = Resolved(folder);
    return inner == outer || inner.rfind(outer + "/", 0) == 0;
  }

  int64_t ModifiedTime(const std::string& path) override {
    struct stat facts;
    return stat(path.c_str(), &facts) == 0 ? static_cast<int64_t>(facts.st_mtime) : 0;
  }
};

}  // namespace

std::unique_ptr<PackFiles> OpenPackFiles() { return std::make_unique<PosixPackFiles>(); }

std::string ProgramFolder() {
  std::error_code error;
  return fs::read_symlink("/proc/self/exe", error).parent_path().string();
}

std::string UniqueSuffix() { return std::to_string(getpid()); }

}  // namespace kiln
