#include "webview/kiln_web_view.h"

#include "webview/app_origin.h"

namespace kiln {

KilnWebView* g_webView = nullptr;

KilnWebView::KilnWebView(AppConfig* config, HWND window, const std::string& exeFolder,
                         const wchar_t* browserFolder, const std::string& userDataFolder)
    : config(config),
      application(g_appContext),
      window(window),
      exeFolder(exeFolder),
      contentSubfolder("www\\"),
      userDataFolder(userDataFolder),
      browserFolder(browserFolder) {
  if (application) {
    application->contentFolder = exeFolder + contentSubfolder;
  }
  originPrefix = config->contentMode == ContentMode::Remote ? config->main : kAppOrigin;
}

KilnWebView::~KilnWebView() {
  if (taskbar) taskbar->Release();
}

}  // namespace kiln
