// file_holder SHARING MS SIGNAL FILE...: stands for another program on a
// player's desktop (a virus scanner, an indexer, a sync tool) that opens
// Kiln's files for a moment. Under Wine only another Wine process is held
// to the sharing rules, so the tests start this beside kiln.exe.
//
// Waits (up to 30 s) until every FILE exists, opens each for reading with
// SHARING, creates the file SIGNAL so the page knows the files are held,
// keeps them open MS milliseconds, then closes them and exits 0. Exits 1
// when a file never appears or cannot be opened.
//   SHARING "all":     read, write and delete shared, as scanners open files
//           "no-read": write and delete shared, reads refused
#include <windows.h>

#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  DWORD sharing = 0;
  if (wcscmp(argv[1], L"all") == 0) {
    sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  } else if (wcscmp(argv[1], L"no-read") == 0) {
    sharing = FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  } else {
    return 2;
  }
  const DWORD ms = wcstoul(argv[2], nullptr, 10);
  std::vector<HANDLE> held;
  for (int i = 4; i < argc; ++i) {
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int wait = 0; wait < 3000 && file == INVALID_HANDLE_VALUE; ++wait) {
      file = CreateFileW(argv[i], GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) Sleep(10);
    }
    if (file == INVALID_HANDLE_VALUE) return 1;
    held.push_back(file);
  }
  HANDLE signal = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (signal == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(signal);
  Sleep(ms);
  for (HANDLE file : held) CloseHandle(file);
  return 0;
}
