#include "check/console.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "common/text_win.h"

namespace kiln {

// The C runtime's argv is in the ANSI code page, which cannot hold every
// folder name; the wide command line can.
std::vector<std::string> CommandLineArguments(int, char**) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(WideToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

void WriteOutput(std::string_view text) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode)) {
    // A console shows UTF-16 whatever its code page. Older consoles refuse
    // writes of more than about 64 KB at once.
    constexpr size_t kMaxChunk = 8192;
    const std::wstring wide = Utf8ToWide(std::string(text));
    for (size_t at = 0; at < wide.size();) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min(wide.size() - at, kMaxChunk));
      if (!WriteConsoleW(output, wide.data() + at, chunk, &written, nullptr) || written == 0) {
        return;
      }
      at += written;
    }
    return;
  }
  while (!text.empty()) {
    DWORD written = 0;
    if (!WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written == 0) {
      return;
    }
    text.remove_prefix(written);
  }
}

}  // namespace kiln
