#include "webview/content_folder_win.h"

#include <utility>

#include "common/paths.h"
#include "common/text_win.h"
#include "webview/request_path.h"

namespace kiln {
namespace {

// Shared with readers and writers, as a file another program keeps open for
// writing (a save file, say) must still be served; the bytes sent are then
// those of this handle, measured through it.
HANDLE OpenShared(const std::wstring& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool SameIgnoringCase(const wchar_t* a, const wchar_t* b, size_t count) {
  return CompareStringOrdinal(a, static_cast<int>(count), b, static_cast<int>(count), TRUE) ==
         CSTR_EQUAL;
}

bool IsWithin(const std::wstring& path, const std::wstring& folder) {
  return path.size() >= folder.size() && SameIgnoringCase(path.data(), folder.data(), folder.size()) &&
         (path.size() == folder.size() || path[folder.size()] == L'\\');
}

// True when finalPath is folder followed by the relative path itself: no
// link or junction on the way, so every change to what the name leads to is
// a change under www.
bool LeadsStraight(const std::wstring& finalPath, const std::wstring& folder,
                   const std::string& relativePath) {
  std::wstring expected = folder;
  if (!relativePath.empty()) {
    std::wstring relative = Utf8ToWide(relativePath);
    for (wchar_t& c : relative) c = c == L'/' ? L'\\' : c;
    expected += L'\\';
    expected += relative;
  }
  return finalPath.size() == expected.size() &&
         SameIgnoringCase(finalPath.data(), expected.data(), expected.size());
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

ContentFolderFiles::ContentFolderFiles(std::string folder, std::wstring folderFinalPath,
                                       const std::map<std::string, std::wstring>* mappedNames,
                                       const std::map<std::wstring, MappedFile>* mapped)
    : folder_(std::move(folder)),
      folderFinalPath_(std::move(folderFinalPath)),
      mappedNames_(mappedNames),
      mapped_(mapped) {}

ContentFolderFiles::~ContentFolderFiles() { CloseFile(); }

FileFacts ContentFolderFiles::Examine(const std::string& relativePath) {
  CloseFile();
  finalPath_.clear();
  mappedFile_ = nullptr;
  leadsStraight_ = false;
  if (mappedNames_ && mapped_ && !folderFinalPath_.empty()) {
    const auto name = mappedNames_->find(relativePath);
    const auto known = name == mappedNames_->end() ? mapped_->end() : mapped_->find(name->second);
    if (known != mapped_->end()) {
      mappedFile_ = &known->second;
      finalPath_ = known->first;
      leadsStraight_ = true;
      FileFacts facts;
      facts.exists = true;
      facts.size = mappedFile_->size;
      return facts;
    }
  }
  const std::wstring path = ContentFileWidePath(folder_, relativePath);
  HANDLE handle = OpenShared(path, GENERIC_READ);
  const bool readable = handle != INVALID_HANDLE_VALUE;
  // A file that another program holds without letting readers in is there
  // all the same: its answer is the server's failure, not a 404.
  if (!readable && GetLastError() == ERROR_SHARING_VIOLATION) {
    handle = OpenShared(path, FILE_READ_ATTRIBUTES);
  }
  if (handle == INVALID_HANDLE_VALUE) return FileFacts{};
  FILE_STANDARD_INFO standard = {};
  std::wstring finalPath = FinalPathOf(handle);
  if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard)) ||
      (!folderFinalPath_.empty() && !IsWithin(finalPath, folderFinalPath_))) {
    CloseHandle(handle);
    return FileFacts{};
  }
  const FileFacts facts = FactsOf(standard);
  leadsStraight_ = !finalPath.empty() && !folderFinalPath_.empty() &&
                   LeadsStraight(finalPath, folderFinalPath_, relativePath);
  // Where Windows cannot name the file, the name asked for stands in.
  finalPath_ = finalPath.empty() ? path : std::move(finalPath);
  if (facts.isFolder || !readable) {
    CloseHandle(handle);
  } else {
    file_ = handle;
  }
  return facts;
}

HANDLE ContentFolderFiles::TakeFile() {
  if (file_ == INVALID_HANDLE_VALUE && mappedFile_) {
    // A mapped file found without opening it: the mapping's own handle, as
    // another handle for the caller to close.
    HANDLE copy = INVALID_HANDLE_VALUE;
    if (DuplicateHandle(GetCurrentProcess(), mappedFile_->file, GetCurrentProcess(), &copy, 0,
                        FALSE, DUPLICATE_SAME_ACCESS)) {
      return copy;
    }
    return INVALID_HANDLE_VALUE;
  }
  return TakeOpenedFile();
}

HANDLE ContentFolderFiles::TakeOpenedFile() { return std::exchange(file_, INVALID_HANDLE_VALUE); }

void ContentFolderFiles::CloseFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
}

}  // namespace kiln
