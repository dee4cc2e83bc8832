#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "extension_fakes.h"

namespace kiln {
namespace {

using testing::AddExtension;
using testing::RecordingExtension;
using testing::RecordingHost;
using Posted = std::vector<std::string>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

NamedExtensionValue Named(const char* name, ExtensionValueType type, double number = 0,
                          const char* text = nullptr) {
  return {name, {type, number, text}};
}

NamedExtensionValue NamedOfType(const char* name, int32_t type) {
  return Named(name, static_cast<ExtensionValueType>(type), 1.0, "ignored");
}

class ExtensionServicesTest : public ::testing::Test {
 protected:
  void SetUp() override { app.webViewHost = &host; }

  AppContext app{"C:\\game\\"};
  RecordingHost host;
  RecordingExtension firstInstance{"first"}, secondInstance{"second"};
  Extension& first = AddExtension(app, &firstInstance, "first.ext.dll");
  Extension& second = AddExtension(app, &secondInstance, "second.ext.dll");
};

TEST_F(ExtensionServicesTest, AnIdBelongsToWhoeverRegisteredItFirst) {
  EXPECT_TRUE(first.RegisterComponentId("shared"));
  EXPECT_FALSE(second.RegisterComponentId("shared"));
  EXPECT_FALSE(first.RegisterComponentId("shared"));
  EXPECT_EQ(app.components.at("shared"), &first);
  EXPECT_EQ(second.componentId, "");

  EXPECT_TRUE(first.RegisterComponentId("later"));
  EXPECT_FALSE(first.RegisterComponentId("shared"));
  EXPECT_EQ(first.componentId, "later");  // the last successful one
  EXPECT_TRUE(second.RegisterComponentId(""));
  EXPECT_EQ(app.components.at(""), &second);
}

TEST_F(ExtensionServicesTest, IdsThatAreNullOrNotUtf8AreRefused) {
  EXPECT_FALSE(first.RegisterComponentId(nullptr));
  EXPECT_FALSE(first.RegisterComponentId("caf\xE9"));      // Latin-1
  EXPECT_FALSE(first.RegisterComponentId("\xED\xA0\x80"));  // a surrogate half
  EXPECT_TRUE(first.RegisterComponentId("caf\xC3\xA9"));
  EXPECT_EQ(app.components.size(), 1u);
  EXPECT_EQ(first.componentId, "caf\xC3\xA9");
}

TEST_F(ExtensionServicesTest, NamedValuesBecomeOneCompactSortedObject) {
  ASSERT_TRUE(first.RegisterComponentId("game"));
  const NamedExtensionValue values[] = {
      Named("zero", ExtensionValueType::Boolean, 0.0),
      Named("half", ExtensionValueType::Boolean, 0.5),
      Named("two", ExtensionValueType::Boolean, 2.0),
      Named("nanFlag", ExtensionValueType::Boolean, kNaN),
      Named("number", ExtensionValueType::Number, -1.25),
      Named("nan", ExtensionValueType::Number, kNaN),
      Named("inf", ExtensionValueType::Number, kInfinity),
      Named("minusInf", ExtensionValueType::Number, -kInfinity),
      Named("text", ExtensionValueType::String, 9, "\xC3\xA9t\xC3\xA9 \"q\"\n"),
      NamedOfType("other", 3),
      NamedOfType("seven", 7),
      NamedOfType("nine", 9),
      NamedOfType("negative", -1),
      Named("number", ExtensionValueType::String, 0, "second of the name"),
      Named("Zebra", ExtensionValueType::Number, 1),
  };
  first.SendWebMessage("state", sizeof(values) / sizeof(values[0]), values, 3.5);
  EXPECT_EQ(host.posted,
            Posted{"{\"asyncId\":3.5,\"componentId\":\"game\",\"messageId\":\"state\",\"params\":{"
                   "\"Zebra\":1.0,\"half\":true,\"inf\":null,\"minusInf\":null,\"nan\":null,"
                   "\"nanFlag\":true,\"negative\":null,\"nine\":null,\"number\":-1.25,"
                   "\"other\":null,\"seven\":null,\"text\":\"\xC3\xA9t\xC3\xA9 \\\"q\\\"\\n\","
                   "\"two\":true,\"zero\":false},\"type\":\"extension-message\"}"});
}

TEST_F(ExtensionServicesTest, NumbersAreWrittenAsTheShortestTextThatReadsBackTheSame) {
  const struct {
    double number;
    const char* text;
  } cases[] = {
      {1, "1.0"},          {-0.0, "-0.0"},     {1e-07, "1e-07"},
      {1e+15, "1e+15"},    {100000000000000.0, "100000000000000.0"},
      {1e+21, "1e+21"},    {kNaN, "null"},
  };
  for (const auto& c : cases) {
    host.posted.clear();
    const NamedExtensionValue value[] = {Named("n", ExtensionValueType::Number, c.number)};
    first.SendWebMessage("m", 1, value, c.number);
    EXPECT_EQ(host.posted, Posted{std::string("{\"asyncId\":") + c.text +
                                  ",\"componentId\":\"\",\"messageId\":\"m\",\"params\":{\"n\":" +
                                  c.text + "},\"type\":\"extension-message\"}"})
        << c.text;
  }
}

TEST_F(ExtensionServicesTest, NoValuesGiveAnEmptyParamsObject) {
  first.SendWebMessage("", 0, nullptr, -1);
  EXPECT_EQ(host.posted, Posted{R"({"asyncId":-1.0,"componentId":"","messageId":"",)"
                                R"("params":{},"type":"extension-message"})"});
}

TEST_F(ExtensionServicesTest, MessagesCarryTheSendersLastId) {
  ASSERT_TRUE(first.RegisterComponentId("a"));
  ASSERT_TRUE(first.RegisterComponentId("b"));
  ASSERT_FALSE(second.RegisterComponentId("a"));
  first.SendWebMessage("m", 0, nullptr, 1);
  second.SendWebMessage("m", 0, nullptr, 2);
  EXPECT_EQ(host.posted, (Posted{R"({"asyncId":1.0,"componentId":"b","messageId":"m",)"
                                 R"("params":{},"type":"extension-message"})",
                                 R"({"asyncId":2.0,"componentId":"","messageId":"m",)"
                                 R"("params":{},"type":"extension-message"})"}));
}

TEST_F(ExtensionServicesTest, RuleBreakingMessagesAreDroppedQuietly) {
  ASSERT_TRUE(first.RegisterComponentId("game"));
  const NamedExtensionValue nullName[] = {Named("a", ExtensionValueType::Number, 1),
                                          Named(nullptr, ExtensionValueType::Number, 1)};
  const NamedExtensionValue nullText[] = {Named("a", ExtensionValueType::String, 0, nullptr)};
  const NamedExtensionValue badName[] = {Named("\xC0\xAF", ExtensionValueType::Number, 1)};
  const NamedExtensionValue badText[] = {Named("a", ExtensionValueType::String, 0, "\xF5")};
  first.SendWebMessage(nullptr, 0, nullptr, 1);
  first.SendWebMessage("m", 2, nullName, 1);
  first.SendWebMessage("m", 1, nullText, 1);
  first.SendWebMessage("m", 3, nullptr, 1);
  first.SendWebMessage("m", 1, badName, 1);
  first.SendWebMessage("m", 1, badText, 1);
  first.SendWebMessage("\xE2\x82", 0, nullptr, 1);  // truncated sequence
  EXPECT_EQ(host.posted, Posted{});

  // A null text is only an error where a text is read.
  const NamedExtensionValue numberWithoutText[] = {Named("n", ExtensionValueType::Number, 2)};
  first.SendWebMessage("ok", 1, numberWithoutText, 1);
  EXPECT_EQ(host.posted.size(), 1u);
}

TEST_F(ExtensionServicesTest, NothingIsSentBeforeTheWebViewHostExists) {
  app.webViewHost = nullptr;
  first.SendWebMessage("early", 0, nullptr, 1);
  EXPECT_STREQ(first.GetUserDataFolder(), "");
  app.webViewHost = &host;
  EXPECT_EQ(host.posted, Posted{});
  EXPECT_STREQ(first.GetUserDataFolder(), "C:\\Users\\me\\AppData\\Local\\game");
}

class ThrowingHost final : public WebViewHost {
 public:
  void PostExtensionMessage(const std::string&, const std::string&, const OutgoingValues&,
                            double) override {
    throw std::bad_alloc();
  }
  const std::string& UserDataFolder() const override { return folder; }
  std::string folder;
};

TEST_F(ExtensionServicesTest, AFailingPostNeverReachesTheExtension) {
  ThrowingHost throwing;
  app.webViewHost = &throwing;
  EXPECT_NO_THROW(first.SendWebMessage("m", 0, nullptr, 1));
}

TEST_F(ExtensionServicesTest, FoldersComeFromTheContext) {
  EXPECT_STREQ(first.GetAppFolder(), "C:\\game\\");
  EXPECT_STREQ(first.GetContentFolder(), "");
  app.contentFolder = app.exeFolder + "www\\";
  EXPECT_STREQ(second.GetContentFolder(), "C:\\game\\www\\");
}

TEST_F(ExtensionServicesTest, SharedValuesAreSeenByEveryExtension) {
  int token = 0, other = 0;
  first.SetSharedValue("engine", &token);
  EXPECT_EQ(second.GetSharedValue("engine"), &token);
  second.SetSharedValue("engine", &other);
  EXPECT_EQ(first.GetSharedValue("engine"), &other);
  EXPECT_EQ(first.GetSharedValue("Engine"), nullptr);
  second.RemoveSharedValue("engine");
  EXPECT_EQ(first.GetSharedValue("engine"), nullptr);
  first.RemoveSharedValue("never-set");

  first.SetSharedValue(nullptr, &token);
  EXPECT_EQ(first.GetSharedValue(nullptr), nullptr);
  first.RemoveSharedValue(nullptr);
  EXPECT_TRUE(app.sharedValues.empty());
}

}  // namespace
}  // namespace kiln
