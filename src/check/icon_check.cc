#include "check/icon_check.h"

#include <string_view>

#include "check/content_check.h"

namespace kiln {
namespace {

constexpr uint64_t kMaxIconBytes = uint64_t{64} << 20;

struct ImageSignature {
  size_t offset;
  std::string_view bytes;
  const char* format;
  bool decoded;  // GDI+ makes a bitmap of it
};

// GDI+ decodes BMP, GIF, JPEG, PNG, TIFF and ICO into bitmaps. Metafiles it
// reads as drawings, which the icon's bitmap decoder refuses; the rest are
// formats authors often pick that GDI+ does not read at all.
constexpr ImageSignature kSignatures[] = {
    {0, std::string_view("\x89PNG\r\n\x1A\n", 8), "PNG", true},
    {0, std::string_view("\xFF\xD8\xFF", 3), "JPEG", true},
    {0, "GIF87a", "GIF", true},
    {0, "GIF89a", "GIF", true},
    {0, "BM", "BMP", true},
    {0, std::string_view("II*\0", 4), "TIFF", true},
    {0, std::string_view("MM\0*", 4), "TIFF", true},
    {0, std::string_view("\0\0\1\0", 4), "ICO", true},
    {0, std::string_view("\xD7\xCD\xC6\x9A", 4), "WMF metafile", false},
    {40, " EMF", "EMF metafile", false},
    {8, "WEBP", "WebP", false},
    {4, "ftypavif", "AVIF", false},
    {4, "ftypheic", "HEIC", false},
    {0, std::string_view("\0\0\2\0", 4), "cursor (CUR)", false},
    {0, "<svg", "SVG", false},
    {0, "<?xml", "XML (an SVG?)", false},
};

const ImageSignature* SignatureOf(std::string_view bytes) {
  for (const ImageSignature& signature : kSignatures) {
    if (bytes.substr(std::min(signature.offset, bytes.size())).substr(0, signature.bytes.size()) ==
        signature.bytes) {
      return &signature;
    }
  }
  return nullptr;
}

}  // namespace

void CheckIcon(AppFolder& folder, const AppConfig& config, Findings& findings) {
  if (config.icon.empty()) return;
  // kiln.exe puts the text after its own folder as it stands; the extended
  // form it opens the path in resolves neither "." nor "..".
  std::string path = config.icon;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  const char* fallback = "; the window gets the default icon";
  const PathFault fault = ContentPathFault(path);
  if (fault != PathFault::None) {
    findings.Warning("package.json", "window.icon " + Quoted(config.icon) +
                                         " is no path inside the app folder that Windows "
                                         "opens: " +
                                         DescribePathFault(fault) + fallback);
    return;
  }
  const FileFacts facts = folder.Examine(path);
  if (!facts.exists || facts.isFolder) {
    findings.Warning(path, std::string(facts.exists ? "is a folder, not an image" : "missing") +
                               " (window.icon)" + fallback);
    return;
  }
  const std::optional<std::string> bytes = folder.Read(path, kMaxIconBytes);
  if (!bytes) {
    findings.Warning(path, "cannot be read" + std::string(fallback));
    return;
  }
  const ImageSignature* signature = SignatureOf(*bytes);
  if (bytes->empty()) {
    findings.Warning(path, "is empty" + std::string(fallback));
  } else if (!signature) {
    findings.Warning(path, "is not an image GDI+ decodes (PNG, JPEG, GIF, BMP, TIFF or ICO)" +
                               std::string(fallback));
  } else if (!signature->decoded) {
    findings.Warning(path, std::string("is ") + signature->format +
                               ", which kiln.exe cannot make an icon of" + fallback);
  }
}

}  // namespace kiln
