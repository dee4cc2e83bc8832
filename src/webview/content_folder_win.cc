#include "webview/content_folder_win.h"

#include <utility>

#include "common/paths.h"
#include "common/text_win.h"
#include "webview/request_path.h"

namespace kiln {
namespace {

// Shared with readers, writers and deleters: a file another program keeps
// open for writing (a save file, say) must still be served, the bytes sent
// being those of this handle, measured through it; and while a body is read
// an editor may still write the file or delete it to save it anew.
HANDLE OpenShared(const std::wstring& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool SameIgnoringCase(const wchar_t* a, const wchar_t* b, size_t count) {
  return CompareStringOrdinal(a, static_cast<int>(count), b, static_cast<int>(count), TRUE) ==
         CSTR_EQUAL;
}

bool IsWithin(const std::wstring& path, const std::wstring& folder) {
  return path.size() >= folder.size() && SameIgnoringCase(path.data(), folder.data(), folder.size()) &&
         (path.size() == folder.size() || path[folder.size()] == L'\\');
}

FileFacts FactsOf(const FILE_STANDARD_INFO& standard) {
  FileFacts facts;
  facts.exists = true;
  facts.isFolder = standard.Directory != FALSE;
  // The size of the file opened, not of a link that led to it.
  facts.size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  return facts;
}

}  // namespace

std::wstring FinalPathOf(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(handle, path.data(),
                                                   static_cast<DWORD>(path.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    const bool fits = length < path.size();
    path.resize(length);
    if (fits) return path;
  }
}

std::wstring ContentFileWidePath(const std::string& contentFolder, const std::string& relative) {
  return ToExtendedPath(Utf8ToWide(ContentFilePath(contentFolder, relative)));
}

std::wstring FinalFolderPath(const std::string& folder) {
  HANDLE handle = OpenShared(ToExtendedPath(Utf8ToWide(folder)), FILE_READ_ATTRIBUTES);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::wstring path = FinalPathOf(handle);
  CloseHandle(handle);
  return path;
}

namespace {

bool SameName(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
  return a.dwFileAttributes == b.dwFileAttributes && a.nFileSizeLow == b.nFileSizeLow &&
         a.nFileSizeHigh == b.nFileSizeHigh &&
         CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0 &&
         CompareFileTime(&a.ftCreationTime, &b.ftCreationTime) == 0;
}

}  // namespace

bool HeldContentFiles::Find(const std::wstring& path, HANDLE* file, FileFacts* facts) {
  for (size_t i = 0; i < held_.size(); ++i) {
    if (held_[i].path != path) continue;
    WIN32_FILE_ATTRIBUTE_DATA now = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &now) ||
        !SameName(now, held_[i].seen)) {
      // Saved anew, replaced or gone: opened afresh.
      CloseHandle(held_[i].file);
      held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
      return false;
    }
    held_[i].lastUse = GetTickCount();
    *file = held_[i].file;
    *facts = held_[i].facts;
    return true;
  }
  return false;
}

bool HeldContentFiles::Hold(const std::wstring& path, HANDLE file, const FileFacts& facts,
                            const WIN32_FILE_ATTRIBUTE_DATA& seen) {
  const uint64_t seenSize = (static_cast<uint64_t>(seen.nFileSizeHigh) << 32) | seen.nFileSizeLow;
  // A link's own times say nothing of the file it leads to.
  if ((seen.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      seenSize != facts.size || facts.isFolder) {
    return false;
  }
  if (held_.size() >= kHeldNames) {
    size_t oldest = 0;
    for (size_t i = 1; i < held_.size(); ++i) {
      if (GetTickCount() - held_[i].lastUse > GetTickCount() - held_[oldest].lastUse) oldest = i;
    }
    CloseHandle(held_[oldest].file);
    held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(oldest));
  }
  held_.push_back(Held{path, file, facts, seen, GetTickCount()});
  return true;
}

bool HeldContentFiles::ReleaseUnused() {
  const DWORD now = GetTickCount();
  for (size_t i = held_.size(); i-- > 0;) {
    if (now - held_[i].lastUse >= kHeldContentFileMs) {
      CloseHandle(held_[i].file);
      held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  return !held_.empty();
}

void HeldContentFiles::ReleaseAll() {
  for (const Held& held : held_) CloseHandle(held.file);
  held_.clear();
}

ContentFolderFiles::ContentFolderFiles(std::string folder, std::wstring folderFinalPath,
                                       HeldContentFiles* held)
    : folder_(std::move(folder)), folderFinalPath_(std::move(folderFinalPath)), held_(held) {}

ContentFolderFiles::~ContentFolderFiles() { CloseFile(); }

FileFacts ContentFolderFiles::Examine(const std::string& relativePath) {
  CloseFile();
  // Without www's own final path nothing could be checked: fail closed.
  if (folderFinalPath_.empty()) return FileFacts{};
  const std::wstring path = ContentFileWidePath(folder_, relativePath);
  FileFacts heldFacts;
  if (held_ && held_->Find(path, &file_, &heldFacts)) {
    lent_ = true;
    return heldFacts;
  }
  // Taken before the open: a file replaced in between then differs from
  // what was seen, and is opened afresh next time.
  WIN32_FILE_ATTRIBUTE_DATA seen = {};
  const bool wasSeen = held_ && GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &seen);
  HANDLE handle = OpenShared(path, GENERIC_READ);
  const bool readable = handle != INVALID_HANDLE_VALUE;
  // A file that another program holds without letting readers in is there
  // all the same: its answer is the server's failure, not a 404.
  if (!readable && GetLastError() == ERROR_SHARING_VIOLATION) {
    handle = OpenShared(path, FILE_READ_ATTRIBUTES);
  }
  if (handle == INVALID_HANDLE_VALUE) return FileFacts{};
  FILE_STANDARD_INFO standard = {};
  // A file whose final path Windows cannot tell may lie anywhere: not found.
  if (!IsWithin(FinalPathOf(handle), folderFinalPath_) ||
      !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard))) {
    CloseHandle(handle);
    return FileFacts{};
  }
  const FileFacts facts = FactsOf(standard);
  if (facts.isFolder || !readable) {
    CloseHandle(handle);
  } else {
    file_ = handle;
    lent_ = wasSeen && held_->Hold(path, handle, facts, seen);
  }
  return facts;
}

HANDLE ContentFolderFiles::TakeFile() {
  if (!lent_) return std::exchange(file_, INVALID_HANDLE_VALUE);
  // The held handle stays held; the caller gets one of its own. Reads are
  // positioned, so the two sharing a file pointer matters not.
  HANDLE own = INVALID_HANDLE_VALUE;
  if (!DuplicateHandle(GetCurrentProcess(), file_, GetCurrentProcess(), &own, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    own = INVALID_HANDLE_VALUE;
  }
  file_ = INVALID_HANDLE_VALUE;
  lent_ = false;
  return own;
}

void ContentFolderFiles::CloseFile() {
  if (file_ != INVALID_HANDLE_VALUE && !lent_) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  lent_ = false;
}

}  // namespace kiln
