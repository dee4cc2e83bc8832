// The web view's side of the message bridge: takes the page's messages off
// WebView2 and posts the host's answers back. Parsing, dispatch and the JSON
// texts live in the portable core (bridge/).
#include "bridge/outgoing_messages.h"
#include "bridge/web_message.h"
#include "common/text_win.h"
#include "webview/app_origin.h"
#include "webview/kiln_web_view.h"
#include "webview/webview2/co_task_string.h"

namespace kiln {

HRESULT KilnWebView::OnWebMessageReceived(ICoreWebView2*,
                                          ICoreWebView2WebMessageReceivedEventArgs* args) {
  if (!args) return S_OK;
  CoTaskString source;
  args->get_Source(source.Put());
  // A sender whose address cannot be read is not heard, whatever the prefix.
  if (source.IsNull() || !IsTrustedSender(WideToUtf8(source.Get()), originPrefix)) return S_OK;
  CoTaskString text;
  // A message posted as a JSON value rather than a string has no text: it is
  // dropped like any other malformed message.
  if (FAILED(args->TryGetWebMessageAsString(text.Put())) || text.IsNull()) return S_OK;
  // Extensions may show dialogs while they handle a message: not in here.
  Defer([this, message = WideToUtf8(text.Get())] { HandleWebMessage(message); });
  return S_OK;
}

void KilnWebView::HandleWebMessage(const std::string& text) {
  if (application) kiln::HandleWebMessage(text, *this, *application);
}

void KilnWebView::PostJson(const std::string& json) {
  if (!webView) return;
  const std::wstring text = Utf8ToWide(json);
  webView->PostWebMessageAsJson(text.c_str());
}

void KilnWebView::PostExtensionMessage(const std::string& componentId,
                                       const std::string& messageId, const OutgoingValues& values,
                                       double asyncId) {
  PostJson(BuildExtensionMessage(componentId, messageId, values, asyncId));
}

}  // namespace kiln
