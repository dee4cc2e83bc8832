// KilnWebView as the extensions' web view host, before its web view exists.
#include <gtest/gtest.h>

#include "app/app_config.h"
#include "app/app_context.h"
#include "extensions/extension.h"
#include "webview/kiln_web_view.h"

namespace kiln {
namespace {

TEST(WebViewHostTest, ServesTheExtensionsOnlyWhileItLives) {
  AppConfig config;
  ParseAppConfig(R"({"name": "host-test"})", config);
  AppContext app("C:\\app\\");
  g_appContext = &app;
  Extension extension(&app, "C:\\app\\tool.ext.dll");
  {
    KilnWebView host(&config, nullptr, app.exeFolder, nullptr, "C:\\data\\host-test");
    EXPECT_EQ(app.webViewHost, &host);
    EXPECT_EQ(app.contentFolder, "C:\\app\\www\\");
    EXPECT_STREQ(extension.GetUserDataFolder(), "C:\\data\\host-test");
    // The web view is still being created: a message to the page, and the
    // answer to a page message, are dropped without harm.
    extension.SendWebMessage("early", 0, nullptr, 1);
    host.HandleWebMessage(R"({"type":"wrapper-init"})");
    EXPECT_EQ(host.webView.Get(), nullptr);
  }
  EXPECT_EQ(app.webViewHost, nullptr) << "no pointer to a destroyed host is left behind";
  EXPECT_STREQ(extension.GetUserDataFolder(), "");
  g_appContext = nullptr;
}

}  // namespace
}  // namespace kiln
