#include "transcript.h"

#include <cstdio>
#include <cstdlib>

namespace standin {
namespace {

FILE* g_transcript = nullptr;

// Milliseconds since this process was created.
long long ProcessMilliseconds() {
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimeAsFileTime(&now);
  const auto ticks = [](const FILETIME& time) {
    return (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return (ticks(now) - ticks(created)) / 10000;
}

}  // namespace

std::wstring PathFromEnvironment(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  if (!value || !*value) return std::wstring();
  std::wstring path = value;
  if (path[0] == L'/') path = L"Z:" + path;
  return path;
}

void OpenTranscript() {
  if (g_transcript) return;
  const std::wstring path = PathFromEnvironment(L"KILN_TEST_TRANSCRIPT");
  if (!path.empty()) g_transcript = _wfopen(path.c_str(), L"ab");
}

void Record(json line) {
  if (!g_transcript) return;
  line["t"] = ProcessMilliseconds();
  const std::string text = line.dump(-1, ' ', false, json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), g_transcript);
  std::fputc('\n', g_transcript);
  std::fflush(g_transcript);
}

void Say(const std::string& line) {
  static FILE* console = [] {
    const std::wstring path = PathFromEnvironment(L"KILN_TEST_CONSOLE");
    return path.empty() ? nullptr : _wfopen(path.c_str(), L"ab");
  }();
  if (!console) return;
  std::string text;
  for (char c : line) {
    if (c == '\n') text += "\\n";
    else if (c != '\r') text += c;
  }
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), console);
  std::fflush(console);
}

std::string Utf8(const wchar_t* text) {
  if (!text || !*text) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.resize(static_cast<size_t>(size) - 1);
  return result;
}

std::string Utf8(const std::wstring& text) { return Utf8(text.c_str()); }


std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  std::wstring result(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

}  // namespace standin
