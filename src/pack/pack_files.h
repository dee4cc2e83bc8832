// The file system as kiln-pack writes it, one implementation per platform
// (pack_files_posix.cc, pack_files_win.cc). Paths are UTF-8, relative to
// the current folder or absolute, with "/" or the platform's separator.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kiln {

class PackFiles {
 public:
  virtual ~PackFiles() = default;
  // A file's bytes; nothing when it cannot be read or holds more than maxBytes.
  virtual std::optional<std::string> Read(const std::string& path, uint64_t maxBytes) = 0;
  // Makes the folder and those above it that are missing.
  virtual bool MakeFolders(const std::string& path) = 0;
  // Writes the file anew.
  virtual bool Write(const std::string& path, std::string_view bytes) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Renames a file or folder; fails when to exists.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual void RemoveTree(const std::string& path) = 0;
  // True when path is folder or lies under it, links followed, as the
  // platform compares names; path need not exist yet.
  virtual bool IsWithin(const std::string& path, const std::string& folder) = 0;
  // The last time the file was written, in seconds since 1970 (UTC).
  virtual int64_t ModifiedTime(const std::string& path) = 0;
};

std::unique_ptr<PackFiles> OpenPackFiles();

// The folder of the running kiln-pack, with "/" between names.
std::string ProgramFolder();

// A text that no other run of kiln-pack uses at the same time.
std::string UniqueSuffix();

// Puts from (a file or a folder) at to, keeping what was at to until from is
// there: the old one is moved aside first, removed only once from has taken
// its place, and moved back when from cannot. On Windows a rename fails
// while another program (a virus scanner reading the fresh exe) holds a
// file, so the last rename may fail with the old output already moved.
// True when from is at to afterwards.
bool PutInPlace(PackFiles& files, const std::string& from, const std::string& to, const std::string& aside);

}  // namespace kiln
