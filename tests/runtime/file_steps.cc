#include "file_steps.h"

#include <windows.h>

#include <string>
#include <vector>

#include "transcript.h"

namespace standin {
namespace {

std::vector<HANDLE> g_open;

DWORD AccessNamed(const std::string& access) {
  if (access == "write") return GENERIC_WRITE;
  if (access == "delete") return DELETE;
  return GENERIC_READ;
}

// "exclusive" reads and lets nobody else in; every other access shares all.
DWORD SharingFor(const std::string& access) {
  return access == "exclusive" ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
}

}  // namespace

void OpenFileStep(const nlohmann::json& step) {
  const std::string path = step.value("path", "");
  const std::string access = step.value("access", "read");
  HANDLE file = CreateFileW(Wide(path).c_str(), AccessNamed(access), SharingFor(access), nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (file != INVALID_HANDLE_VALUE) g_open.push_back(file);
  Record({{"event", "open-file"},
          {"path", path},
          {"access", access},
          {"opened", file != INVALID_HANDLE_VALUE},
          {"error", error}});
}

void CloseFiles() {
  for (HANDLE file : g_open) CloseHandle(file);
  g_open.clear();
}

}  // namespace standin
