// Content types of the files served from www, chosen by file extension only:
// no content sniffing and no registry lookup.
#pragma once

#include <map>
#include <string>

namespace kiln {

// Lower-case extension with its leading dot -> MIME type. Text types say
// UTF-8 explicitly so the page never depends on the engine's guess.
extern const std::map<std::string, std::string> MimeTable;

// The type for a UTF-8 path with "/" separators. The extension runs from the
// last "." of the whole path, so a dot in a folder name yields an extension
// containing "/" that matches nothing. ASCII letters are compared without
// case; unknown extensions give "application/octet-stream".
std::string MimeTypeFor(const std::string& path);

}  // namespace kiln
