#include "app/window_placement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/fullscreen_keys.h"
#include "app/single_instance.h"

namespace kiln {
namespace {

TEST(WindowPlacementTest, FileRoundTrips) {
  for (const WindowPlacement& placement :
       {WindowPlacement{{-1920, 40, -400, 900}, true, false},
        WindowPlacement{{0, 0, 1, 1}, false, true}, WindowPlacement{{10, 20, 810, 620}, false, false}}) {
    const std::string text = FormatWindowPlacement(placement);
    const auto parsed = ParseWindowPlacement(text);
    ASSERT_TRUE(parsed) << text;
    EXPECT_EQ(parsed->rect, placement.rect);
    EXPECT_EQ(parsed->maximized, placement.maximized);
    EXPECT_EQ(parsed->fullscreen, placement.fullscreen);
  }
}

TEST(WindowPlacementTest, AnythingButAWholeFileIsIgnored) {
  const std::string whole = FormatWindowPlacement({{10, 20, 810, 620}, false, false});
  for (size_t length = 0; length < whole.size(); ++length) {
    EXPECT_FALSE(ParseWindowPlacement(whole.substr(0, length))) << "cut at " << length;
  }
  for (const char* text : {
           "kiln-window-placement 2\n10 20 810 620 0 0\n",     // another version
           "kiln-window-placement 1\n10 20 810 620 0 0\nx",    // more after it
           "kiln-window-placement 1\n10 20 810 620 0 2\n",     // a state not 0 or 1
           "kiln-window-placement 1\n10 20 10 620 0 0\n",      // no width
           "kiln-window-placement 1\n10 620 810 20 0 0\n",     // negative height
           "kiln-window-placement 1\n10  20 810 620 0 0\n",    // two blanks
           "kiln-window-placement 1\n10 20 810 620 0\n",       // a number missing
           "kiln-window-placement 1\n10 20 99999999999 620 0 0\n",  // too long a number
           "kiln-window-placement 1\n0 0 2000000 600 0 0\n",   // absurdly wide
           "kiln-window-placement 1\n- 20 810 620 0 0\n",
           "\xEF\xBB\xBFkiln-window-placement 1\n10 20 810 620 0 0\n",
       }) {
    EXPECT_FALSE(ParseWindowPlacement(text)) << text;
  }
}

TEST(WindowPlacementTest, ReachableWhenAGripOfTheTitleBarIsOnAMonitor) {
  const std::vector<ScreenRect> monitors = {{0, 0, 1920, 1040}, {1920, 0, 3200, 1024}};
  const int32_t bar = 23, grip = 96;
  struct Row {
    ScreenRect rect;
    bool reachable;
  } rows[] = {
      {{100, 100, 900, 700}, true},
      {{1800, 100, 2600, 700}, true},        // across two monitors
      {{3000, 100, 3800, 700}, true},        // 200 pixels of bar on the second
      {{3110, 100, 3910, 700}, false},       // 90 pixels: less than the grip
      {{3150, 100, 3190, 400}, true},        // narrower than the grip, wholly on it
      {{100, -10, 900, 700}, false},         // the bar's top above every monitor
      {{100, 1020, 900, 1600}, false},       // 20 pixels of bar: less than its height
      {{100, 1017, 900, 1600}, true},
      {{4000, 100, 4800, 700}, false},       // where a removed monitor was
      {{-900, 100, -100, 700}, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsReachable(row.rect, monitors, bar, grip), row.reachable)
        << row.rect.left << "," << row.rect.top;
  }
  EXPECT_FALSE(IsReachable({100, 100, 900, 700}, {}, bar, grip)) << "no monitor at all";
}

TEST(WindowPlacementTest, CentredInTheArea) {
  EXPECT_EQ(CentredIn({0, 0, 1920, 1040}, 1040, 806), (ScreenRect{440, 117, 1480, 923}));
  EXPECT_EQ(CentredIn({1920, 0, 3200, 1024}, 2000, 1200), (ScreenRect{1920, 0, 3920, 1200}))
      << "larger than the area: the top-left corner stays inside";
}

TEST(FullscreenKeysTest, F11AndAltEnterSwitchOncePerPress) {
  using K = KeyEventKind;
  using A = FullscreenKeyAction;
  const struct {
    K kind;
    uint32_t key;
    bool alt, repeat;
    A action;
  } rows[] = {
      {K::KeyDown, 0x7A, false, false, A::Toggle},        // F11
      {K::KeyDown, 0x7A, false, true, A::Swallow},        // held down
      {K::KeyUp, 0x7A, false, true, A::Swallow},
      {K::SystemKeyDown, 0x7A, true, false, A::None},     // Alt+F11 is another shortcut
      {K::SystemKeyDown, 0x0D, true, false, A::Toggle},   // Alt+Enter
      {K::SystemKeyDown, 0x0D, true, true, A::Swallow},
      {K::SystemKeyUp, 0x0D, true, true, A::Swallow},
      {K::KeyDown, 0x0D, false, false, A::None},          // Enter alone is the game's
      {K::SystemKeyDown, 0x0D, false, false, A::None},    // F10 held, not Alt
      {K::KeyDown, 0x7B, false, false, A::None},          // F12
      {K::SystemKeyDown, 0x73, true, false, A::None},     // Alt+F4 closes as ever
  };
  for (const auto& row : rows) {
    EXPECT_EQ(FullscreenKeyActionFor(row.kind, row.key, row.alt, row.repeat), row.action)
        << static_cast<int>(row.kind) << " " << row.key;
  }
}

TEST(SingleInstanceTest, OneNamePerAppAndUser) {
  const std::string name = SingleInstanceName("Space Game", "C:\\Users\\ann\\AppData\\Local");
  EXPECT_EQ(name.rfind("Local\\Kiln-", 0), 0u);
  EXPECT_EQ(name.find('\\', 6), std::string::npos) << "one backslash: the namespace's";
  EXPECT_EQ(name, SingleInstanceName("Space Game", "C:\\Users\\ann\\AppData\\Local"));
  EXPECT_NE(name, SingleInstanceName("Space game", "C:\\Users\\ann\\AppData\\Local"));
  EXPECT_NE(name, SingleInstanceName("Space Game", "C:\\Users\\bob\\AppData\\Local"));
  EXPECT_NE(SingleInstanceName("ab", "c"), SingleInstanceName("a", "bc"));
  EXPECT_LT(SingleInstanceName(std::string(5000, 'x'), "").size(), 64u);
}

}  // namespace
}  // namespace kiln
