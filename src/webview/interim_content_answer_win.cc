// Until the local content server is in place every request under the origin
// is answered "not found", so the page fails visibly rather than hanging.
#include <shlwapi.h>

#include "webview/kiln_web_view.h"

namespace kiln {

HRESULT KilnWebView::OnWebResourceRequested(ICoreWebView2WebResourceRequestedEventArgs* args) {
  if (!args || !environment) return S_OK;
  static const char kBody[] = "File not found";
  IStream* body = SHCreateMemStream(reinterpret_cast<const BYTE*>(kBody), sizeof(kBody) - 1);
  ComRef<ICoreWebView2WebResourceResponse> response;
  environment->CreateWebResourceResponse(body, 404, L"Not Found", L"Cache-Control: no-store",
                                         response.Put());
  if (body) body->Release();
  if (response) args->put_Response(response.Get());
  return S_OK;
}

}  // namespace kiln
