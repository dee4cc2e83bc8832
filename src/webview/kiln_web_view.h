// The one object that owns the main window's web view and the window state
// the page can change.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>

#include "app/app_config.h"
#include "app/app_context.h"

namespace kiln {

class KilnWebView {
 public:
  KilnWebView(AppConfig* config, HWND window, const std::string& exeFolder,
              const wchar_t* browserFolder, const std::string& userDataFolder);
  ~KilnWebView();
  KilnWebView(const KilnWebView&) = delete;
  KilnWebView& operator=(const KilnWebView&) = delete;

  // Window operations the page can trigger; lengths in 96-DPI units.
  void SetFullscreen(bool on);
  void SetWindowSize(int width, int height);
  void SetWindowPosition(int x, int y);

  AppConfig* config = nullptr;
  AppContext* application = nullptr;
  HWND window = nullptr;
  std::string exeFolder;
  std::string contentSubfolder;
  std::string userDataFolder;
  std::string originPrefix;
  const wchar_t* browserFolder = nullptr;
  ITaskbarList2* taskbar = nullptr;
  bool isFullscreen = false;
  LONG savedStyle = 0;
  LONG savedExStyle = 0;
  RECT savedRect = {};
};

// Set from just before KilnWebView::Init until the message loop has ended.
extern KilnWebView* g_webView;

}  // namespace kiln
