// Stands in for Microsoft's WebView2 bootstrapper in the installer tests: it
// "installs" the runtime found in KILN_TEST_RUNTIME_FOLDER by registering it
// for the current user, as a per-user install does, and records where it ran.
// Without that variable it installs nothing. KILN_TEST_BOOTSTRAPPER_EXIT
// sets its exit code, as a cancelled or failed setup reports one.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain() {
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  wchar_t record[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"KILN_TEST_BOOTSTRAPPER_RECORD", record, MAX_PATH)) {
    if (FILE* out = _wfopen(record, L"w")) {
      fwprintf(out, L"%ls\n", current);
      fclose(out);
    }
  }
  wchar_t exitCode[16] = {};
  const int code = GetEnvironmentVariableW(L"KILN_TEST_BOOTSTRAPPER_EXIT", exitCode, 16)
                       ? _wtoi(exitCode)
                       : 0;
  wchar_t runtime[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"KILN_TEST_RUNTIME_FOLDER", runtime, MAX_PATH)) return code;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Microsoft\\EdgeUpdate\\ClientState\\"
                      L"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",
                      0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return 1;
  }
  const DWORD bytes = static_cast<DWORD>((wcslen(runtime) + 1) * sizeof(wchar_t));
  RegSetValueExW(key, L"EBWebView", 0, REG_SZ, reinterpret_cast<const BYTE*>(runtime), bytes);
  RegCloseKey(key);
  return code;
}
