#include "webview/content_answer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "webview/app_origin.h"

namespace kiln {
namespace {

using Lines = std::vector<std::string>;

// An in-memory www: files with sizes and folders. It records every path it is
// asked about and fails the test when one could reach outside www.
class FakeFiles : public ContentFiles {
 public:
  FakeFiles& File(const std::string& path, uint64_t size) {
    entries_[path] = FileFacts{true, false, size};
    return *this;
  }
  FakeFiles& Folder(const std::string& path) {
    entries_[path] = FileFacts{true, true, 0};
    return *this;
  }

  FileFacts Examine(const std::string& relativePath) override {
    asked.push_back(relativePath);
    ExpectInsideWww(relativePath);
    const auto found = entries_.find(relativePath);
    return found == entries_.end() ? FileFacts{} : found->second;
  }

  std::vector<std::string> asked;

 private:
  static void ExpectInsideWww(const std::string& path) {
    EXPECT_EQ(path.find('\\'), std::string::npos) << path;
    EXPECT_EQ(path.find(':'), std::string::npos) << path;
    EXPECT_EQ(path.find('\0'), std::string::npos) << path;
    if (path.empty()) return;  // www itself
    size_t start = 0;
    while (true) {
      const size_t slash = path.find('/', start);
      const std::string segment = path.substr(start, slash - start);
      EXPECT_NE(segment, "") << path;
      EXPECT_NE(segment, ".") << path;
      EXPECT_NE(segment, "..") << path;
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
  }

  std::map<std::string, FileFacts> entries_;
};

ContentAnswer Ask(FakeFiles& files, const std::string& rest,
                  std::optional<std::string_view> range = std::nullopt) {
  return AnswerContentRequest(std::string(kAppOrigin) + rest, kAppOrigin, range, files);
}

void ExpectNotFound(const ContentAnswer& answer, const std::string& what) {
  EXPECT_EQ(answer.status, 404) << what;
  EXPECT_EQ(answer.reason, "Not Found") << what;
  EXPECT_EQ(answer.headerLines, Lines{"Cache-Control: no-store"}) << what;
  EXPECT_EQ(answer.body, ContentBody::NotFoundText) << what;
  EXPECT_EQ(answer.filePath, "") << what;
}

TEST(ContentAnswerTest, WholeFileIsServed200WithItsLength) {
  FakeFiles files;
  files.File("index.html", 1234);
  const ContentAnswer answer = Ask(files, "index.html");
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.reason, "OK");
  EXPECT_EQ(answer.headerLines, (Lines{"Cache-Control: no-store",
                                       "Content-Type: text/html; charset=utf-8",
                                       "Accept-Ranges: bytes", "Content-Length: 1234"}));
  EXPECT_EQ(answer.body, ContentBody::WholeFile);
  EXPECT_EQ(answer.filePath, "index.html");
  EXPECT_EQ(answer.fileSize, 1234u);
}

TEST(ContentAnswerTest, QueryStringsAndEscapedNamesFindTheirFiles) {
  FakeFiles files;
  files.File("js/game.js", 10).File("my file.txt", 3).File("caf\xC3\xA9.png", 7);
  EXPECT_EQ(Ask(files, "js/game.js?v=3").filePath, "js/game.js");
  EXPECT_EQ(Ask(files, "js/game.js#x").status, 200);
  EXPECT_EQ(Ask(files, "my%20file.txt").filePath, "my file.txt");
  const ContentAnswer utf8 = Ask(files, "caf%C3%A9.png");
  EXPECT_EQ(utf8.status, 200);
  EXPECT_EQ(utf8.headerLines[1], "Content-Type: image/png");
}

TEST(ContentAnswerTest, MissingFileIs404WithOneHeaderLine) {
  FakeFiles files;
  const ContentAnswer answer = Ask(files, "missing.png");
  ExpectNotFound(answer, "missing.png");
  EXPECT_EQ(answer.fileSize, 0u);
  EXPECT_EQ(files.asked, Lines{"missing.png"});
  EXPECT_EQ(kNotFoundText.size(), 14u);
}

TEST(ContentAnswerTest, PartialRangeIs206WithRangeLines) {
  FakeFiles files;
  files.File("music/theme.ogg", 1000);
  const ContentAnswer answer = Ask(files, "music/theme.ogg", "bytes=0-99");
  EXPECT_EQ(answer.status, 206);
  EXPECT_EQ(answer.reason, "Partial Content");
  EXPECT_EQ(answer.headerLines,
            (Lines{"Cache-Control: no-store", "Content-Type: audio/ogg", "Accept-Ranges: bytes",
                   "Content-Range: bytes 0-99/1000", "Content-Length: 100"}));
  EXPECT_EQ(answer.body, ContentBody::FileRange);
  EXPECT_EQ(answer.rangeFirst, 0u);
  EXPECT_EQ(answer.rangeCount, 100u);
  EXPECT_EQ(answer.filePath, "music/theme.ogg");

  const ContentAnswer tail = Ask(files, "music/theme.ogg", "bytes=-500");
  EXPECT_EQ(tail.headerLines[3], "Content-Range: bytes 500-999/1000");
  EXPECT_EQ(tail.headerLines[4], "Content-Length: 500");
  EXPECT_EQ(tail.rangeFirst, 500u);
  EXPECT_EQ(tail.rangeCount, 500u);

  const ContentAnswer clamped = Ask(files, "music/theme.ogg", "bytes=900-2000");
  EXPECT_EQ(clamped.status, 206);
  EXPECT_EQ(clamped.headerLines[3], "Content-Range: bytes 900-999/1000");
  EXPECT_EQ(clamped.rangeCount, 100u);

  const ContentAnswer oneByte = Ask(files, "music/theme.ogg", "bytes=0-0");
  EXPECT_EQ(oneByte.headerLines[4], "Content-Length: 1");
  EXPECT_EQ(oneByte.rangeCount, 1u);
}

TEST(ContentAnswerTest, RangeCoveringTheWholeFileStreamsTheFile) {
  FakeFiles files;
  files.File("video.mp4", 1000);
  for (const char* range : {"bytes=0-", "bytes=-1000", "bytes=-5000", "bytes=0-999999"}) {
    const ContentAnswer answer = Ask(files, "video.mp4", std::string_view(range));
    EXPECT_EQ(answer.status, 206) << range;
    EXPECT_EQ(answer.body, ContentBody::WholeFile) << range;
    EXPECT_EQ(answer.headerLines[3], "Content-Range: bytes 0-999/1000") << range;
    EXPECT_EQ(answer.headerLines[4], "Content-Length: 1000") << range;
  }
}

TEST(ContentAnswerTest, UnsatisfiableRangeIs416WithTheFileSize) {
  FakeFiles files;
  files.File("a.wav", 1000).File("empty.txt", 0);
  for (const char* range : {"bytes=1000-", "Bytes=0-1", "", "bytes=-", "bytes=--1"}) {
    const ContentAnswer answer = Ask(files, "a.wav", std::string_view(range));
    EXPECT_EQ(answer.status, 416) << range;
    EXPECT_EQ(answer.reason, "Range Not Satisfiable") << range;
    EXPECT_EQ(answer.headerLines,
              (Lines{"Cache-Control: no-store", "Content-Type: audio/wav", "Accept-Ranges: bytes",
                     "Content-Range: bytes */1000"}))
        << range;
    EXPECT_EQ(answer.body, ContentBody::None) << range;
    EXPECT_EQ(answer.filePath, "a.wav") << range;
  }
  EXPECT_EQ(Ask(files, "empty.txt", "bytes=0-").headerLines.back(), "Content-Range: bytes */0");
  // Without a Range header an empty file is an ordinary 200.
  EXPECT_EQ(Ask(files, "empty.txt").headerLines.back(), "Content-Length: 0");
}

TEST(ContentAnswerTest, RangeValueIsStrippedOfSurroundingWhiteSpace) {
  FakeFiles files;
  files.File("a.bin", 1000);
  const ContentAnswer answer = Ask(files, "a.bin", " \t\r\nbytes=10-19\v\f ");
  EXPECT_EQ(answer.status, 206);
  EXPECT_EQ(answer.headerLines[3], "Content-Range: bytes 10-19/1000");
  EXPECT_EQ(Ask(files, "a.bin", " \t ").status, 416);
}

TEST(ContentAnswerTest, FilesBeyondFourGiBKeepTheirSize) {
  FakeFiles files;
  constexpr uint64_t kSize = (5ull << 30) + 7;  // 5368709127
  files.File("movie.webm", kSize);
  EXPECT_EQ(Ask(files, "movie.webm").headerLines[3], "Content-Length: 5368709127");
  const ContentAnswer range = Ask(files, "movie.webm", "bytes=4294967296-4294967300");
  EXPECT_EQ(range.headerLines[3], "Content-Range: bytes 4294967296-4294967300/5368709127");
  EXPECT_EQ(range.headerLines[4], "Content-Length: 5");
  EXPECT_EQ(range.rangeFirst, 4294967296u);
  EXPECT_EQ(range.rangeCount, 5u);
}

TEST(ContentAnswerTest, LongRangesAreAnsweredWithTheirFirstBytesOnly) {
  FakeFiles files;
  constexpr uint64_t kSize = 600ull << 20;  // 629145600
  files.File("movie.webm", kSize).File("song.ogg", kMaxRangeAnswer + 1);
  struct Case {
    const char* file;
    const char* range;
    const char* contentRange;
    uint64_t first;
  } const cases[] = {
      {"movie.webm", "bytes=0-", "bytes 0-4194303/629145600", 0},
      {"movie.webm", "bytes=314572800-", "bytes 314572800-318767103/629145600", 314572800},
      {"movie.webm", "bytes=-629145600", "bytes 0-4194303/629145600", 0},
      {"movie.webm", "bytes=1-629145599", "bytes 1-4194304/629145600", 1},
      {"song.ogg", "bytes=0-", "bytes 0-4194303/4194305", 0},
  };
  for (const Case& c : cases) {
    const ContentAnswer answer = Ask(files, c.file, std::string_view(c.range));
    EXPECT_EQ(answer.status, 206) << c.range;
    EXPECT_EQ(answer.headerLines[3], std::string("Content-Range: ") + c.contentRange) << c.range;
    EXPECT_EQ(answer.headerLines[4], "Content-Length: 4194304") << c.range;
    EXPECT_EQ(answer.body, ContentBody::FileRange) << c.range;
    EXPECT_EQ(answer.rangeFirst, c.first) << c.range;
    EXPECT_EQ(answer.rangeCount, kMaxRangeAnswer) << c.range;
  }
  // The last bytes of a file, however large, are answered exactly.
  const ContentAnswer tail = Ask(files, "movie.webm", "bytes=-4194304");
  EXPECT_EQ(tail.headerLines[3], "Content-Range: bytes 624951296-629145599/629145600");
  // Whole files are not ranges: they are streamed whatever their size.
  EXPECT_EQ(Ask(files, "movie.webm").headerLines[3], "Content-Length: 629145600");
}

TEST(ContentAnswerTest, FolderServesItsIndexOrIs404) {
  FakeFiles files;
  files.Folder("").File("index.html", 50).Folder("level1").File("level1/index.html", 60);
  files.Folder("empty").Folder("odd").Folder("odd/index.html");

  const ContentAnswer root = Ask(files, "");
  EXPECT_EQ(root.status, 200);
  EXPECT_EQ(root.filePath, "index.html");
  EXPECT_EQ(root.headerLines[1], "Content-Type: text/html; charset=utf-8");
  EXPECT_EQ(files.asked, (Lines{"", "index.html"}));

  for (const char* rest : {"level1", "level1/", "level1/?x=1"}) {
    const ContentAnswer answer = Ask(files, rest);
    EXPECT_EQ(answer.status, 200) << rest;
    EXPECT_EQ(answer.filePath, "level1/index.html") << rest;
    EXPECT_EQ(answer.headerLines[3], "Content-Length: 60") << rest;
  }
  const ContentAnswer ranged = Ask(files, "level1/", "bytes=0-9");
  EXPECT_EQ(ranged.status, 206);
  EXPECT_EQ(ranged.filePath, "level1/index.html");

  ExpectNotFound(Ask(files, "empty/"), "empty/");
  ExpectNotFound(Ask(files, "empty"), "empty");
  ExpectNotFound(Ask(files, "odd/"), "odd/ (index.html is a folder)");
  // A file is not a folder: a trailing slash after its name finds nothing.
  ExpectNotFound(Ask(files, "index.html/"), "index.html/");
}

TEST(ContentAnswerTest, RootWithoutIndexIs404) {
  FakeFiles files;
  files.Folder("");
  ExpectNotFound(Ask(files, ""), "root");
}

TEST(ContentAnswerTest, ServerErrorSaysItHasNoBody) {
  FakeFiles files;
  files.File("a.ogg", 1000);
  for (const std::optional<std::string_view> range :
       {std::optional<std::string_view>("bytes=0-99"), std::optional<std::string_view>()}) {
    ContentAnswer answer = Ask(files, "a.ogg", range);
    MakeServerError(answer);
    EXPECT_EQ(answer.status, 500);
    EXPECT_EQ(answer.reason, "Internal Server Error");
    EXPECT_EQ(answer.body, ContentBody::None);
    EXPECT_EQ(answer.headerLines, (Lines{"Cache-Control: no-store", "Content-Type: audio/ogg",
                                         "Accept-Ranges: bytes", "Content-Length: 0"}));
  }
}

TEST(ContentAnswerTest, EveryFileTypeIsLabelledByItsLastExtensionInAnyCase) {
  const std::pair<const char*, const char*> kTypes[] = {
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
      {".scml", "text/xml"},
      {".scon", "application/json"},
  };
  for (const auto& [extension, type] : kTypes) {
    std::string upper = extension;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& name : {"level" + std::string(extension), "Level.v2.min" + upper,
                                    "x.txt.zip.bak" + std::string(extension)}) {
      FakeFiles files;
      files.File("assets/" + name, 10);
      const ContentAnswer answer = Ask(files, "assets/" + name);
      ASSERT_EQ(answer.status, 200) << name;
      EXPECT_EQ(answer.headerLines[1], std::string("Content-Type: ") + type) << name;
    }
  }
  FakeFiles files;
  files.File("archive.tar.gz", 10).File("b.c/readme", 10);
  for (const char* name : {"archive.tar.gz", "b.c/readme"}) {
    const ContentAnswer answer = Ask(files, name);
    ASSERT_EQ(answer.status, 200) << name;
    EXPECT_EQ(answer.headerLines[1], "Content-Type: application/octet-stream") << name;
  }
}

TEST(ContentAnswerTest, HeaderLinesJoinWithLineFeedsBetween) {
  EXPECT_EQ(JoinHeaderLines({}), "");
  EXPECT_EQ(JoinHeaderLines({"Cache-Control: no-store"}), "Cache-Control: no-store");
  EXPECT_EQ(JoinHeaderLines({"A: 1", "B: 2", "C: 3"}), "A: 1\nB: 2\nC: 3");
  EXPECT_EQ(JoinHeaderLines({"", "B: 2"}), "\nB: 2");
}

// Requests that try to leave www, reach a device or smuggle a second name.
std::vector<std::string> TraversalCorpus() {
  return {"../",
          "../package.json",
          "..%2f",
          "..%2fpackage.json",
          "%2e%2e/",
          "%2e%2e/package.json",
          "%2E%2E%2Fpackage.json",
          "..%5c",
          "..%5cpackage.json",
          "%5c..%5c",
          "%5c..%5cpackage.json",
          "....//",
          "....//package.json",
          "./index.html",
          "a/../../package.json",
          "/C:/Windows/win.ini",
          "C:/Windows/win.ini",
          "C:%5cWindows%5cwin.ini",
          "//server/share/x",
          "%2f%2fserver/share/x",
          "%5c%5cserver%5cshare%5cx",
          "%00",
          "index.html%00.png",
          "index.html%00",
          "CON",
          "nul.txt",
          "com1",
          "lpt9.log",
          "index.html::$DATA",
          "index.html:secret",
          "index.html.",
          "index.html%20",
          std::string(5000, 'a'),
          "%252e%252e",
          "%252e%252e/package.json",
          "%C0%AE%C0%AE/package.json"};
}

TEST(ContentAnswerTest, TraversalCorpusIsAlways404AndNeverLeavesWww) {
  FakeFiles files;
  files.Folder("").File("index.html", 10).File("package.json", 20);
  std::string longDeep;  // 5000 characters of short, harmless segments
  while (longDeep.size() < 5000) longDeep += "ab/";
  longDeep.resize(5000);
  std::vector<std::string> corpus = TraversalCorpus();
  corpus.push_back(longDeep);
  for (const std::string& rest : corpus) {
    for (std::optional<std::string_view> range :
         {std::optional<std::string_view>(), std::optional<std::string_view>("bytes=0-")}) {
      ExpectNotFound(Ask(files, rest, range), rest.substr(0, 80));
    }
  }
  // Only the entries that are legal names inside www reached the file system
  // (once per Range variant); everything else was refused before it.
  const std::set<std::string> legal = {"%2e%2e", "%2e%2e/package.json", longDeep};
  EXPECT_EQ(files.asked.size(), 2 * legal.size());
  for (const std::string& path : files.asked) EXPECT_EQ(legal.count(path), 1u) << path;
}

TEST(ContentAnswerTest, CorpusNamesThatAreLegalFileNamesFindExactlyThatFile) {
  // Double encoding decodes once: "%2e%2e" is an ordinary name inside www.
  FakeFiles plain;
  plain.File("%2e%2e", 4);
  const ContentAnswer answer = Ask(plain, "%252e%252e");
  EXPECT_EQ(answer.status, 200);
  EXPECT_EQ(answer.filePath, "%2e%2e");
  EXPECT_EQ(plain.asked, Lines{"%2e%2e"});

  FakeFiles nested;
  nested.Folder("%2e%2e").File("%2e%2e/package.json", 5);
  EXPECT_EQ(Ask(nested, "%252e%252e/package.json").filePath, "%2e%2e/package.json");

  // A deep but legal path reaches the file system, which decides.
  std::string deep;
  while (deep.size() < 5000) deep += "ab/";
  deep += "x.png";
  FakeFiles deepFiles;
  deepFiles.File(deep, 1);
  EXPECT_EQ(Ask(deepFiles, deep).status, 200);
}

TEST(ContentAnswerTest, UriOutsideTheOriginIs404WithoutLookingAnythingUp) {
  FakeFiles files;
  files.File("index.html", 10);
  ExpectNotFound(AnswerContentRequest("https://other.example/index.html", kAppOrigin,
                                      std::nullopt, files),
                 "other origin");
  EXPECT_TRUE(files.asked.empty());
}

}  // namespace
}  // namespace kiln
