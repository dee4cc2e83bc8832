// The process-wide application object: folders, the loaded extensions and the
// two registries they share.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kiln {

class Extension;
class WebViewHost;

struct AppContext {
  explicit AppContext(std::string exeFolder);
  ~AppContext();
  AppContext(const AppContext&) = delete;
  AppContext& operator=(const AppContext&) = delete;

  std::string exeFolder;       // ends in a backslash
  std::string contentFolder;   // empty until the web view host is set up
  WebViewHost* webViewHost = nullptr;  // not owned
  std::vector<std::unique_ptr<Extension>> extensions;  // in load order
  std::map<std::string, Extension*> components;        // id -> owner, not owned
  std::map<std::string, void*> sharedValues;
};

// Set while the AppContext exists, from its creation at start-up to teardown.
extern AppContext* g_appContext;

}  // namespace kiln
