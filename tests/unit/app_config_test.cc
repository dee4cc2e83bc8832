#include "app/app_config.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

namespace kiln {
namespace {

AppConfig Parse(const std::string& text) {
  AppConfig config;
  ParseAppConfig(text, config);
  return config;
}

TEST(AppConfigTest, SmallestValidFileTakesEveryDefault) {
  const AppConfig config = Parse(R"({"name": "game"})");
  EXPECT_EQ(config.name, "game");
  EXPECT_EQ(config.main, "index.html");
  EXPECT_EQ(config.title, "Windows WebView2 wrapper");
  EXPECT_EQ(config.width, 1024);
  EXPECT_EQ(config.height, 768);
  EXPECT_EQ(config.icon, "");
  EXPECT_EQ(config.iconHandle, nullptr);
  EXPECT_TRUE(config.resizable);
  EXPECT_EQ(config.chromiumArgs, "");
  EXPECT_EQ(config.contentMode, ContentMode::Bundle);
  EXPECT_EQ(config.distributionMode, DistributionMode::Evergreen);
  EXPECT_TRUE(config.enableDevtools);
  EXPECT_EQ(config.installWebview2Message,
            "This app requires the Microsoft Edge WebView2 runtime. It will be downloaded and "
            "installed for you now.");
  EXPECT_EQ(config.downloadingMessage, "Downloading...");
  EXPECT_EQ(config.installFailedMessage,
            "Failed to install the Microsoft Edge WebView2 runtime. Check that you have "
            "permission to install it, and that your Internet connection is working. Run the app "
            "again to try again.");
  EXPECT_FALSE(config.fullscreen);
  EXPECT_EQ(config.minWidth, 0) << "no minimum";
  EXPECT_EQ(config.minHeight, 0);
  EXPECT_TRUE(config.fullscreenKeys);
  EXPECT_FALSE(config.rememberPlacement);
  EXPECT_TRUE(config.singleInstance);
}

TEST(AppConfigTest, GameWindowKeysAreRead) {
  const AppConfig config = Parse(R"({"name": "n",
    "window": {"fullscreen": true, "min-width": 640.5, "min-height": 360, "fullscreen-keys": false,
               "remember-placement": true},
    "settings": {"single-instance": false}})");
  EXPECT_TRUE(config.fullscreen);
  EXPECT_EQ(config.minWidth, 640);
  EXPECT_EQ(config.minHeight, 360);
  EXPECT_FALSE(config.fullscreenKeys);
  EXPECT_TRUE(config.rememberPlacement);
  EXPECT_FALSE(config.singleInstance);

  const AppConfig wrong = Parse(R"({"name": "n",
    "window": {"fullscreen": 1, "min-width": "640", "min-height": true, "fullscreen-keys": 0,
               "remember-placement": "yes"},
    "settings": {"single-instance": null}})");
  EXPECT_FALSE(wrong.fullscreen);
  EXPECT_EQ(wrong.minWidth, 0);
  EXPECT_EQ(wrong.minHeight, 0);
  EXPECT_TRUE(wrong.fullscreenKeys);
  EXPECT_FALSE(wrong.rememberPlacement);
  EXPECT_TRUE(wrong.singleInstance);
}

TEST(AppConfigTest, EveryKeyIsRead) {
  const AppConfig config = Parse(R"({
    "name": "Space Game", "main": "game/start.html", "chromium-args": "--mute-audio",
    "window": {"title": "Space", "width": 640, "height": 480, "icon": "icon.png", "resizable": false},
    "settings": {"distribution-mode": "fixed", "content-mode": "remote", "enable-devtools": false},
    "messages": {"install-webview2": "a", "downloading": "b", "install-webview2-failed": "c"}
  })");
  EXPECT_EQ(config.name, "Space Game");
  EXPECT_EQ(config.main, "game/start.html");
  EXPECT_EQ(config.chromiumArgs, "--mute-audio");
  EXPECT_EQ(config.title, "Space");
  EXPECT_EQ(config.width, 640);
  EXPECT_EQ(config.height, 480);
  EXPECT_EQ(config.icon, "icon.png");
  EXPECT_FALSE(config.resizable);
  EXPECT_EQ(config.distributionMode, DistributionMode::Fixed);
  EXPECT_EQ(config.contentMode, ContentMode::Remote);
  EXPECT_FALSE(config.enableDevtools);
  EXPECT_EQ(config.installWebview2Message, "a");
  EXPECT_EQ(config.downloadingMessage, "b");
  EXPECT_EQ(config.installFailedMessage, "c");
}

TEST(AppConfigTest, InvalidNamesAreRejected) {
  for (const char* text : {R"({})", R"({"name": ""})", R"({"name": 12})", R"({"name": null})",
                           R"([])", R"("game")", R"(12)", R"(null)"}) {
    SCOPED_TRACE(text);
    AppConfig config;
    EXPECT_ANY_THROW(ParseAppConfig(text, config));
  }
}

TEST(AppConfigTest, MalformedJsonIsRejected) {
  for (const char* text : {"{\"name\": \"a\" /* c */}", "{\"name\": \"a\",}", "{\"name\": \"a\"} x",
                           "{\"name\": \"a\"", "", "\xFF\xFE{\x00}", "{'name': 'a'}"}) {
    SCOPED_TRACE(text);
    AppConfig config;
    EXPECT_ANY_THROW(ParseAppConfig(text, config));
  }
}

TEST(AppConfigTest, ByteOrderMarkIsSkipped) {
  EXPECT_EQ(Parse("\xEF\xBB\xBF{\"name\": \"bom\"}").name, "bom");
}

TEST(AppConfigTest, TextEndsAtTheFirstNulByte) {
  const std::string text("{\"name\": \"nul\"}\0garbage after the end", 37);
  EXPECT_EQ(Parse(text).name, "nul");
  AppConfig config;
  EXPECT_ANY_THROW(ParseAppConfig(std::string("{\"name\"\0: \"x\"}", 14), config));
}

TEST(AppConfigTest, LaterDuplicateKeysWin) {
  const AppConfig config = Parse(R"({"name": "first", "name": "second",
    "window": {"width": 1}, "window": {"height": 2}})");
  EXPECT_EQ(config.name, "second");
  EXPECT_EQ(config.width, 1024);
  EXPECT_EQ(config.height, 2);
}

TEST(AppConfigTest, NumbersBecomeSigned32BitIntegers) {
  auto width = [](const std::string& value) {
    return Parse(R"({"name": "n", "window": {"width": )" + value + "}}").width;
  };
  EXPECT_EQ(width("800.9"), 800);
  EXPECT_EQ(width("-800.9"), -800);
  EXPECT_EQ(width("0"), 0);
  EXPECT_EQ(width("-5"), -5);
  EXPECT_EQ(width("1e3"), 1000);
  EXPECT_EQ(width("4294967297"), 1);            // low 32 bits of an integer
  EXPECT_EQ(width("18446744073709551615"), -1);  // unsigned 64-bit maximum
  EXPECT_EQ(width("2147483648.5"), INT_MIN);     // floats out of range
  EXPECT_EQ(width("-1e300"), INT_MIN);
  EXPECT_EQ(width("1e300"), INT_MIN);
  EXPECT_EQ(width("2147483647.9"), INT_MAX);
}

TEST(AppConfigTest, ValuesOfTheWrongTypeTakeTheirDefault) {
  const AppConfig config = Parse(R"({"name": "n", "main": 5, "chromium-args": ["x"],
    "window": {"title": 1, "width": "800", "height": true, "icon": {}, "resizable": 0},
    "settings": {"distribution-mode": 1, "content-mode": null, "enable-devtools": "false"},
    "messages": {"downloading": false}})");
  EXPECT_EQ(config.main, "index.html");
  EXPECT_EQ(config.chromiumArgs, "");
  EXPECT_EQ(config.title, "Windows WebView2 wrapper");
  EXPECT_EQ(config.width, 1024);
  EXPECT_EQ(config.height, 768);
  EXPECT_EQ(config.icon, "");
  EXPECT_TRUE(config.resizable);
  EXPECT_EQ(config.distributionMode, DistributionMode::Evergreen);
  EXPECT_EQ(config.contentMode, ContentMode::Bundle);
  EXPECT_TRUE(config.enableDevtools);
  EXPECT_EQ(config.downloadingMessage, "Downloading...");
}

TEST(AppConfigTest, SectionsThatAreNotObjectsGiveDefaults) {
  for (const char* section : {R"("window")", R"(["title", "x"])", "null", "3"}) {
    SCOPED_TRACE(section);
    const AppConfig config = Parse(std::string(R"({"name": "n", "window": )") + section +
                                   R"(, "settings": )" + section + R"(, "messages": )" + section +
                                   "}");
    EXPECT_EQ(config.title, "Windows WebView2 wrapper");
    EXPECT_EQ(config.width, 1024);
    EXPECT_TRUE(config.resizable);
    EXPECT_EQ(config.contentMode, ContentMode::Bundle);
    EXPECT_EQ(config.downloadingMessage, "Downloading...");
  }
}

TEST(AppConfigTest, ModeWordsMustMatchExactly) {
  for (const char* settings : {R"({"distribution-mode": "Evergreen"})",
                               R"({"distribution-mode": "fixed "})",
                               R"({"distribution-mode": ""})",
                               R"({"content-mode": "Remote"})",
                               R"({"content-mode": " bundle"})"}) {
    SCOPED_TRACE(settings);
    AppConfig config;
    EXPECT_ANY_THROW(ParseAppConfig(std::string(R"({"name": "n", "settings": )") + settings + "}",
                                    config));
  }
}

TEST(AppConfigTest, TextsKeepTheirUtf8Bytes) {
  const AppConfig config =
      Parse(R"({"name": "caf\u00e9\\game", "window": {"title": "\ud83d\ude80 Rocket"}})");
  EXPECT_EQ(config.name, "caf\xC3\xA9\\game");
  EXPECT_EQ(config.title, "\xF0\x9F\x9A\x80 Rocket");
}

// Every reading by its key path ("window.width"; a section by its own name).
std::map<std::string, ConfigReading> ReadingsOf(const nlohmann::json& root, AppConfig& config) {
  std::map<std::string, ConfigReading> byKey;
  for (const ConfigReading& reading : ReadAppConfig(root, config)) {
    const std::string key =
        reading.section.empty() ? reading.key : reading.section + "." + reading.key;
    EXPECT_TRUE(byKey.emplace(key, reading).second) << "read twice: " << key;
  }
  return byKey;
}

TEST(ConfigReadingTest, TellsWhetherEachValueWasUsedOrReplacedByItsDefault) {
  const nlohmann::json root = ParsePackageJson(R"({"name": "n", "main": 5, "icon": "top.png",
    "window": {"width": "800", "height": 600.5, "title": null},
    "settings": "fast", "messages": {"downloading": "Loading"}})");
  AppConfig config;
  auto readings = ReadingsOf(root, config);
  EXPECT_EQ(readings.size(), 23u) << "every key and section, present or not";
  EXPECT_EQ(readings["window.min-width"].fallback, "") << "no minimum is no value";
  EXPECT_EQ(readings["window.fullscreen-keys"].fallback, "true");
  EXPECT_EQ(readings["settings.single-instance"].outcome, ConfigOutcome::Absent);

  EXPECT_EQ(readings["name"].outcome, ConfigOutcome::Used);
  EXPECT_EQ(readings["main"].outcome, ConfigOutcome::WrongType);
  EXPECT_EQ(*readings["main"].value, 5);
  EXPECT_EQ(readings["main"].fallback, "\"index.html\"");
  EXPECT_EQ(readings["window.width"].outcome, ConfigOutcome::WrongType);
  EXPECT_EQ(readings["window.width"].fallback, "1024");
  EXPECT_EQ(readings["window.height"].outcome, ConfigOutcome::Used);
  EXPECT_EQ(readings["window.title"].outcome, ConfigOutcome::Absent);  // null is absent
  EXPECT_EQ(readings["window.icon"].outcome, ConfigOutcome::Absent);   // only at the top level
  EXPECT_EQ(readings["window.resizable"].fallback, "true");
  EXPECT_EQ(readings["settings"].outcome, ConfigOutcome::WrongType);
  EXPECT_EQ(readings["settings.content-mode"].outcome, ConfigOutcome::Absent);
  EXPECT_EQ(readings["messages.downloading"].outcome, ConfigOutcome::Used);
  EXPECT_EQ(config.height, 600);
  EXPECT_EQ(config.downloadingMessage, "Loading");
}

TEST(ConfigReadingTest, RefusedValuesDoNotStopTheReading) {
  const nlohmann::json root = ParsePackageJson(
      R"({"name": "", "settings": {"distribution-mode": "Fixed", "content-mode": "web",
      "enable-devtools": false}})");
  AppConfig config;
  auto readings = ReadingsOf(root, config);
  EXPECT_EQ(readings["name"].outcome, ConfigOutcome::Refused);
  EXPECT_EQ(readings["name"].refusal, "invalid name");
  EXPECT_EQ(readings["settings.distribution-mode"].refusal, "invalid distribution mode");
  EXPECT_EQ(readings["settings.content-mode"].outcome, ConfigOutcome::Refused);
  EXPECT_EQ(readings["settings.content-mode"].words,
            (std::vector<std::string>{"bundle", "remote"}));
  // Refused settings keep their defaults; the keys after them are still read.
  EXPECT_EQ(config.distributionMode, DistributionMode::Evergreen);
  EXPECT_EQ(config.contentMode, ContentMode::Bundle);
  EXPECT_FALSE(config.enableDevtools);

  // Start-up stops at the first refusal in reading order.
  try {
    ParseAppConfig(R"({"settings": {"content-mode": "web"}})", config);
    FAIL() << "no name was accepted";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "invalid name");
  }
}

}  // namespace
}  // namespace kiln
