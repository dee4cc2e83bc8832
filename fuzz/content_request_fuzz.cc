// Feeds arbitrary request URIs and Range values to the content server's
// decision and checks that no answer can reach outside www.
//
// Input: one flags byte, then the URI tail up to the first line feed, then
// the Range value. Flags: bit 0 the request has a Range header; bit 1 the
// URI tail is used without the origin in front; bits 2-4 choose the file
// sizes the fake www reports.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "webview/app_origin.h"
#include "webview/content_answer.h"

namespace {

using kiln::ContentAnswer;
using kiln::ContentBody;
using kiln::FileFacts;

[[noreturn]] void Fail(const char* what, const std::string& path) {
  std::fprintf(stderr, "content_request_fuzz: %s: \"%s\"\n", what, path.c_str());
  std::abort();
}

// A relative path may only name something inside www: no "\" or ":", no
// leading "/", no empty, "." or ".." segments. "" is www itself.
void CheckInsideWww(const std::string& path) {
  if (path.find('\\') != std::string::npos) Fail("backslash in path", path);
  if (path.find(':') != std::string::npos) Fail("colon in path", path);
  if (path.find('\0') != std::string::npos) Fail("NUL in path", path);
  if (path.empty()) return;
  size_t start = 0;
  while (true) {
    const size_t slash = path.find('/', start);
    const std::string_view segment = std::string_view(path).substr(start, slash - start);
    if (segment.empty()) Fail("empty segment in path", path);
    if (segment == "." || segment == "..") Fail("dot segment in path", path);
    if (slash == std::string::npos) return;
    start = slash + 1;
  }
}

// Every path "exists"; whether it is a folder and how large it is follow from
// its hash, so both lookups of one request agree.
class FuzzFiles : public kiln::ContentFiles {
 public:
  explicit FuzzFiles(uint8_t sizeChoice) : sizeChoice_(sizeChoice) {}

  FileFacts Examine(const std::string& relativePath) override {
    CheckInsideWww(relativePath);
    const size_t hash = std::hash<std::string>()(relativePath);
    static constexpr uint64_t kSizes[] = {0, 1, 1000, 4294967296ull, 5368709127ull,
                                          18446744073709551615ull, 65536, 7};
    FileFacts facts;
    facts.exists = (hash & 3) != 0;
    facts.isFolder = (hash & 4) != 0;
    facts.size = facts.isFolder ? 0 : kSizes[(sizeChoice_ + (hash >> 3)) & 7];
    return facts;
  }

 private:
  uint8_t sizeChoice_;
};

void CheckAnswer(const ContentAnswer& answer) {
  switch (answer.status) {
    case 404:
      if (answer.headerLines.size() != 1 || answer.body != ContentBody::NotFoundText ||
          !answer.filePath.empty()) {
        Fail("malformed 404", answer.filePath);
      }
      return;
    case 200:
      if (answer.headerLines.size() != 4 || answer.body != ContentBody::WholeFile) {
        Fail("malformed 200", answer.filePath);
      }
      break;
    case 206:
      if (answer.headerLines.size() != 5) Fail("malformed 206", answer.filePath);
      if (answer.body == ContentBody::FileRange) {
        if (answer.rangeCount == 0 || answer.rangeCount >= answer.fileSize ||
            answer.rangeFirst > answer.fileSize - answer.rangeCount) {
          Fail("range outside the file", answer.filePath);
        }
      } else if (answer.body != ContentBody::WholeFile) {
        Fail("206 without a body", answer.filePath);
      }
      break;
    case 416:
      if (answer.headerLines.size() != 4 || answer.body != ContentBody::None) {
        Fail("malformed 416", answer.filePath);
      }
      break;
    default:
      Fail("unexpected status", answer.filePath);
  }
  if (answer.filePath.empty()) Fail("answer without a file", answer.filePath);
  CheckInsideWww(answer.filePath);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t newline = rest.find('\n');
  const std::string_view tail = rest.substr(0, newline);
  const std::string_view range =
      newline == std::string_view::npos ? std::string_view() : rest.substr(newline + 1);

  const std::string uri =
      (flags & 2) ? std::string(tail) : std::string(kiln::kAppOrigin) + std::string(tail);
  std::optional<std::string_view> rangeHeader;
  if (flags & 1) rangeHeader = range;

  FuzzFiles files(static_cast<uint8_t>((flags >> 2) & 7));
  const ContentAnswer answer =
      kiln::AnswerContentRequest(uri, kiln::kAppOrigin, rangeHeader, files);
  CheckAnswer(answer);
  if (kiln::JoinHeaderLines(answer.headerLines).find("\n\n") != std::string::npos) {
    Fail("empty header line", answer.filePath);
  }
  return 0;
}
