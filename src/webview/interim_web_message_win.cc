// Until the message bridge is in place the page's messages are dropped, as
// malformed ones will be later.
#include "webview/kiln_web_view.h"

namespace kiln {

HRESULT KilnWebView::OnWebMessageReceived(ICoreWebView2*, ICoreWebView2WebMessageReceivedEventArgs*) {
  return S_OK;
}

}  // namespace kiln
