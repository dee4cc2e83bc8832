// The browser's side of the web view: one page of a headless Chromium that
// keeps the profile of Kiln's user data folder (browser_process.h), driven
// over DevTools. It delivers Kiln's answers to the page's requests, raises
// the web view's events from what the page does, and shows the page in
// Kiln's window.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>
#include <string>

#include "dev_tools.h"
#include "page_driver.h"
#include "view_window.h"
#include "web_view.h"

namespace standin {

class Page final : public PageDriver {
 public:
  explicit Page(BrowserOptions options) : options_(std::move(options)) {}
  ~Page() override;

  // Opens the view in Kiln's window; the browser starts on the first navigation.
  void Open(HWND parent, std::function<void(bool ready)> ready) override;
  bool LoadsByItself() const override { return true; }
  void Close() override;

  void SetBounds(const RECT& bounds) override;
  void SetVisible(bool visible) override;
  void Focus() override;

  void Navigate(const std::wstring& uri) override;
  void PostJson(const std::string& json) override;
  void FiltersChanged() override;
  void Evaluate(const std::string& expression, const std::string& label) override;

 private:
  using json = nlohmann::json;

  enum class Browser { NotStarted, Starting, Ready, Gone };
  struct Command {
    std::string method;
    json params;
    DevTools::Reply reply;
  };

  // Sends a command to the page, or queues it until the page is ready.
  void Send(const std::string& method, json params = json::object(),
            DevTools::Reply reply = nullptr);
  void StartBrowser();
  void RunInOrder(std::shared_ptr<std::vector<std::pair<std::string, json>>> steps, size_t index);
  void OnReady();
  void Fail(const std::string& why);
  json FetchPatterns() const;
  void OnEvent(const std::string& method, const json& params, const std::string& sessionId);
  void OnRequestPaused(const json& params);
  void Answer(const std::string& requestId, const ServedResponse* response);
  void CallInPage(const char* function, const std::string& argument);
  void OnBinding(const json& params);
  void OnPermissionAsked(const json& report);
  void DecideInTurn(std::shared_ptr<const json> report, size_t index);
  void OnFrame(const json& params);
  void ReportDevToolsAddress();
  // "minimized" or "normal": the browser's own window, which decides
  // whether the page is hidden.
  void SetWindowState(const char* state);

  BrowserOptions options_;
  bool devToolsPort_ = false;
  Browser browser_ = Browser::NotStarted;
  std::vector<Command> queued_;
  DevTools devTools_;
  ViewWindow view_;
  std::string targetId_;
  std::string sessionId_;
  RECT bounds_ = {};
  bool closing_ = false;
  bool minimized_ = false;
  int frames_ = 0;
};

}  // namespace standin
