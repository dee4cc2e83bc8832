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

ContentFolderFiles::ContentFolderFiles(std::string folder, std::wstring folderFinalPath)
    : folder_(std::move(folder)), folderFinalPath_(std::move(folderFinalPath)) {}

ContentFolderFiles::~ContentFolderFiles() { CloseFile(); }

FileFacts ContentFolderFiles::Examine(const std::string& relativePath) {
  CloseFile();
  // Without www's own final path nothing could be checked: fail closed.
  if (folderFinalPath_.empty()) return FileFacts{};
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
  }
  return facts;
}

HANDLE ContentFolderFiles::TakeFile() { return std::exchange(file_, INVALID_HANDLE_VALUE); }

void ContentFolderFiles::CloseFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(std::exchange(file_, INVALID_HANDLE_VALUE));
}

}  // namespace kiln
