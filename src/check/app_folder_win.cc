#include "check/app_folder.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/files_win.h"
#include "common/paths.h"
#include "common/text_win.h"

namespace kiln {
namespace {

// Symbolic links and junctions lead elsewhere; other reparse points (cloud
// placeholders, deduplicated files) stand for the file or folder itself.
bool IsLink(const WIN32_FIND_DATAW& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (entry.dwReserved0 == IO_REPARSE_TAG_SYMLINK ||
          entry.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT);
}

class WindowsAppFolder final : public AppFolder {
 public:
  // root: a full path ending in "\".
  explicit WindowsAppFolder(std::string root) : root_(std::move(root)) {}

  FileFacts Examine(const std::string& path) override {
    const HANDLE handle = Open(path);
    if (handle == INVALID_HANDLE_VALUE) return {};
    FILE_STANDARD_INFO standard = {};
    FileFacts facts;
    if (GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard))) {
      facts = {true, standard.Directory != FALSE,
               static_cast<uint64_t>(standard.EndOfFile.QuadPart)};
    }
    CloseHandle(handle);
    return facts;
  }

  std::string Identity(const std::string& path) override {
    const HANDLE handle = Open(path);
    if (handle == INVALID_HANDLE_VALUE) return {};
    BY_HANDLE_FILE_INFORMATION information = {};
    std::string identity;
    if (GetFileInformationByHandle(handle, &information)) {
      identity = std::to_string(information.dwVolumeSerialNumber) + ":" +
                 std::to_string(information.nFileIndexHigh) + ":" +
                 std::to_string(information.nFileIndexLow);
    }
    CloseHandle(handle);
    return identity;
  }

  std::optional<std::vector<FolderEntry>> List(const std::string& path) override {
    const std::wstring folder = WidePath(path);
    if (folder.empty()) return std::nullopt;
    const std::wstring pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
    WIN32_FIND_DATAW entry = {};
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<FolderEntry> entries;
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      EntryKind kind = EntryKind::File;
      if (IsLink(entry)) {
        kind = EntryKind::Link;
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        kind = EntryKind::Folder;
      }
      entries.push_back({WideToUtf8(name), kind});
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
  }

  std::optional<std::string> Read(const std::string& path, uint64_t maxBytes) override {
    // Measured through a handle first, so that a huge file is never read.
    const FileFacts facts = Examine(path);
    if (!facts.exists || facts.isFolder || facts.size > maxBytes) return std::nullopt;
    std::string bytes = ReadFileToString(root_ + path);
    if (bytes.empty() && facts.size > 0) return std::nullopt;
    return bytes;
  }

 private:
  // Opened for its attributes only, links followed, whoever else has it open.
  HANDLE Open(const std::string& path) const {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return INVALID_HANDLE_VALUE;
    return CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }

  // Empty when the path cannot be converted; ToExtendedPath turns "/" into "\".
  std::wstring WidePath(const std::string& path) const {
    const std::wstring wide = Utf8ToWide(root_ + path);
    return wide.empty() ? wide : ToExtendedPath(wide);
  }

  std::string root_;
};

}  // namespace

std::unique_ptr<AppFolder> OpenAppFolder(const std::string& path) {
  // The extended form takes full paths only: "." and ".." in what the user
  // typed are resolved here, once.
  const std::wstring given = Utf8ToWide(path);
  if (given.empty()) return nullptr;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return nullptr;
    const bool fits = length < full.size();
    full.resize(fits ? length : length + 1);
    if (fits) break;
  }
  if (full.back() != L'\\') full += L'\\';
  auto folder = std::make_unique<WindowsAppFolder>(WideToUtf8(full));
  if (!folder->List("")) return nullptr;
  return folder;
}

}  // namespace kiln
