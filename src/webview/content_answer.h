// What the local content server answers to one request under the app's
// origin. Every decision lives here; the Windows side only gathers the facts
// (URI, Range header, file facts) and carries the answer out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiln {

// The folder beside kiln.exe that the app's files are served from.
inline constexpr char kContentFolderName[] = "www";

// What the file system says about a path relative to www ("" is www itself).
struct FileFacts {
  bool exists = false;
  bool isFolder = false;
  uint64_t size = 0;
};

// The file system as the content server sees it. Only paths that passed
// IsSafeContentPath are ever examined.
class ContentFiles {
 public:
  virtual ~ContentFiles() = default;
  virtual FileFacts Examine(const std::string& relativePath) = 0;
};

enum class ContentBody {
  None,          // 416, or 500
  NotFoundText,  // kNotFoundText
  WholeFile,     // a stream on the whole file
  FileRange,     // rangeCount bytes from offset rangeFirst
};

// The 14-byte body of every 404, sent without a terminator.
inline constexpr std::string_view kNotFoundText = "File not found";

// The most bytes one 206 answer carries. A longer range is answered with its
// first kMaxRangeAnswer bytes, and Content-Range says which: browsers' media
// loaders ask again from where an answer ended. WebView2 reads every answer
// whole into the host process, which a 32-bit host cannot afford for the
// rest of a large video on every seek.
inline constexpr uint64_t kMaxRangeAnswer = 4ull << 20;

struct ContentAnswer {
  int status = 404;
  std::string reason;
  std::vector<std::string> headerLines;  // "Name: value", in sending order
  ContentBody body = ContentBody::None;
  // The file to open (UTF-8, "/" separators, relative to www): set whenever a
  // file was found, that is for every status but 404. A folder's request
  // resolves to its "index.html".
  std::string filePath;
  uint64_t fileSize = 0;
  uint64_t rangeFirst = 0;  // FileRange only
  uint64_t rangeCount = 0;  // FileRange only
};

// Decides the answer to a request. rangeHeader is the Range header's value
// when the request has one; white space around it is ignored.
ContentAnswer AnswerContentRequest(std::string_view uri, std::string_view originPrefix,
                                   std::optional<std::string_view> rangeHeader,
                                   ContentFiles& files);

// Turns an answer whose file could not be read into 500 "Internal Server
// Error" without a body: "Content-Length: 0" takes the place of the length
// and range lines, the others stay.
void MakeServerError(ContentAnswer& answer);

// The header lines as one text, "\n" between lines and none after the last.
std::string JoinHeaderLines(const std::vector<std::string>& lines);

}  // namespace kiln
