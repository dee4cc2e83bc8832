#include "save_folder_win.h"

#include <windows.h>

#include <algorithm>

#include "common/paths.h"

namespace kiln::saves {
namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                  static_cast<int>(wide.size())));
  return wide;
}

std::string Narrow(const wchar_t* wide) {
  std::string text(wcslen(wide) * 3, '\0');
  text.resize(WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(wcslen(wide)), text.data(),
                                  static_cast<int>(text.size()), nullptr, nullptr));
  return text;
}

// What went wrong, with the cause a player can act on where there is one.
std::string Failure(const char* what, DWORD error = GetLastError()) {
  const char* cause = "";
  switch (error) {
    case ERROR_ACCESS_DENIED: cause = ": access is denied"; break;
    case ERROR_SHARING_VIOLATION: cause = ": another program is using the file"; break;
    case ERROR_LOCK_VIOLATION: cause = ": another program has locked the file"; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: cause = ": the disk is full"; break;
    default: break;
  }
  return std::string(what) + cause + " (Windows error " + std::to_string(error) + ")";
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The folder and any of its parents that are missing: the runtime makes the
// user data folder only once it has something to keep there.
bool MakeFolder(const std::wstring& folder) {
  if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
  const size_t parent = folder.find_last_of(L'\\');
  return GetLastError() == ERROR_PATH_NOT_FOUND && parent != std::wstring::npos && parent > 0 &&
         MakeFolder(folder.substr(0, parent)) && CreateDirectoryW(folder.c_str(), nullptr);
}

constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

// Errors of a file that another program holds open for a moment.
bool Held(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// MoveFileExW, tried again while another program holds from or to: Windows
// refuses to replace a file that anyone has open, and scanners, indexers
// and sync tools open freshly written files all the time. (A rename with
// POSIX semantics would replace a held file at once, but only on NTFS and
// not under Wine, where the tests run; both would need this path anyway.)
bool Replace(const std::wstring& from, const std::wstring& to) {
  const ULONGLONG start = GetTickCount64();
  for (unsigned tries = 0;; ++tries) {
    if (MoveFileExW(from.c_str(), to.c_str(), kReplace)) return true;
    const DWORD error = GetLastError();
    const unsigned pause =
        Held(error) ? ReplaceRetryPauseMs(tries, static_cast<unsigned>(GetTickCount64() - start)) : 0;
    if (pause == 0) {
      SetLastError(error);
      return false;
    }
    Sleep(pause);
  }
}

// A read-only file can be renamed but not replaced: a save that a player or
// a sync tool made read-only would, once it is the backup, fail every later
// write. The attribute goes before the file is replaced.
bool MakeReplaceable(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return true;
  return SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
}

// The bytes at path, flushed to the disk before the handle closes.
bool WriteAll(const std::wstring& path, const std::string& bytes, std::string& error) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = Failure("cannot create the save's temporary file");
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
    done += written;
  }
  ok = ok && FlushFileBuffers(file);
  if (!ok) error = Failure("cannot write the save to the disk");
  CloseHandle(file);
  if (!ok) DeleteFileW(path.c_str());
  return ok;
}

enum class ReadResult { Read, Missing, Failed };

ReadResult ReadAll(const std::wstring& path, std::string& bytes, std::string& error) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (Missing(GetLastError())) return ReadResult::Missing;
    error = Failure("cannot open the save");
    return ReadResult::Failed;
  }
  LARGE_INTEGER size = {};
  bool ok = GetFileSizeEx(file, &size);
  if (!ok) error = Failure("cannot read the save");
  if (ok) {
    error = FileSizeError(static_cast<unsigned long long>(size.QuadPart));
    ok = error.empty();
  }
  if (ok) {
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size();
    if (!ok) error = Failure("cannot read the save");
  }
  CloseHandle(file);
  if (ok) error = TextError(bytes);
  return ok && error.empty() ? ReadResult::Read : ReadResult::Failed;
}

}  // namespace

SaveFolder::SaveFolder(const std::string& folder) : folder_(ToExtendedPath(Wide(folder)) + L"\\") {}

std::wstring SaveFolder::Path(const std::string& file) const { return folder_ + Wide(file); }

bool SaveFolder::ListFiles(std::vector<std::string>& files, std::string& error) const {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW((folder_ + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    if (Missing(GetLastError())) return true;  // nothing written yet
    error = Failure("cannot list the saves");
    return false;
  }
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(Narrow(found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

void SaveFolder::Write(const std::string& name, const std::string& text, Answer& answer) {
  const std::wstring path = Path(name), backup = Path(BackupName(name)), temporary = Path(TemporaryName(name));
  if (!MakeFolder(folder_.substr(0, folder_.size() - 1))) {
    answer.error = Failure("cannot create the saves folder");
    return;
  }
  const bool exists = Exists(path);
  if (!exists && !Exists(backup)) {
    std::vector<std::string> files;
    if (!ListFiles(files, answer.error)) return;
    answer.error = CountError(SaveNames(files), name);
    if (!answer.error.empty()) return;
  }
  for (const std::wstring& file : {temporary, backup, path}) {
    if (!MakeReplaceable(file)) {
      answer.error = Failure("the save's file is read-only and cannot be made writable");
      return;
    }
  }
  if (!WriteAll(temporary, text, answer.error)) return;
  // The save's file is always a complete version: the old one becomes the
  // backup and the new one, already on the disk, takes its name. Between the
  // two moves only the backup exists, and reading falls back to it.
  if (exists && !Replace(path, backup)) {
    answer.error = Failure("cannot keep the previous version of the save");
  } else if (!Replace(temporary, path)) {
    answer.error = Failure("cannot put the new version of the save in place");
  }
  if (!answer.error.empty()) DeleteFileW(temporary.c_str());
}

void SaveFolder::Read(const std::string& name, Answer& answer) {
  std::string bytes, error;
  ReadResult result = ReadAll(Path(name), bytes, error);
  // Only a missing save (a write caught between its two moves) is answered
  // with the backup. A save that is there but cannot be read is newer than
  // the backup: answered as the save, the backup would be written over it.
  if (result == ReadResult::Missing) result = ReadAll(Path(BackupName(name)), bytes, error);
  if (result == ReadResult::Read) answer.text = std::move(bytes);
  if (result == ReadResult::Failed) answer.error = error;
}

void SaveFolder::List(Answer& answer) {
  std::vector<std::string> files;
  if (ListFiles(files, answer.error)) answer.names = SaveNames(files);
}

void SaveFolder::Remove(const std::string& name, Answer& answer) {
  // The backup goes first: were the save's file to go first, a crash in
  // between would bring the previous version back.
  DeleteFileW(Path(TemporaryName(name)).c_str());
  for (const std::string& file : {BackupName(name), name}) {
    MakeReplaceable(Path(file));
    if (DeleteFileW(Path(file).c_str())) {
      answer.removed = true;
    } else if (!Missing(GetLastError())) {
      answer.error = Failure("cannot remove the save");
      return;
    }
  }
}

}  // namespace kiln::saves
