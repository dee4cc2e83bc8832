#include "bulk_requests.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "../common/random_ranges.h"
#include "transcript.h"
#include "web_view.h"

namespace standin {
namespace {

class Tally {
 public:
  Tally() : buffer_(64 * 1024) {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }

  void Add(WebView* webView, const std::wstring& uri, HeaderList headers) {
    const ComRef<ICoreWebView2WebResourceResponse> response =
        webView->Fetch(uri, std::move(headers));
    if (!response) {
      ++statuses_["none"];
      return;
    }
    int status = 0;
    response->get_StatusCode(&status);
    ++statuses_[std::to_string(status)];
    ComRef<IStream> stream;
    response->get_Content(stream.Put());
    if (!stream) return;
    for (;;) {
      ULONG read = 0;
      const HRESULT result =
          stream->Read(buffer_.data(), static_cast<ULONG>(buffer_.size()), &read);
      bytes_ += read;
      if (FAILED(result) || read == 0 || result == S_FALSE) break;
    }
  }

  void Report(const nlohmann::json& step) {
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    const double ms = 1000.0 * static_cast<double>(end.QuadPart - start_.QuadPart) /
                      static_cast<double>(frequency_.QuadPart);
    Record({{"event", "bulk"},
            {"do", step.value("do", "")},
            {"label", step.value("label", "")},
            {"statuses", statuses_},
            {"bytes", bytes_},
            {"ms", ms}});
  }

 private:
  std::vector<char> buffer_;
  std::map<std::string, int> statuses_;
  uint64_t bytes_ = 0;
  LARGE_INTEGER frequency_, start_;
};

}  // namespace

void RunBulkRequests(WebView* webView, const nlohmann::json& step) {
  const std::wstring prefix = Wide(step.value("prefix", ""));
  const std::wstring suffix = Wide(step.value("suffix", ""));
  const int count = step.value("count", 0);
  Tally tally;
  for (int i = 0; i < count; ++i) {
    tally.Add(webView, prefix + std::to_wstring(i) + suffix, HeaderList());
  }
  tally.Report(step);
}

void RunBulkRanges(WebView* webView, const nlohmann::json& step) {
  const std::wstring uri = Wide(step.value("uri", ""));
  const int count = step.value("count", 0);
  const uint64_t size = step.value("size", 0ull);
  const uint64_t fileSize = step.value("fileSize", 0ull);
  uint64_t state = step.value("seed", 1ull);
  if (size == 0 || size > fileSize) {
    Record({{"event", "error"}, {"text", "ranges needs 0 < size <= fileSize"}});
    return;
  }
  Tally tally;
  for (int i = 0; i < count; ++i) {
    const uint64_t first = kiln::testing::NextRangeStart(state, fileSize, size);
    const std::wstring range =
        L"bytes=" + std::to_wstring(first) + L"-" + std::to_wstring(first + size - 1);
    tally.Add(webView, uri, HeaderList{{L"Range", range}});
  }
  tally.Report(step);
}

}  // namespace standin
