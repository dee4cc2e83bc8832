// The check every request path passes before the file system sees it.
#pragma once

#include <string_view>

namespace kiln {

// True when a decoded request path (UTF-8, "/" separators, relative to www,
// no trailing "/"; empty for www itself) can only name something inside www
// and could be a Windows file name at all. Refused:
// - bytes that are not valid UTF-8 (no Windows name can be made from them);
// - control characters (NUL included);
// - "\" and ":" (a second separator, drive letters, alternate data streams)
//   and the other characters Windows forbids in names: * ? " < > |;
// - a leading "/" or two "/" in a row (empty segments);
// - segments that end in "." or " ", which covers "." and "..": Windows would
//   drop such trailing characters from a path that is not in extended form;
// - reserved device names (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9,
//   LPT0-9 and COM/LPT with a superscript 1-3), in any letter case, alone or
//   with an extension ("nul.txt");
// - names longer than 255 UTF-16 units (the longest name Windows file systems
//   accept) or paths longer than 32767 (the longest path Windows accepts).
// The extended-length path on the Windows side stays as a second defence.
bool IsSafeContentPath(std::string_view path);

// Why IsSafeContentPath refuses a path: the first rule it breaks.
enum class PathFault {
  None,
  NotUtf8,
  ControlCharacter,
  ForbiddenCharacter,  // \ : * ? " < > |
  EmptyName,           // a leading "/" or two in a row
  TrailingDotOrSpace,
  DeviceName,
  NameTooLong,
  PathTooLong,
};

PathFault ContentPathFault(std::string_view path);

}  // namespace kiln
