#include "app/startup_win.h"

#include <objbase.h>
#include <gdiplus.h>

#include <memory>
#include <string>

#include "app/app_config.h"
#include "app/app_context.h"
#include "app/main_window_win.h"
#include "app/placement_win.h"
#include "app/single_instance.h"
#include "app/single_instance_win.h"
#include "app/user_data_folder.h"
#include "common/files_win.h"
#include "common/text_win.h"
#include "extensions/extension_loader_win.h"
#include "installer/runtime_check_win.h"
#include "webview/kiln_web_view.h"

namespace kiln {
namespace {

constexpr wchar_t kFixedCaption[] = L"Windows WebView2 wrapper";

int FailStartup(const wchar_t* text, const wchar_t* caption) {
  MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONERROR);
  return 1;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

}  // namespace

int RunKiln(HINSTANCE instance) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  const std::string exeFolder = FolderOf(GetExecutablePath());

  const std::string text = ReadFileToString(exeFolder + kConfigFileName);
  if (text.empty()) {
    return FailStartup(
        L"Failed to load package.json. Check the file is in the same folder as the app.",
        kFixedCaption);
  }

  AppConfig config;
  try {
    ParseAppConfig(text, config);
  } catch (...) {
    return FailStartup(
        L"Failed to parse package.json. Check the file has valid JSON and that all parameters "
        L"are correct.",
        kFixedCaption);
  }

  // Without the local application data folder the web view would put its
  // profile beside a bare name; refuse to start rather than guess.
  const std::string& localAppData = GetLocalAppDataPath();
  if (localAppData.empty()) {
    return FailStartup(
        L"Failed to find the local application data folder. Check that your user profile is "
        L"available.",
        kFixedCaption);
  }
  const std::string userDataFolder = localAppData + "\\" + UserDataFolderName(config.name);

  // A second start of the same app hands over to the first before anything
  // of its own exists.
  if (config.singleInstance &&
      HandOverToRunningInstance(SingleInstanceName(config.name, localAppData))) {
    return 0;
  }

  ULONG_PTR gdiplusToken = 0;
  Gdiplus::GdiplusStartupInput gdiplusInput;
  Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);

  if (!config.icon.empty()) {
    config.iconHandle = LoadIconFromImageFile(exeFolder + config.icon);
  }
  if (!config.iconHandle) {
    config.iconHandle = LoadIconW(instance, MAKEINTRESOURCEW(32512));
  }

  const std::wstring title = Utf8ToWide(config.title);
  const wchar_t* browserFolder = nullptr;

  if (!CheckWebView2Runtime(instance, userDataFolder, config, title, &browserFolder)) return 1;

  g_appContext = new AppContext(exeFolder);
  LoadExtensions(*g_appContext);

  if (!RegisterMainWindowClass(instance, config)) {
    return FailStartup(L"Failed to register window class", kFixedCaption);
  }
  HWND window = CreateMainWindow(instance, config, title);
  if (!window) {
    return FailStartup(L"Failed to create window", kFixedCaption);
  }
  if (config.singleInstance) AnnounceMainWindow(window);
  NotifyMainWindowCreated(*g_appContext, window);

  // The web view host lives for the whole run; a unique_ptr only fixes the
  // point of its destruction at the end of teardown.
  auto webView =
      std::make_unique<KilnWebView>(&config, window, exeFolder, browserFolder, userDataFolder);
  g_webView = webView.get();
  PlaceMainWindowAtStart(*webView);
  webView->Init();

  MSG message = {};
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  // No handle of the content server outlives the run's web view host.
  webView->heldContentFiles.ReleaseAll();
  g_webView = nullptr;
  UnloadExtensions(*g_appContext);
  delete g_appContext;
  g_appContext = nullptr;
  Gdiplus::GdiplusShutdown(gdiplusToken);
  webView.reset();
  return static_cast<int>(message.wParam);
}

}  // namespace kiln
