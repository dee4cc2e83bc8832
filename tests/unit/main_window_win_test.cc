// The main window and the operations the page can trigger, on a real window.
#include <windows.h>

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>

#include "app/app_config.h"
#include "app/main_window_win.h"
#include "common/dpi.h"
#include "extensions/extension_call.h"
#include "webview/kiln_web_view.h"
#include "../common/sample_png.h"
#include "../extensions/msvc_throw.h"
#include "../extensions/windows_rtl_unwind.h"

namespace kiln {
namespace {

// The main window's class, by which other programs find it.
constexpr wchar_t kMainWindowClass[] = L"WindowsWebview2Wrapper";

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

class WindowOperationsTest : public ::testing::Test {
 protected:
  // Once for every suite built on this one: a class registers only once.
  static void SetUpTestSuite() {
    static const bool registered = [] {
      ParseAppConfig(R"({"name": "window-test"})", config_);
      return RegisterMainWindowClass(GetModuleHandleW(nullptr), config_);
    }();
    ASSERT_TRUE(registered);
  }

  void SetUp() override {
    window_ = CreateMainWindow(GetModuleHandleW(nullptr), config_, L"Window test");
    ASSERT_NE(window_, nullptr);
    SetWindowPos(window_, nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    host_ = new KilnWebView(&config_, window_, "C:\\app\\", nullptr, "C:\\data\\window-test");
  }

  void TearDown() override {
    delete host_;
    DestroyWindow(window_);
  }

  RECT WindowRect() const {
    RECT r;
    GetWindowRect(window_, &r);
    return r;
  }

  RECT ClientRect() const {
    RECT r;
    GetClientRect(window_, &r);
    return r;
  }

  LONG Style() const { return GetWindowLongW(window_, GWL_STYLE); }
  LONG ExStyle() const { return GetWindowLongW(window_, GWL_EXSTYLE); }

  static AppConfig config_;
  HWND window_ = nullptr;
  KilnWebView* host_ = nullptr;
};

AppConfig WindowOperationsTest::config_;

TEST_F(WindowOperationsTest, FullscreenCoversTheMonitorWithoutFrame) {
  host_->SetFullscreen(true);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
  EXPECT_TRUE(SameRect(WindowRect(), monitor.rcMonitor)) << RectText(WindowRect());
  EXPECT_EQ(Style() & (WS_CAPTION | WS_THICKFRAME), 0);
  EXPECT_EQ(Style() & (WS_SYSMENU | WS_MINIMIZEBOX), WS_SYSMENU | WS_MINIMIZEBOX)
      << "other style bits stay";
  EXPECT_TRUE(host_->isFullscreen);
}

TEST_F(WindowOperationsTest, EnteringTwiceAndLeavingOnceRestoresTheWindow) {
  const RECT before = WindowRect();
  const LONG style = Style(), exStyle = ExStyle();
  host_->SetFullscreen(true);
  host_->SetFullscreen(true);
  host_->SetFullscreen(false);
  EXPECT_FALSE(host_->isFullscreen);
  EXPECT_TRUE(SameRect(WindowRect(), before)) << RectText(WindowRect());
  EXPECT_EQ(Style(), style);
  EXPECT_EQ(ExStyle(), exStyle);
  host_->SetFullscreen(false);  // already windowed: nothing happens
  EXPECT_TRUE(SameRect(WindowRect(), before));
}

TEST_F(WindowOperationsTest, SizeKeepsTheTopLeftCorner) {
  const RECT before = WindowRect();
  host_->SetWindowSize(640, 480);
  const RECT after = WindowRect();
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);
  EXPECT_EQ(ClientRect().right, DpiScale(640));
  EXPECT_EQ(ClientRect().bottom, DpiScale(480));
}

TEST_F(WindowOperationsTest, ImpossibleSizesAreIgnored) {
  const RECT before = WindowRect();
  host_->SetWindowSize(0, 480);
  host_->SetWindowSize(640, 0);
  host_->SetWindowSize(-640, 480);
  host_->SetWindowSize(640, -1);
  EXPECT_TRUE(SameRect(WindowRect(), before)) << RectText(WindowRect());
}

TEST_F(WindowOperationsTest, PositionKeepsTheSize) {
  const RECT before = WindowRect();
  host_->SetWindowPosition(10, 20);
  const RECT after = WindowRect();
  EXPECT_EQ(after.left, DpiScale(10));
  EXPECT_EQ(after.top, DpiScale(20));
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
}

TEST_F(WindowOperationsTest, SizeAndPositionWaitForNothingWhileFullscreen) {
  const RECT before = WindowRect();
  host_->SetFullscreen(true);
  const RECT fullscreen = WindowRect();
  host_->SetWindowSize(320, 200);
  host_->SetWindowPosition(5, 5);
  EXPECT_TRUE(SameRect(WindowRect(), fullscreen));
  host_->SetFullscreen(false);
  EXPECT_TRUE(SameRect(WindowRect(), before)) << "requests made while fullscreen are not replayed";
}

// Deferred work runs from the main window's procedure, as in Kiln's loop.
class DeferredWorkTest : public WindowOperationsTest {
 protected:
  void SetUp() override {
    WindowOperationsTest::SetUp();
    g_webView = host_;
  }
  void TearDown() override {
    g_webView = nullptr;
    WindowOperationsTest::TearDown();
  }

  // Dispatches the thread's messages until done, for a second at most.
  static void PumpUntil(const int& done, int wanted) {
    for (int i = 0; i < 200 && done < wanted; ++i) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
      if (done < wanted) Sleep(5);
    }
  }
};

// What an extension may do: handle a message of its own in a subclass of
// the main window, the first number of the range it is told to use.
WNDPROC g_mainWindowProc = nullptr;
LRESULT CALLBACK EatsFirstAppMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP + 1) return 0;
  return CallWindowProcW(g_mainWindowProc, window, message, wParam, lParam);
}

TEST_F(DeferredWorkTest, RunsThroughASubclassThatHandlesAnExtensionsOwnMessage) {
  g_mainWindowProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EatsFirstAppMessage)));
  int ran = 0;
  host_->Defer([&ran] { ++ran; });
  PostMessageW(window_, WM_APP + 1, 0, 0);
  PumpUntil(ran, 1);
  EXPECT_EQ(ran, 1);
}

TEST_F(DeferredWorkTest, ATaskThatThrowsIsDroppedAloneAndLaterWorkStillRuns) {
  int ran = 0;
  host_->Defer([&ran] { ++ran; });
  host_->Defer([] { throw std::runtime_error("a failing task"); });
  host_->Defer([&ran] { ++ran; });
  PumpUntil(ran, 2);
  EXPECT_EQ(ran, 2);
  host_->Defer([&ran] { ++ran; });
  PumpUntil(ran, 3);
  EXPECT_EQ(ran, 3);
}

// Throws from OnWebMessage as an MSVC-built extension does.
int g_thrownObjectsDestroyed = 0;
class MsvcThrowingExtension final : public IExtension {
 public:
  void Destroy() override {}
  void OnWebMessage(const char*, int32_t, const ExtensionValue*, double) override {
    kiln_test::ThrowAsMsvc(GetModuleHandleW(nullptr), {[] { ++g_thrownObjectsDestroyed; }, nullptr});
  }
  void OnMainWindowCreated(WindowHandle) override {}
  void OnExtensionsLoaded() override {}
};

int g_timerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_timerTicks; }

TEST_F(DeferredWorkTest, AnExtensionsMsvcExceptionStoppedInTheWindowProcedureLeavesTheThreadWorking) {
  // Kiln reaches extensions from deferred work inside the main window's
  // procedure, called by the system's message dispatch.
#if !defined(_WIN64)
  kiln_test::RouteHostRtlUnwindAsWindows();
#endif
  MsvcThrowingExtension extension;
  g_thrownObjectsDestroyed = 0;
  int ran = 0;
  bool delivered = true;
  host_->Defer([&] {
    delivered = DeliverWebMessage(extension, "throw", 0, nullptr, -1);
    ++ran;
  });
  PumpUntil(ran, 1);
  ASSERT_EQ(ran, 1);
  EXPECT_FALSE(delivered);
  EXPECT_EQ(g_thrownObjectsDestroyed, 1);
  // Timers, posted messages and later work still reach the thread.
  g_timerTicks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 10, CountTick);
  host_->Defer([&ran] { ++ran; });
  PumpUntil(ran, 2);
  PumpUntil(g_timerTicks, 1);
  KillTimer(nullptr, timer);
  EXPECT_EQ(ran, 2);
  EXPECT_GE(g_timerTicks, 1);
}

// F11 and Alt+Enter while the window itself has the keyboard (before the
// page takes it, or after it gave it back).
TEST_F(DeferredWorkTest, FullscreenKeysReachTheWindowItself) {
  constexpr LPARAM kAlt = 1 << 29, kHeld = 1 << 30;
  SendMessageW(window_, WM_KEYDOWN, VK_F11, 1);
  EXPECT_TRUE(host_->isFullscreen);
  SendMessageW(window_, WM_KEYDOWN, VK_F11, 1 | kHeld);
  EXPECT_TRUE(host_->isFullscreen) << "a held key switches once";
  SendMessageW(window_, WM_SYSKEYDOWN, VK_RETURN, 1 | kAlt);
  EXPECT_FALSE(host_->isFullscreen);
  EXPECT_EQ(SendMessageW(window_, WM_SYSCHAR, '\r', 1 | kAlt), 0) << "no beep from the menu";
  SendMessageW(window_, WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_FALSE(host_->isFullscreen) << "Enter alone is the game's";

  config_.fullscreenKeys = false;
  SendMessageW(window_, WM_KEYDOWN, VK_F11, 1);
  SendMessageW(window_, WM_SYSKEYDOWN, VK_RETURN, 1 | kAlt);
  config_.fullscreenKeys = true;
  EXPECT_FALSE(host_->isFullscreen) << "keys switched off";
}

TEST_F(DeferredWorkTest, MinimumSizeHoldsForThePageAndForDrags) {
  config_.minWidth = 300;
  config_.minHeight = 200;
  host_->SetWindowSize(100, 400);
  const RECT asked = ClientRect();
  SetWindowPos(window_, nullptr, 0, 0, 50, 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT dragged = ClientRect();
  host_->SetWindowSize(320, 240);
  const RECT allowed = ClientRect();
  config_.minWidth = config_.minHeight = 0;
  EXPECT_EQ(RectText(asked), RectText({0, 0, DpiScale(300), DpiScale(400)}));
  EXPECT_EQ(RectText(dragged), RectText({0, 0, DpiScale(300), DpiScale(200)}));
  EXPECT_EQ(RectText(allowed), RectText({0, 0, DpiScale(320), DpiScale(240)}));
}

TEST(MainWindowTest, ClassIsRegisteredWithTheIconOfAnImageFile) {
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartupInput input;
  ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);

  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring png = std::wstring(folder) + L"kiln-icon-test.png";
  std::ofstream(png.c_str(), std::ios::binary) << testing::SamplePng();
  char narrow[MAX_PATH * 3];
  WideCharToMultiByte(CP_UTF8, 0, png.c_str(), -1, narrow, sizeof(narrow), nullptr, nullptr);

  HICON icon = LoadIconFromImageFile(narrow);
  EXPECT_NE(icon, nullptr);
  EXPECT_EQ(LoadIconFromImageFile(std::string(narrow) + ".missing"), nullptr);

  // The window-operation tests may have registered the class already.
  UnregisterClassW(kMainWindowClass, GetModuleHandleW(nullptr));
  AppConfig config;
  config.iconHandle = icon;
  ASSERT_TRUE(RegisterMainWindowClass(GetModuleHandleW(nullptr), config));
  WNDCLASSEXW info = {};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), kMainWindowClass, &info));
  EXPECT_EQ(info.hIcon, icon);
  EXPECT_EQ(info.hIconSm, icon);
  EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  UnregisterClassW(kMainWindowClass, GetModuleHandleW(nullptr));

  DeleteFileW(png.c_str());
  Gdiplus::GdiplusShutdown(token);
}

}  // namespace
}  // namespace kiln
