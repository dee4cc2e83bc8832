// The local content server's Windows side: gathers the facts of a request
// under the origin for the core's answer (content_answer.h), then carries the
// answer out with a body stream and CreateWebResourceResponse.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/text_win.h"
#include "webview/byte_streams_win.h"
#include "webview/content_answer.h"
#include "webview/content_bodies_win.h"
#include "webview/content_folder_win.h"
#include "webview/kiln_web_view.h"
#include "webview/webview2/co_task_string.h"

namespace kiln {
namespace {

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

// Releases the range-served files left unused, then stops once none is held.
void CALLBACK ReleaseUnusedContentFiles(HWND window, UINT, UINT_PTR id, DWORD) {
  if (g_webView && g_webView->heldContentFiles.ReleaseUnused()) return;
  KillTimer(window, id);
  if (g_webView) g_webView->heldContentFilesTimer = false;
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
    if (contentFolderFinalPath.empty()) contentFolderFinalPath = FinalFolderPath(contentFolder);
    // Ranges are what a video or sound is read in, many per file: their
    // files are kept open between requests.
    ContentFolderFiles files(contentFolder, contentFolderFinalPath,
                             range ? &heldContentFiles : nullptr);
    std::optional<std::string_view> rangeValue;
    if (range) rangeValue = *range;
    ContentAnswer answer =
        AnswerContentRequest(WideToUtf8(uri.Get()), originPrefix, rangeValue, files);

    ComRef<IStream> body;
    switch (answer.body) {
      case ContentBody::NotFoundText:
        body = NotFoundBody();
        break;
      case ContentBody::WholeFile:
        body = FileRangeStream(files.TakeFile(), 0, answer.fileSize);
        break;
      case ContentBody::FileRange:
        body = answer.rangeCount <= kCopiedRangeBytes
                   ? CopiedRangeBody(files.File(), answer.rangeFirst, answer.rangeCount)
                   : RangeBody(files.TakeFile(), answer.rangeFirst, answer.rangeCount);
        break;
      case ContentBody::None:
        break;
    }
    // A file found but not readable is the server's failure, never a
    // success without its bytes.
    if (answer.body != ContentBody::None && !body) MakeServerError(answer);
    if (range && window && !heldContentFilesTimer &&
        SetTimer(window, kHeldContentFilesTimer, HeldContentFiles::kHeldContentFileMs / 2,
                 ReleaseUnusedContentFiles)) {
      heldContentFilesTimer = true;
    }

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
