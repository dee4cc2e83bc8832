// Cost of the content server's decision for one request: parsing the URI,
// guarding the path, looking up the MIME type, reading the range and building
// the header lines. The file system is an in-memory table, so only the core's
// own work is measured.
#include <benchmark/benchmark.h>

#include <string>
#include <unordered_map>

#include "webview/app_origin.h"
#include "webview/content_answer.h"

namespace {

class TableFiles : public kiln::ContentFiles {
 public:
  TableFiles() {
    facts_[""] = {true, true, 0};
    facts_["index.html"] = {true, false, 4096};
    facts_["assets/music/theme.ogg"] = {true, false, 6 * 1024 * 1024};
    facts_["assets/sprites/hero walk.png"] = {true, false, 20000};
  }
  kiln::FileFacts Examine(const std::string& relativePath) override {
    const auto found = facts_.find(relativePath);
    return found == facts_.end() ? kiln::FileFacts{} : found->second;
  }

 private:
  std::unordered_map<std::string, kiln::FileFacts> facts_;
};

void Answer(benchmark::State& state, const std::string& tail,
            std::optional<std::string_view> range, int expectedStatus) {
  TableFiles files;
  const std::string uri = std::string(kiln::kAppOrigin) + tail;
  for (auto _ : state) {
    kiln::ContentAnswer answer = kiln::AnswerContentRequest(uri, kiln::kAppOrigin, range, files);
    benchmark::DoNotOptimize(answer);
    if (answer.status != expectedStatus) state.SkipWithError("unexpected status");
  }
}

void BM_Answer200(benchmark::State& state) {
  Answer(state, "index.html", std::nullopt, 200);
}
void BM_Answer200EscapedWithQuery(benchmark::State& state) {
  Answer(state, "assets/sprites/hero%20walk.png?v=1700000000", std::nullopt, 200);
}
void BM_Answer200FolderIndex(benchmark::State& state) {
  Answer(state, "", std::nullopt, 200);
}
void BM_Answer206(benchmark::State& state) {
  Answer(state, "assets/music/theme.ogg", "bytes=1048576-1114111", 206);
}
void BM_Answer404Missing(benchmark::State& state) {
  Answer(state, "assets/missing.png", std::nullopt, 404);
}
void BM_Answer404Traversal(benchmark::State& state) {
  Answer(state, "..%2f..%2fpackage.json", std::nullopt, 404);
}

BENCHMARK(BM_Answer200);
BENCHMARK(BM_Answer200EscapedWithQuery);
BENCHMARK(BM_Answer200FolderIndex);
BENCHMARK(BM_Answer206);
BENCHMARK(BM_Answer404Missing);
BENCHMARK(BM_Answer404Traversal);

}  // namespace
