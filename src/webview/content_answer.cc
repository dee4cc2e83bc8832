#include "webview/content_answer.h"

#include <algorithm>
#include <utility>

#include "webview/byte_range.h"
#include "webview/mime_types.h"
#include "webview/request_path.h"

namespace kiln {
namespace {

constexpr char kNoStore[] = "Cache-Control: no-store";

ContentAnswer NotFound() {
  ContentAnswer answer;
  answer.status = 404;
  answer.reason = "Not Found";
  answer.headerLines = {kNoStore};
  answer.body = ContentBody::NotFoundText;
  return answer;
}

// The file a target names: itself, or for a folder its "index.html". A
// target ending in "/" must be a folder.
std::optional<std::pair<std::string, FileFacts>> FindFile(RequestTarget target,
                                                          ContentFiles& files) {
  FileFacts facts = files.Examine(target.path);
  if (!facts.exists) return std::nullopt;
  if (facts.isFolder) {
    target.path += target.path.empty() ? "index.html" : "/index.html";
    facts = files.Examine(target.path);
    if (!facts.exists || facts.isFolder) return std::nullopt;
  } else if (target.namesFolder) {
    return std::nullopt;
  }
  return std::make_pair(std::move(target.path), facts);
}

}  // namespace

ContentAnswer AnswerContentRequest(std::string_view uri, std::string_view originPrefix,
                                   std::optional<std::string_view> rangeHeader,
                                   ContentFiles& files) {
  const std::optional<RequestTarget> target = RequestTargetFromUri(uri, originPrefix);
  if (!target) return NotFound();
  auto found = FindFile(*target, files);
  if (!found) return NotFound();

  ContentAnswer answer;
  answer.filePath = std::move(found->first);
  const uint64_t size = found->second.size;
  answer.fileSize = size;
  answer.headerLines.reserve(5);
  answer.headerLines.emplace_back(kNoStore);
  answer.headerLines.push_back("Content-Type: " + MimeTypeFor(answer.filePath));
  answer.headerLines.emplace_back("Accept-Ranges: bytes");
  const std::string sizeText = std::to_string(size);

  if (!rangeHeader) {
    answer.status = 200;
    answer.reason = "OK";
    answer.headerLines.push_back("Content-Length: " + sizeText);
    answer.body = ContentBody::WholeFile;
    return answer;
  }

  const std::optional<ByteRange> range = ParseByteRange(TrimRangeSpace(*rangeHeader), size);
  if (!range) {
    answer.status = 416;
    answer.reason = "Range Not Satisfiable";
    answer.headerLines.push_back("Content-Range: bytes */" + sizeText);
    answer.body = ContentBody::None;
    return answer;
  }

  const uint64_t count = std::min(range->Count(), kMaxRangeAnswer);
  answer.status = 206;
  answer.reason = "Partial Content";
  answer.headerLines.push_back("Content-Range: bytes " + std::to_string(range->first) + "-" +
                               std::to_string(range->first + count - 1) + "/" + sizeText);
  answer.headerLines.push_back("Content-Length: " + std::to_string(count));
  if (count == size) {
    answer.body = ContentBody::WholeFile;
  } else {
    answer.body = ContentBody::FileRange;
    answer.rangeFirst = range->first;
    answer.rangeCount = count;
  }
  return answer;
}

void MakeServerError(ContentAnswer& answer) {
  answer.status = 500;
  answer.reason = "Internal Server Error";
  // Lines that describe a body which is not sent would make the answer
  // malformed.
  std::vector<std::string>& lines = answer.headerLines;
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [](const std::string& line) {
                               return line.rfind("Content-Length:", 0) == 0 ||
                                      line.rfind("Content-Range:", 0) == 0;
                             }),
              lines.end());
  lines.emplace_back("Content-Length: 0");
  answer.body = ContentBody::None;
  answer.rangeFirst = 0;
  answer.rangeCount = 0;
}

std::string JoinHeaderLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text.push_back('\n');
    text += lines[i];
  }
  return text;
}

}  // namespace kiln
