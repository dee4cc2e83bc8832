// The local content server's Windows side: gathers the facts of a request
// under the origin for the core's answer (content_answer.h), then carries the
// answer out with a body stream and CreateWebResourceResponse.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/paths.h"
#include "common/text_win.h"
#include "webview/content_answer.h"
#include "webview/content_bodies_win.h"
#include "webview/kiln_web_view.h"
#include "webview/request_path.h"
#include "webview/webview2/co_task_string.h"

namespace kiln {
namespace {

std::wstring ContentFileWidePath(const std::string& contentFolder, const std::string& relative) {
  return ToExtendedPath(Utf8ToWide(ContentFilePath(contentFolder, relative)));
}

// www as the core asks about it: through extended-length paths, so Windows
// resolves nothing the core has not already checked.
class ContentFolderFiles final : public ContentFiles {
 public:
  explicit ContentFolderFiles(std::string folder) : folder_(std::move(folder)) {}

  FileFacts Examine(const std::string& relativePath) override {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(ContentFileWidePath(folder_, relativePath).c_str(),
                              GetFileExInfoStandard, &data)) {
      return FileFacts{};
    }
    FileFacts facts;
    facts.exists = true;
    facts.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return facts;
  }

 private:
  std::string folder_;
};

// The Range header's value when the request has one the runtime hands over.
// One it cannot hand over counts as absent: the whole file answers any range
// request correctly.
std::optional<std::string> RangeHeader(ICoreWebView2WebResourceRequest* request) {
  ComRef<ICoreWebView2HttpRequestHeaders> headers;
  request->get_Headers(headers.Put());
  BOOL contains = FALSE;
  if (!headers || FAILED(headers->Contains(L"Range", &contains)) || !contains) return std::nullopt;
  CoTaskString value;
  if (FAILED(headers->GetHeader(L"Range", value.Put())) || value.IsNull()) return std::nullopt;
  return WideToUtf8(value.Get());
}

}  // namespace

HRESULT KilnWebView::OnWebResourceRequested(ICoreWebView2WebResourceRequestedEventArgs* args) {
  if (!args || !environment) return S_OK;
  // Only memory running out can throw here; the request then goes
  // unanswered rather than taking the host down.
  try {
    ComRef<ICoreWebView2WebResourceRequest> request;
    args->get_Request(request.Put());
    CoTaskString uri;
    std::optional<std::string> range;
    if (request) {
      request->get_Uri(uri.Put());
      range = RangeHeader(request.Get());
    }

    const std::string contentFolder = exeFolder + contentSubfolder;
    ContentFolderFiles files(contentFolder);
    std::optional<std::string_view> rangeValue;
    if (range) rangeValue = *range;
    ContentAnswer answer =
        AnswerContentRequest(WideToUtf8(uri.Get()), originPrefix, rangeValue, files);

    ComRef<IStream> body;
    if (answer.body == ContentBody::NotFoundText) {
      body = NotFoundBody();
    } else if (answer.body != ContentBody::None) {
      const std::wstring path = ContentFileWidePath(contentFolder, answer.filePath);
      if (answer.body == ContentBody::WholeFile) {
        body = WholeFileBody(path);
      } else {
        body = RangeBody(MapContentFile(answer.filePath, path), path, answer.rangeFirst,
                         answer.rangeCount);
      }
    }
    // A file found but not readable is the server's failure, never a
    // success without its bytes.
    if (answer.body != ContentBody::None && !body) MakeServerError(answer);

    const std::wstring reason = Utf8ToWide(answer.reason);
    const std::wstring headers = Utf8ToWide(JoinHeaderLines(answer.headerLines));
    ComRef<ICoreWebView2WebResourceResponse> response;
    environment->CreateWebResourceResponse(body.Get(), answer.status, reason.c_str(),
                                           headers.c_str(), response.Put());
    if (response) args->put_Response(response.Get());
  } catch (...) {
  }
  return S_OK;
}

}  // namespace kiln
