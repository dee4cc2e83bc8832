// From a request URI under the app's origin to the path of a file in www.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "webview/path_guard.h"

namespace kiln {

struct RequestTarget {
  // Decoded UTF-8 path relative to www with "/" separators and without a
  // trailing "/"; empty for www itself. Always passed IsSafeContentPath.
  std::string path;
  // The request ended in "/" (or named the origin itself): only a folder may
  // answer it.
  bool namesFolder = false;
};

// The target of a request URI, or nothing when the request must be answered
// 404 without asking the file system. The URI must begin with originPrefix
// (letter case aside); the path ends before the first "?" or "#", so
// "script.js?v=3" asks for "script.js". The path is percent-decoded in one
// pass, byte by byte: "%XX" with two hex digits (either case) becomes the byte
// XX, so escaped UTF-8 ("caf%C3%A9") becomes the UTF-8 name; a "%" not
// followed by two hex digits stays literal, and so does "+". Whether the
// decoded path is usable is for IsSafeContentPath to say; when it is not and
// fault is given, *fault says why.
std::optional<RequestTarget> RequestTargetFromUri(std::string_view uri,
                                                  std::string_view originPrefix,
                                                  PathFault* fault = nullptr);

// The Windows file path of a target: the content folder (ending in "\")
// followed by the relative path with "/" turned into "\".
std::string ContentFilePath(std::string_view contentFolder, std::string_view relativePath);

}  // namespace kiln
