// The local content server through the real kiln.exe and the stand-in
// runtime: what each request under the origin is answered, byte for byte,
// and how long Kiln keeps the files it serves open. One run serves every
// request of a suite; each test reads its part of the transcript.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "../common/test_bytes.h"
#include "page_steps.h"

namespace kiln::testing {
namespace {

using Lines = std::vector<std::string>;

constexpr uint64_t kFourGiB = 4ull << 30;
constexpr uint64_t kBigSize = 5ull << 30;
const std::string kNoStore = "Cache-Control: no-store";
const std::string kAcceptRanges = "Accept-Ranges: bytes";

const std::string kStartPage =
    "<!doctype html>\n<meta charset=\"utf-8\">\n<title>Caf\u00e9 \u2014 Kiln</title>\n"
    "<script src=\"script.js?v=3\"></script>\n<p>Content server test</p>\n";

json Request(const std::string& path, const std::optional<std::string>& range = std::nullopt) {
  json step = Step("request", {{"uri", std::string(kOrigin) + path}});
  if (range) step["headers"] = json::array({json::array({"Range", *range})});
  return step;
}

json OpenFile(const TestApp& app, const std::string& relative, const std::string& access) {
  return Step("open-file", {{"path", WinePath(app.Path(relative))}, {"access", access}});
}

void WriteAt(const fs::path& path, uint64_t offset, const std::string& bytes) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool IsAscii(const std::string& bytes) {
  for (const unsigned char byte : bytes) {
    if (byte >= 0x80) return false;
  }
  return true;
}

void ExpectAnswer(const json& response, int status, const std::string& reason,
                  const Lines& headers, const std::optional<std::string>& body) {
  EXPECT_EQ(response.value("status", 0), status) << response.value("uri", "");
  EXPECT_EQ(response.value("reason", ""), reason);
  EXPECT_EQ(response.value("headers", json::array()), json(headers));
  if (body) {
    EXPECT_EQ(response.value("stream", false), true);
    EXPECT_EQ(response.value("length", -1), static_cast<long long>(body->size()));
    EXPECT_EQ(response.value("fnv1a", ""), Fnv1a(*body)) << "the body's bytes";
    if (IsAscii(*body)) EXPECT_EQ(response.value("body", ""), *body);
  } else {
    EXPECT_EQ(response.value("stream", true), false) << "no body";
  }
}

void ExpectNotFound(const json& response) {
  ExpectAnswer(response, 404, "Not Found", {kNoStore}, std::string("File not found"));
}

// The answers to the requests of one run, by the names the test gave them.
class Answers {
 public:
  void Add(const std::string& name, json step) {
    names_.push_back(name);
    steps_.push_back(std::move(step));
  }
  const json& Steps() const { return steps_; }

  // The document request of the first navigation comes first.
  void Take(const StandInRun& run) {
    const std::vector<json> responses = run.Events("response");
    const size_t requests = names_.size();
    ASSERT_EQ(responses.size(), requests + 1) << "one response per request";
    startPage_ = responses[0];
    for (size_t i = 0; i < requests; ++i) byName_[names_[i]] = responses[i + 1];
  }
  const json& StartPage() const { return startPage_; }
  const json& operator[](const std::string& name) const {
    static const json none = json::object();
    const auto found = byName_.find(name);
    if (found == byName_.end()) ADD_FAILURE() << "no answer named " << name;
    return found == byName_.end() ? none : found->second;
  }
  std::vector<std::string> Names(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const std::string& name : names_) {
      if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
  }

 private:
  std::vector<std::string> names_;
  json steps_ = json::array();
  json startPage_;
  std::map<std::string, json> byName_;
};

fs::path BundleApp(const TestApp& app) {
  app.WritePackageJson(R"({"name": "kiln-content", "settings": {"distribution-mode": "fixed"}})");
  InstallFixedRuntime(app);
  return app.Path("www");
}

// ---------------------------------------------------------------------------
// Serving: status, header lines and bytes of every kind of answer.

class ContentServing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    app_ = new TestApp("ContentServing");
    const TestApp& app = *app_;
    BundleApp(app);
    app.WriteFile("www/index.html", kStartPage);
    app.WriteFile("www/script.js", "console.log('v3');\n");
    app.WriteFile("www/my file.txt", "a name with a space\n");
    app.WriteFile("www/caf\u00e9.png", Pattern(300, 1));
    app.WriteFile("www/media/song.mp3", Pattern(1000, 2));
    app.WriteFile("www/media/whole.mp3", Pattern(1000, 3));
    app.WriteFile("www/empty.txt", "");
    app.WriteFile("www/docs/index.html", "<p>docs</p>\n");
    app.WriteFile("www/assets/logo.svg", "<svg/>");
    // 5 GiB, sparse: offsets and sizes past 32 bits.
    app.WriteFile("www/big.bin", "");
    fs::resize_file(app.Path("www/big.bin"), kBigSize);
    WriteAt(app.Path("www/big.bin"), kFourGiB + 100, "high");
    WriteAt(app.Path("www/big.bin"), kBigSize - 4, "tail");

    Answers& a = *answers_;
    a.Add("root", Request(""));
    a.Add("query", Request("script.js?v=3"));
    a.Add("fragment", Request("script.js#top"));
    a.Add("space", Request("my%20file.txt"));
    a.Add("utf8", Request("caf%C3%A9.png"));
    a.Add("empty", Request("empty.txt"));
    a.Add("missing", Request("no-such-file.js"));
    a.Add("folder slash", Request("docs/"));
    a.Add("folder", Request("docs"));
    a.Add("folder without index", Request("assets/"));
    a.Add("file as folder", Request("script.js/"));

    a.Add("range 0-99", Request("media/song.mp3", "bytes=0-99"));
    a.Add("range 0-", Request("media/whole.mp3", "bytes=0-"));
    a.Add("range -500", Request("media/song.mp3", "bytes=-500"));
    a.Add("range clamped", Request("media/song.mp3", "bytes=900-2000"));
    a.Add("range long suffix", Request("media/song.mp3", "bytes=-1500"));
    a.Add("range 0-0", Request("media/song.mp3", "bytes=0-0"));
    a.Add("range list", Request("media/song.mp3", "bytes=10-19, 50-59"));
    a.Add("range spaced", Request("media/song.mp3", " \tbytes=5-9 \r\n"));
    a.Add("range again", Request("media/song.mp3", "bytes=100-199"));

    const std::vector<std::string> unsatisfiable = {
        "bytes=1000-", "bytes=1000-1005", "bytes=5-2", "items=0-9", "Bytes=0-9", "",
        "bytes=-",     "bytes=abc-",      "bytes=-0",  "bytes=99999999999999999999999-"};
    for (const std::string& range : unsatisfiable) {
      a.Add("416 " + range, Request("media/song.mp3", range));
    }
    a.Add("416 empty file", Request("empty.txt", "bytes=0-"));

    a.Add("big high", Request("big.bin", "bytes=" + std::to_string(kFourGiB + 98) + "-" +
                                            std::to_string(kFourGiB + 105)));
    a.Add("big tail", Request("big.bin", "bytes=-4"));
    a.Add("big 416", Request("big.bin", "bytes=" + std::to_string(kBigSize) + "-"));

    json steps = a.Steps();
    steps.push_back(Step("end"));
    run_ = new StandInRun(RunWithStandIn(app, {{"steps", steps}}));
    a.Take(*run_);
  }

  static void TearDownTestSuite() {
    fs::remove(app_->Path("www/big.bin"));
    delete run_;
    delete app_;
  }

  static const Answers& A() { return *answers_; }

  static TestApp* app_;
  static StandInRun* run_;
  static Answers* answers_;
};

TestApp* ContentServing::app_ = nullptr;
StandInRun* ContentServing::run_ = nullptr;
Answers* ContentServing::answers_ = new Answers();

TEST_F(ContentServing, StartPageIsServedWholeAsUtf8Html) {
  ExpectCleanRun(*run_);
  EXPECT_EQ(run_->run.ExitCode(), 0);
  const json& page = A().StartPage();
  EXPECT_EQ(page["uri"], std::string(kOrigin) + "index.html");
  EXPECT_EQ(page["context"], 1) << "the document of the first navigation";
  const Lines html = {kNoStore, "Content-Type: text/html; charset=utf-8", kAcceptRanges,
                      "Content-Length: " + std::to_string(kStartPage.size())};
  ExpectAnswer(page, 200, "OK", html, kStartPage);
  SCOPED_TRACE("the origin itself");
  ExpectAnswer(A()["root"], 200, "OK", html, kStartPage);
}

TEST_F(ContentServing, QueryFragmentSpaceAndUtf8NamesFindTheirFiles) {
  const std::string script = "console.log('v3');\n";
  const Lines js = {kNoStore, "Content-Type: application/javascript; charset=utf-8",
                    kAcceptRanges, "Content-Length: 19"};
  ExpectAnswer(A()["query"], 200, "OK", js, script);
  ExpectAnswer(A()["fragment"], 200, "OK", js, script);
  ExpectAnswer(A()["space"], 200, "OK",
               {kNoStore, "Content-Type: text/plain; charset=utf-8", kAcceptRanges,
                "Content-Length: 20"},
               std::string("a name with a space\n"));
  ExpectAnswer(A()["utf8"], 200, "OK",
               {kNoStore, "Content-Type: image/png", kAcceptRanges, "Content-Length: 300"},
               Pattern(300, 1));
  ExpectAnswer(A()["empty"], 200, "OK",
               {kNoStore, "Content-Type: text/plain; charset=utf-8", kAcceptRanges,
                "Content-Length: 0"},
               std::string());
}

TEST_F(ContentServing, MissingFilesAndFoldersWithoutIndexAreNotFound) {
  ExpectNotFound(A()["missing"]);
  EXPECT_EQ(A()["missing"]["length"], 14);
  ExpectNotFound(A()["folder without index"]);
  ExpectNotFound(A()["file as folder"]);
  const Lines html = {kNoStore, "Content-Type: text/html; charset=utf-8", kAcceptRanges,
                      "Content-Length: 12"};
  ExpectAnswer(A()["folder slash"], 200, "OK", html, std::string("<p>docs</p>\n"));
  ExpectAnswer(A()["folder"], 200, "OK", html, std::string("<p>docs</p>\n"));
}

TEST_F(ContentServing, SatisfiableRangesAreServedAsSinglePartsWithTheirBytes) {
  const std::string song = Pattern(1000, 2);
  const auto partial = [&](const std::string& name, uint64_t first, uint64_t last,
                           const std::string& bytes) {
    SCOPED_TRACE(name);
    ExpectAnswer(A()[name], 206, "Partial Content",
                 {kNoStore, "Content-Type: audio/mpeg", kAcceptRanges,
                  "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
                      "/1000",
                  "Content-Length: " + std::to_string(last - first + 1)},
                 bytes);
  };
  partial("range 0-99", 0, 99, song.substr(0, 100));
  partial("range 0-", 0, 999, Pattern(1000, 3));
  partial("range -500", 500, 999, song.substr(500));
  partial("range clamped", 900, 999, song.substr(900));
  partial("range long suffix", 0, 999, song);
  partial("range 0-0", 0, 0, song.substr(0, 1));
  partial("range list", 10, 19, song.substr(10, 10));
  partial("range spaced", 5, 9, song.substr(5, 5));
  partial("range again", 100, 199, song.substr(100, 100));
}

TEST_F(ContentServing, UnsatisfiableRangesAnswer416WithTheSize) {
  for (const std::string& name : A().Names("416 ")) {
    SCOPED_TRACE(name);
    const bool empty = name == "416 empty file";
    ExpectAnswer(A()[name], 416, "Range Not Satisfiable",
                 {kNoStore,
                  empty ? "Content-Type: text/plain; charset=utf-8" : "Content-Type: audio/mpeg",
                  kAcceptRanges, empty ? "Content-Range: bytes */0" : "Content-Range: bytes */1000"},
                 std::nullopt);
  }
}

TEST_F(ContentServing, FilesOfMoreThanFourGibibytesHaveExactSizesAndOffsets) {
  const Lines head = {kNoStore, "Content-Type: application/octet-stream", kAcceptRanges};
  Lines high = head;
  high.push_back("Content-Range: bytes 4294967394-4294967401/5368709120");
  high.push_back("Content-Length: 8");
  ExpectAnswer(A()["big high"], 206, "Partial Content", high, std::string("\0\0high\0\0", 8));
  Lines tail = head;
  tail.push_back("Content-Range: bytes 5368709116-5368709119/5368709120");
  tail.push_back("Content-Length: 4");
  ExpectAnswer(A()["big tail"], 206, "Partial Content", tail, std::string("tail"));
  Lines beyond = head;
  beyond.push_back("Content-Range: bytes */5368709120");
  ExpectAnswer(A()["big 416"], 416, "Range Not Satisfiable", beyond, std::nullopt);
}

// ---------------------------------------------------------------------------
// Nothing outside www: the app's own package.json lies right beside it.

TEST(ContentTraversal, PackageJsonBesideWwwIsNeverReached) {
  TestApp app("ContentTraversal");
  BundleApp(app);
  app.WriteFile("www/index.html", kStartPage);
  app.WriteFile("www/docs/readme.txt", "docs");

  std::string absolute = WinePath(app.Path("package.json"));  // Z:\...\package.json
  std::string forward = absolute, escaped;
  for (char& c : forward) c = c == '\\' ? '/' : c;
  for (char c : absolute) escaped += c == '\\' ? std::string("%5C") : std::string(1, c);
  std::string longPath;
  while (longPath.size() < 5000) longPath += "../";
  const std::vector<std::string> corpus = {
      "../package.json",
      "..%2fpackage.json",
      "..%2Fpackage.json",
      "%2e%2e/package.json",
      "%2E%2E%2Fpackage.json",
      ".%2e/package.json",
      "..%5cpackage.json",
      "%5c..%5cpackage.json",
      "..\\package.json",
      "%2e%2e%5c%2e%2e%5cpackage.json",
      "....//package.json",
      "docs/../../package.json",
      "docs/..%2f..%2fpackage.json",
      "docs/%2e%2e/%2e%2e/package.json",
      "./../package.json",
      "%252e%252e/package.json",
      "..%c0%afpackage.json",
      "..%u2215package.json",
      "/C:/Windows/win.ini",
      "/" + forward,
      forward,
      escaped,
      "//server/share/x",
      "%5c%5cserver%5cshare%5cpackage.json",
      "%00",
      "package.json%00",
      "index.html%00.png",
      "CON",
      "nul.txt",
      "docs/AUX",
      "index.html::$DATA",
      "index.html%3A%3A%24DATA",
      "index.html:secret",
      longPath + "package.json",
  };
  json steps = json::array();
  for (const std::string& path : corpus) steps.push_back(Request(path));
  steps.push_back(Step("end"));
  const StandInRun run = RunWithStandIn(app, {{"steps", steps}});
  ExpectCleanRun(run);
  const std::vector<json> responses = run.Events("response");
  ASSERT_EQ(responses.size(), corpus.size() + 1);
  for (size_t i = 0; i < corpus.size(); ++i) {
    SCOPED_TRACE(corpus[i].substr(0, 120));
    ExpectNotFound(responses[i + 1]);
  }
}

// ---------------------------------------------------------------------------
// Which files stay open, and what other programs may do with them meanwhile.

TEST(ContentFileSharing, ServedFilesStayOpenToWritersAndFilesOthersWriteAreServed) {
  TestApp app("ContentFileSharing");
  BundleApp(app);
  app.WriteFile("www/index.html", kStartPage);
  app.WriteFile("www/media/seek.mp3", Pattern(1000, 4));
  app.WriteFile("www/media/streamed.mp3", Pattern(1000, 5));
  const std::string seek = "www/media/seek.mp3", streamed = "www/media/streamed.mp3";
  const json steps = {
      // Once a partial range is answered nothing of Kiln's holds the file:
      // an author's editor may write it or delete it.
      Request("media/seek.mp3", "bytes=0-99"),
      OpenFile(app, seek, "write"),
      OpenFile(app, seek, "delete"),
      OpenFile(app, seek, "read"),
      // A range that covers the file is streamed from it and nothing stays open.
      Request("media/streamed.mp3", "bytes=0-"),
      OpenFile(app, streamed, "write"),
      // A file another program keeps open for writing (a save file, say) is
      // served all the same, whole or in part.
      Request("media/streamed.mp3"),
      Request("media/streamed.mp3", "bytes=0-99"),
      Step("close-files"),
      // Files served in ranges stay open between requests, every kind of
      // access shared, and are let go a couple of seconds after their last
      // use; then even a program that shares nothing may open them. One
      // that lets no reader in cannot be served: the server failed.
      Step("wait", {{"ms", 3500}}),
      OpenFile(app, streamed, "exclusive"),
      Request("media/streamed.mp3"),
      Request("media/streamed.mp3", "bytes=0-99"),
      Step("close-files"),
      Request("media/streamed.mp3", "bytes=0-99"),
      Step("end"),
  };
  const json atExit = {OpenFile(app, seek, "write"), OpenFile(app, streamed, "delete")};
  const StandInRun run = RunWithStandIn(app, {{"steps", steps}, {"atExit", atExit}});
  ExpectCleanRun(run);

  const std::vector<json> opened = run.Events("open-file");
  ASSERT_EQ(opened.size(), 7u);
  EXPECT_EQ(opened[0]["opened"], true) << "a file served in part lets writers in";
  EXPECT_EQ(opened[1]["opened"], true) << "and deleting";
  EXPECT_EQ(opened[2]["opened"], true) << "and readers";
  EXPECT_EQ(opened[3]["opened"], true) << "a streamed file is let go once read";
  EXPECT_EQ(opened[4]["opened"], true) << "nothing of Kiln's holds it open";
  EXPECT_EQ(opened[5]["opened"], true);
  EXPECT_EQ(opened[6]["opened"], true);

  const std::vector<json> responses = run.Events("response");
  ASSERT_EQ(responses.size(), 8u);
  const Lines head = {kNoStore, "Content-Type: audio/mpeg", kAcceptRanges};
  Lines first100 = head;
  first100.push_back("Content-Range: bytes 0-99/1000");
  first100.push_back("Content-Length: 100");
  ExpectAnswer(responses[1], 206, "Partial Content", first100, Pattern(1000, 4).substr(0, 100));
  EXPECT_EQ(responses[2]["status"], 206);
  Lines whole = head;
  whole.push_back("Content-Length: 1000");
  ExpectAnswer(responses[3], 200, "OK", whole, Pattern(1000, 5));
  ExpectAnswer(responses[4], 206, "Partial Content", first100, Pattern(1000, 5).substr(0, 100));
  Lines failed = head;
  failed.push_back("Content-Length: 0");
  ExpectAnswer(responses[5], 500, "Internal Server Error", failed, std::nullopt);
  ExpectAnswer(responses[6], 500, "Internal Server Error", failed, std::nullopt);
  ExpectAnswer(responses[7], 206, "Partial Content", first100, Pattern(1000, 5).substr(0, 100));
}

TEST(ContentFileSharing, AFileReplacedWhileKilnRunsIsServedAsItIsNow) {
  TestApp app("ContentFileReplaced");
  BundleApp(app);
  app.WriteFile("www/index.html", kStartPage);
  app.WriteFile("www/media/video.mp4", Pattern(1000, 8));
  app.WriteFile("new.mp4", Pattern(1500, 9));
  const fs::path copied = app.Path("copied");
  const std::string transcript = app.Path("transcript.jsonl").string();
  fs::remove(transcript);
  const json steps = {
      Request("media/video.mp4", "bytes=0-99"),
      Request("media/video.mp4", "bytes=500-"),
      Request("media/video.mp4"),
      Step("snapshot", {{"label", "served"}}),
      Step("await-file", {{"path", WinePath(copied)}}),
      Request("media/video.mp4", "bytes=0-99"),
      Request("media/video.mp4"),
      Step("end"),
  };
  auto running = std::async(std::launch::async, [&] { return RunWithStandIn(app, {{"steps", steps}}); });
  for (int wait = 0; wait < 2000 && ReadFile(transcript).find("\"served\"") == std::string::npos; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // The way an author's tool saves over a file in place, from another
  // Windows program: Wine holds it to the sharing Kiln's handles allow.
  const int copy = RunWine({"cmd", "/c", "copy", "/y", WinePath(app.Path("new.mp4")),
                            WinePath(app.Path("www/media/video.mp4"))});
  std::ofstream(copied) << "go";
  const StandInRun run = running.get();
  ExpectCleanRun(run);
  EXPECT_EQ(copy, 0) << "the copy over the served file succeeded";
  EXPECT_EQ(ReadFile(app.Path("www/media/video.mp4")), Pattern(1500, 9));

  const std::vector<json> responses = run.Events("response");
  ASSERT_EQ(responses.size(), 6u);
  const Lines head = {kNoStore, "Content-Type: video/mp4", kAcceptRanges};
  Lines before = head, after = head, whole = head;
  before.insert(before.end(), {"Content-Range: bytes 0-99/1000", "Content-Length: 100"});
  ExpectAnswer(responses[1], 206, "Partial Content", before, Pattern(1000, 8).substr(0, 100));
  after.insert(after.end(), {"Content-Range: bytes 0-99/1500", "Content-Length: 100"});
  ExpectAnswer(responses[4], 206, "Partial Content", after, Pattern(1500, 9).substr(0, 100));
  whole.push_back("Content-Length: 1500");
  ExpectAnswer(responses[5], 200, "OK", whole, Pattern(1500, 9));
}

// Links and junctions inside www may lead anywhere; only what lies inside www
// is served, and with the size of the file the link leads to.
TEST(ContentLinks, LinksLeadingOutOfWwwAreNotFoundAndThoseInsideAreServed) {
  TestApp app("ContentLinks");
  BundleApp(app);
  app.WriteFile("www/index.html", kStartPage);
  app.WriteFile("www/media/song.ogg", Pattern(1000, 6));
  app.WriteFile("secret.txt", "outside www");
  app.WriteFile("photos/me.png", Pattern(300, 7));
  fs::create_symlink(app.Path("secret.txt"), app.Path("www/secret.txt"));
  fs::create_directory_symlink(app.Path("photos"), app.Path("www/photos"));
  fs::create_symlink("media/song.ogg", app.Path("www/theme.ogg"));
  fs::create_directory_symlink("media", app.Path("www/music"));
  const json steps = {
      Request("secret.txt"), Request("secret.txt", "bytes=0-1"), Request("photos/me.png"),
      Request("theme.ogg"),  Request("theme.ogg", "bytes=10-19"), Request("music/song.ogg"),
      // The file answers its own name, any case of it, and the links to it
      // alike, in part or whole, however often it is asked for.
      Request("media/song.ogg", "bytes=10-19"), Request("MEDIA/Song.OGG", "bytes=10-19"),
      Request("music/song.ogg", "bytes=10-19"), Request("media/song.ogg"),
      Request("secret.txt", "bytes=0-1"),
      Step("end"),
  };
  const StandInRun run = RunWithStandIn(app, {{"steps", steps}});
  ExpectCleanRun(run);
  const std::vector<json> responses = run.Events("response");
  ASSERT_EQ(responses.size(), 12u);
  for (size_t i = 1; i <= 3; ++i) ExpectNotFound(responses[i]);
  const Lines head = {kNoStore, "Content-Type: audio/ogg", kAcceptRanges};
  Lines whole = head;
  whole.push_back("Content-Length: 1000");
  ExpectAnswer(responses[4], 200, "OK", whole, Pattern(1000, 6));
  Lines part = head;
  part.push_back("Content-Range: bytes 10-19/1000");
  part.push_back("Content-Length: 10");
  ExpectAnswer(responses[5], 206, "Partial Content", part, Pattern(1000, 6).substr(10, 10));
  ExpectAnswer(responses[6], 200, "OK", whole, Pattern(1000, 6));
  for (size_t i = 7; i <= 9; ++i) {
    ExpectAnswer(responses[i], 206, "Partial Content", part, Pattern(1000, 6).substr(10, 10));
  }
  ExpectAnswer(responses[10], 200, "OK", whole, Pattern(1000, 6));
  ExpectNotFound(responses[11]);
}

}  // namespace
}  // namespace kiln::testing
