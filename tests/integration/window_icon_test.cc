// The main window's class icon, read from inside kiln.exe by the stand-in
// runtime: under Wine no other process can see a class icon.
#include <gtest/gtest.h>

#include "../common/sample_png.h"
#include "stand_in.h"

namespace kiln::testing {
namespace {

json IconsOf(const std::string& name, const json& window, const std::string& png) {
  TestApp app("WindowIcon." + name);
  app.WritePackageJson(json({{"name", "kiln-icon"},
                             {"window", window},
                             {"settings", {{"distribution-mode", "fixed"}}}})
                           .dump());
  if (!png.empty()) app.WriteFile("art/icon.png", png);
  InstallFixedRuntime(app);
  const StandInRun run = RunWithStandIn(
      app, {{"steps", {{{"do", "snapshot"}, {"label", "icon"}}, {{"do", "end"}}}}});
  ExpectCleanRun(run);
  return run.First("snapshot");
}

TEST(WindowIcon, AnImageFileBecomesTheLargeAndSmallClassIcon) {
  const json snapshot = IconsOf("Png", {{"icon", "art/icon.png"}}, SamplePng());
  EXPECT_EQ(snapshot["classIcon"], true);
  EXPECT_EQ(snapshot["classIconSmall"], true);
}

TEST(WindowIcon, WithoutAnIconTheClassHasNone) {
  // kiln.exe carries no icon resource, so nothing stands in for a missing or
  // undecodable image.
  for (const auto& [name, window, png] :
       {std::tuple<std::string, json, std::string>{"Absent", json::object(), ""},
        {"Undecodable", {{"icon", "art/icon.png"}}, "not a picture"}}) {
    SCOPED_TRACE(name);
    const json snapshot = IconsOf(name, window, png);
    EXPECT_EQ(snapshot["classIcon"], false);
    EXPECT_EQ(snapshot["classIconSmall"], false);
  }
}

}  // namespace
}  // namespace kiln::testing
