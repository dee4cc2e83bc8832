// How MSVC throws a C++ exception on Windows: as the structured exception
// 0xE06D7363 ("\xE0msc"), whose first parameter is a magic number (one per
// version of its runtime), the second the thrown object and the third the
// description of its type; on x64 a fourth, the throwing module's base, which
// the description's offsets are taken from.
#pragma once

#include <windows.h>

namespace kiln {

constexpr DWORD kMsvcExceptionCode = 0xE06D7363;

// A throw of MSVC's whose parameters are there to read. A rethrow ("throw;")
// is one too, with a null object and a null description.
inline bool IsMsvcThrow(const EXCEPTION_RECORD& record) {
  constexpr DWORD kParameters = sizeof(void*) == 8 ? 4 : 3;
  constexpr ULONG_PTR kMagicFirst = 0x19930520, kMagicLast = 0x19930522;
  return record.ExceptionCode == kMsvcExceptionCode && record.NumberParameters >= kParameters &&
         record.ExceptionInformation[0] >= kMagicFirst && record.ExceptionInformation[0] <= kMagicLast;
}

}  // namespace kiln
