// The browser's side of the web view: one page of a headless Chromium, in a
// browser context of its own, driven over DevTools. It delivers Kiln's
// answers to the page's requests, raises the web view's events from what
// the page does, and shows the page in Kiln's window.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>
#include <string>

#include "dev_tools.h"
#include "view_window.h"
#include "web_view.h"

namespace standin {

class Page final : public PageDriver {
 public:
  Page() = default;
  ~Page();

  // Connects to the browser at the DevTools address, opens the page and
  // calls ready with true once it can load documents, or with false.
  void Open(const std::string& address, HWND parent, std::function<void(bool)> ready);
  // The web view whose events the page raises; null detaches.
  void Attach(WebView* webView);
  void Close();

  void SetBounds(const RECT& bounds);
  void SetVisible(bool visible);
  void Focus();

  void Navigate(const std::wstring& uri) override;
  void PostJson(const std::string& json) override;
  void FiltersChanged() override;
  void Evaluate(const std::string& expression, const std::string& label) override;

 private:
  using json = nlohmann::json;

  void Send(const std::string& method, json params = json::object(),
            DevTools::Reply reply = nullptr);
  void RunInOrder(std::shared_ptr<std::vector<std::pair<std::string, json>>> steps, size_t index,
                  std::function<void(bool)> ready);
  json FetchPatterns() const;
  void OnEvent(const std::string& method, const json& params, const std::string& sessionId);
  void OnRequestPaused(const json& params);
  void Answer(const std::string& requestId, const ServedResponse* response);
  void CallInPage(const char* function, const std::string& argument);
  void OnBinding(const json& params);
  void OnPermissionAsked(const json& report);
  void DecideInTurn(std::shared_ptr<const json> report, size_t index);
  void OnFrame(const json& params);

  DevTools devTools_;
  ViewWindow view_;
  WebView* webView_ = nullptr;
  std::string contextId_;
  std::string targetId_;
  std::string sessionId_;
  RECT bounds_ = {};
  bool closing_ = false;
  int frames_ = 0;
};

}  // namespace standin
