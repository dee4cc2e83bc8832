// One argument of a Windows command line, quoted so that the program started
// with it, or the Unix program Wine starts with it, gets it back whole.
#pragma once

#include <string>

namespace kiln::testing {

inline std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  for (wchar_t c : argument) {
    if (c == L'"') quoted += L'\\';
    quoted += c;
  }
  return quoted + L"\"";
}

}  // namespace kiln::testing
