#include "page_driver.h"

#include "player.h"
#include "transcript.h"
#include "web_view.h"

namespace standin {

void PageDriver::Open(HWND, std::function<void(bool ready)> ready) { ready(true); }

void PageDriver::Attach(WebView* webView) {
  if (webView_) webView_->SetPage(nullptr);
  webView_ = webView;
  if (webView_) webView_->SetPage(this);
}

void PageDriver::Navigate(const std::wstring& uri) {
  // The navigation starts from the loop, as in a browser, not inside Kiln's call.
  Post([uri] {
    if (WebView* webView = WebView::Current()) webView->StartNavigation(uri, false);
  });
}

void PageDriver::Evaluate(const std::string&, const std::string&) {
  Record({{"event", "error"}, {"text", "only a real browser can evaluate script"}});
}

}  // namespace standin
