#include "webview/mime_types.h"

namespace kiln {

const std::map<std::string, std::string> MimeTable = {
    {".html", "text/html; charset=utf-8"},
    {".htm", "text/html; charset=utf-8"},
    {".js", "application/javascript; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".json", "application/json; charset=utf-8"},
    {".xml", "text/xml; charset=utf-8"},
    {".csv", "text/csv; charset=utf-8"},
    {".txt", "text/plain; charset=utf-8"},
    {".wasm", "application/wasm"},
    {".png", "image/png"},
    {".apng", "image/apng"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".svg", "image/svg+xml"},
    {".webp", "image/webp"},
    {".gif", "image/gif"},
    {".tif", "image/tiff"},
    {".tiff", "image/tiff"},
    {".bmp", "image/bmp"},
    {".ico", "image/x-icon"},
    {".avif", "image/avif"},
    {".webm", "video/webm"},
    {".m4a", "audio/mp4"},
    {".mp3", "audio/mpeg"},
    {".mp4", "video/mp4"},
    {".mpg", "video/mpeg"},
    {".mpeg", "video/mpeg"},
    {".opus", "audio/ogg; codecs=opus"},
    {".ogg", "audio/ogg"},
    {".ogv", "video/ogg"},
    {".flac", "audio/flac"},
    {".wav", "audio/wav"},
    {".woff", "application/font-woff"},
    {".woff2", "font/woff2"},
    {".ttf", "application/font-sfnt"},
    {".otf", "application/font-sfnt"},
    {".eot", "application/vnd.ms-fontobject"},
    {".zip", "application/zip"},
    {".pdf", "application/pdf"},
    // Spriter project files: served as plain XML and JSON without a charset.
    {".scml", "text/xml"},
    {".scon", "application/json"},
};

std::string MimeTypeFor(const std::string& path) {
  const std::string::size_type dot = path.rfind('.');
  if (dot != std::string::npos) {
    std::string extension = path.substr(dot);
    // Only A-Z change: bytes of UTF-8 sequences must stay as they are.
    for (char& c : extension) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    const auto found = MimeTable.find(extension);
    if (found != MimeTable.end()) return found->second;
  }
  return "application/octet-stream";
}

}  // namespace kiln
