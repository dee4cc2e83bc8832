// The page behind the stand-in's web view. As it stands this is the page the
// stand-in plays itself, from the test's scenario; a runtime with a real
// browser behind its web view derives from it and overrides what that
// browser does instead.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace standin {

class WebView;

// What Kiln gave the runtime for its browser when creating the environment.
struct BrowserOptions {
  std::wstring userDataFolder;
  // The additional browser arguments, as a command line.
  std::wstring arguments;
};

class PageDriver {
 public:
  PageDriver() = default;
  virtual ~PageDriver() = default;
  PageDriver(const PageDriver&) = delete;
  PageDriver& operator=(const PageDriver&) = delete;

  // Opens the page in Kiln's window: ready(true) once it can load documents,
  // or ready(false). The scripted page is ready at once.
  virtual void Open(HWND parent, std::function<void(bool ready)> ready);
  // Whether a document loads without the scenario saying so; the scripted
  // page raises DOMContentLoaded only when a step does.
  virtual bool LoadsByItself() const { return false; }
  // The web view whose events the page raises; null detaches it.
  void Attach(WebView* webView);
  // Kiln closed or let go of the controller.
  virtual void Close() { Attach(nullptr); }

  // Kiln's requests through the controller.
  virtual void SetBounds(const RECT&) {}
  virtual void SetVisible(bool) {}
  virtual void Focus() {}

  // Kiln's requests through the web view, after the web view has recorded them.
  virtual void Navigate(const std::wstring& uri);
  virtual void PostJson(const std::string&) {}
  virtual void FiltersChanged() {}

  // Runs script in the page and records its value as "evaluated".
  virtual void Evaluate(const std::string& expression, const std::string& label);

 protected:
  WebView* webView() const { return webView_; }

 private:
  WebView* webView_ = nullptr;
};

// The page of each new controller. Each runtime links one definition.
std::unique_ptr<PageDriver> NewPageDriver(const BrowserOptions& options);

}  // namespace standin
