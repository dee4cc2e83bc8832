#include "bridge/web_message.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "extension_fakes.h"

namespace kiln {
namespace {

using testing::AddExtension;
using testing::ReceivedMessage;
using testing::RecordingActions;
using testing::RecordingExtension;
using testing::RecordingHost;
using Calls = std::vector<std::string>;

class WebMessageTest : public ::testing::Test {
 protected:
  Calls Handle(std::string_view text) {
    actions.calls.clear();
    HandleWebMessage(text, actions, app);
    return actions.calls;
  }

  AppContext app{"C:\\game\\"};
  RecordingActions actions;
};

TEST_F(WebMessageTest, WrapperInitListsEveryIdInAscendingByteOrder) {
  EXPECT_EQ(Handle(R"({"type":"wrapper-init"})"),
            Calls{R"(post {"registeredComponentIds":[],"type":"wrapper-init-response"})"});

  RecordingExtension first, second;
  Extension& a = AddExtension(app, &first);
  Extension& b = AddExtension(app, &second);
  ASSERT_TRUE(a.RegisterComponentId("zeta"));
  ASSERT_TRUE(b.RegisterComponentId("\xC3\xA4rger"));  // bytes above 0x7F sort last
  ASSERT_TRUE(a.RegisterComponentId("Alpha"));
  ASSERT_TRUE(b.RegisterComponentId("beta"));
  ASSERT_TRUE(a.RegisterComponentId(""));
  const std::string answer =
      "post {\"registeredComponentIds\":[\"\",\"Alpha\",\"beta\",\"zeta\",\"\xC3\xA4rger\"],"
      "\"type\":\"wrapper-init-response\"}";
  EXPECT_EQ(Handle(R"({"type":"wrapper-init"})"), Calls{answer});
  // Every handshake gets its own answer.
  EXPECT_EQ(Handle(R"({"type":"wrapper-init","extra":[1]})"), Calls{answer});
}

TEST_F(WebMessageTest, OnlyTheLiteralTrueEntersFullscreen) {
  EXPECT_EQ(Handle(R"({"type":"set-fullscreen","fullscreen":true})"), Calls{"fullscreen on"});
  EXPECT_EQ(Handle(R"({"type":"set-fullscreen","fullscreen":false})"), Calls{"fullscreen off"});
  EXPECT_EQ(Handle(R"({"type":"set-fullscreen","fullscreen":1})"), Calls{"fullscreen off"});
  EXPECT_EQ(Handle(R"({"type":"set-fullscreen","fullscreen":"true"})"), Calls{"fullscreen off"});
  EXPECT_EQ(Handle(R"({"type":"set-fullscreen","fullscreen":null})"), Calls{"fullscreen off"});
  EXPECT_EQ(Handle(R"({"type":"set-fullscreen"})"), Calls{"fullscreen off"});
}

TEST_F(WebMessageTest, WindowNumbersAreTruncatedOrDefaultToZero) {
  EXPECT_EQ(Handle(R"({"type":"set-window-size","windowWidth":800.9,"windowHeight":600})"),
            Calls{"size 800 600"});
  EXPECT_EQ(Handle(R"({"type":"set-window-size","windowWidth":800})"), Calls{"size 800 0"});
  EXPECT_EQ(Handle(R"({"type":"set-window-size","windowWidth":"800","windowHeight":null})"),
            Calls{"size 0 0"});
  // Integers keep their low 32 bits; negative fractions move toward zero.
  EXPECT_EQ(Handle(R"({"type":"set-window-size","windowWidth":4294967297,"windowHeight":-5.7})"),
            Calls{"size 1 -5"});
  EXPECT_EQ(Handle(R"({"type":"set-window-position"})"), Calls{"position 0 0"});
  EXPECT_EQ(Handle(R"({"windowY":-20,"type":"set-window-position","windowX":33.99})"),
            Calls{"position 33 -20"});
}

TEST_F(WebMessageTest, TypeMustMatchExactlyAndTheLastOccurrenceCounts) {
  EXPECT_EQ(Handle(R"({"type":"Set-Fullscreen","fullscreen":true})"), Calls{});
  EXPECT_EQ(Handle(R"({"type":"set-fullscreen ","fullscreen":true})"), Calls{});
  EXPECT_EQ(Handle(R"({"type":"WRAPPER-INIT"})"), Calls{});
  EXPECT_EQ(Handle(R"({"type":["wrapper-init"]})"), Calls{});
  EXPECT_EQ(Handle(R"({"kind":"wrapper-init"})"), Calls{});
  EXPECT_EQ(Handle(R"(["wrapper-init"])"), Calls{});
  EXPECT_EQ(Handle(R"("wrapper-init")"), Calls{});
  EXPECT_EQ(Handle(R"({"type":"wrapper-init","type":"set-fullscreen","fullscreen":true})"),
            Calls{"fullscreen on"});
}

TEST_F(WebMessageTest, MalformedTextIsDroppedAndLaterMessagesStillWork) {
  for (std::string_view bad :
       {"", "   ", "{", R"({"type":"wrapper-init")", R"({"type":"wrapper-init"} x)",
        R"({"type":"wrapper-init"}{})", R"({"type":"wrapper-init"/* why */})",
        "// note\n{\"type\":\"wrapper-init\"}", R"({'type':'wrapper-init'})",
        "{\"type\":\"wrapper-init\",}", "\xFF\xFE{}"}) {
    EXPECT_EQ(Handle(bad), Calls{}) << bad;
    EXPECT_EQ(Handle(R"({"type":"set-fullscreen","fullscreen":true})"), Calls{"fullscreen on"});
  }
  // Whitespace around the value is fine.
  EXPECT_EQ(Handle(" \n{\"type\":\"set-window-position\"}\t\r\n "), Calls{"position 0 0"});
}

TEST_F(WebMessageTest, TextEndsAtTheFirstNul) {
  using namespace std::string_literals;
  EXPECT_EQ(Handle("{\"type\":\"set-window-position\"}\0garbage"s), Calls{"position 0 0"});
  EXPECT_EQ(Handle("{\"type\":\0\"set-window-position\"}"s), Calls{});
}

class ExtensionMessageTest : public WebMessageTest {
 protected:
  void SetUp() override {
    Extension& record = AddExtension(app, &extension);
    ASSERT_TRUE(record.RegisterComponentId("game"));
  }

  // Sends an "extension-message" for "game" with the given extra members.
  void Send(const std::string& members) {
    Handle(R"({"type":"extension-message","componentId":"game",)" + members + "}");
  }

  RecordingExtension extension;
};

TEST_F(ExtensionMessageTest, ParamsArriveAsTypedRecordsInOrder) {
  Send(R"("messageId":"load","asyncId":7,"params":)"
       R"([12.5,"sl\u00f6t\n1",true,null,[1,2],false,{"a":1},-3,18446744073709551615])");
  ASSERT_EQ(extension.messages.size(), 1u);
  const ReceivedMessage& message = extension.messages[0];
  EXPECT_EQ(message.messageId, "load");
  EXPECT_EQ(message.asyncId, 7.0);
  ASSERT_EQ(message.count, 9);
  ASSERT_FALSE(message.valuesNull);
  const auto& v = message.values;
  EXPECT_EQ(v[0].type, ExtensionValueType::Number);
  EXPECT_EQ(v[0].number, 12.5);
  EXPECT_FALSE(v[0].hasText);
  EXPECT_EQ(v[1].type, ExtensionValueType::String);
  EXPECT_EQ(v[1].text, "sl\xC3\xB6t\n1");
  EXPECT_EQ(v[1].number, 0.0);
  EXPECT_EQ(v[2].type, ExtensionValueType::Boolean);
  EXPECT_EQ(v[2].number, 1.0);
  EXPECT_EQ(v[3].type, ExtensionValueType::Other);
  EXPECT_EQ(v[4].type, ExtensionValueType::Other);
  EXPECT_EQ(v[5].type, ExtensionValueType::Boolean);
  EXPECT_EQ(v[5].number, 0.0);
  EXPECT_EQ(v[6].type, ExtensionValueType::Other);
  EXPECT_EQ(v[7].type, ExtensionValueType::Number);
  EXPECT_EQ(v[7].number, -3.0);
  EXPECT_EQ(v[8].number, 18446744073709551615.0);
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i].type != ExtensionValueType::String) {
      EXPECT_FALSE(v[i].hasText) << i;
    }
    if (v[i].type == ExtensionValueType::Other) {
      EXPECT_EQ(v[i].number, 0.0) << i;
    }
    // The bytes between the members are zero.
    for (size_t b = 4; b < 8; ++b) EXPECT_EQ(v[i].bytes[b], 0) << i;
    for (size_t b = 16 + sizeof(void*); b < sizeof(ExtensionValue); ++b) {
      EXPECT_EQ(v[i].bytes[b], 0) << i;
    }
  }
}

TEST_F(ExtensionMessageTest, EmptyParamsArriveAsCountZeroAndNull) {
  Send(R"("messageId":"ping","params":[])");
  ASSERT_EQ(extension.messages.size(), 1u);
  EXPECT_EQ(extension.messages[0].count, 0);
  EXPECT_TRUE(extension.messages[0].valuesNull);
}

TEST_F(ExtensionMessageTest, AsyncIdIsAnyNumberOrMinusOne) {
  const std::vector<std::pair<std::string, double>> cases = {
      {R"("asyncId":7,)", 7.0},          {R"("asyncId":2.5,)", 2.5},
      {"", -1.0},                        {R"("asyncId":"7",)", -1.0},
      {R"("asyncId":null,)", -1.0},      {R"("asyncId":true,)", -1.0},
      {R"("asyncId":-0.0,)", 0.0},       {R"("asyncId":1e300,)", 1e300},
      {R"("asyncId":123456789012,)", 123456789012.0}};
  for (const auto& [member, expected] : cases) {
    extension.messages.clear();
    Send(member + R"("messageId":"m","params":[])");
    ASSERT_EQ(extension.messages.size(), 1u) << member;
    EXPECT_EQ(extension.messages[0].asyncId, expected) << member;
  }
}

TEST_F(ExtensionMessageTest, IncompleteMessagesAreDropped) {
  for (const char* text : {
           R"({"type":"extension-message","componentId":"game","messageId":"m","params":{}})",
           R"({"type":"extension-message","componentId":"game","messageId":"m","params":"[]"})",
           R"({"type":"extension-message","componentId":"game","messageId":"m"})",
           R"({"type":"extension-message","componentId":"other","messageId":"m","params":[]})",
           R"({"type":"extension-message","componentId":"GAME","messageId":"m","params":[]})",
           R"({"type":"extension-message","componentId":"","messageId":"m","params":[]})",
           R"({"type":"extension-message","messageId":"m","params":[]})",
           R"({"type":"extension-message","componentId":["game"],"messageId":"m","params":[]})",
           R"({"type":"extension-message","componentId":"game","messageId":"","params":[]})",
           R"({"type":"extension-message","componentId":"game","messageId":7,"params":[]})",
           R"({"type":"extension-message","componentId":"game","params":[]})",
           R"({"type":"extension-message","componentId":"game","messageId":"\u0000m","params":[]})",
           R"({"type":"extension-message","componentId":"game\u0000","messageId":"m","params":[]})",
       }) {
    EXPECT_EQ(Handle(text), Calls{}) << text;
  }
  EXPECT_TRUE(extension.messages.empty());
}

TEST_F(ExtensionMessageTest, EachIdReachesTheExtensionThatRegisteredIt) {
  RecordingExtension other("other");
  Extension& otherRecord = AddExtension(app, &other);
  ASSERT_TRUE(otherRecord.RegisterComponentId("audio"));
  ASSERT_TRUE(app.extensions[0]->RegisterComponentId("save"));
  ASSERT_FALSE(otherRecord.RegisterComponentId("game"));

  Send(R"("messageId":"one","params":[])");
  Handle(R"({"type":"extension-message","componentId":"audio","messageId":"two","params":[]})");
  Handle(R"({"type":"extension-message","componentId":"save","messageId":"three","params":[]})");
  ASSERT_EQ(extension.messages.size(), 2u);
  EXPECT_EQ(extension.messages[0].messageId, "one");
  EXPECT_EQ(extension.messages[1].messageId, "three");
  ASSERT_EQ(other.messages.size(), 1u);
  EXPECT_EQ(other.messages[0].messageId, "two");
}

TEST_F(ExtensionMessageTest, TheEmptyIdIsListedButNeverReachedAndNewIdsCountAtOnce) {
  Extension& record = *app.extensions[0];
  ASSERT_TRUE(record.RegisterComponentId(""));
  EXPECT_EQ(Handle(R"({"type":"extension-message","componentId":"","messageId":"m","params":[]})"),
            Calls{});
  EXPECT_TRUE(extension.messages.empty()) << "no page message can reach the empty id";
  const auto listing = [](const char* ids) {
    return Calls{std::string(R"(post {"registeredComponentIds":[)") + ids +
                 R"(],"type":"wrapper-init-response"})"};
  };
  EXPECT_EQ(Handle(R"({"type":"wrapper-init"})"), listing(R"("","game")"));

  // Registered while the page runs: routed at once, listed from the next answer.
  ASSERT_TRUE(record.RegisterComponentId("late"));
  Handle(R"({"type":"extension-message","componentId":"late","messageId":"m","params":[]})");
  ASSERT_EQ(extension.messages.size(), 1u);
  EXPECT_EQ(Handle(R"({"type":"wrapper-init"})"), listing(R"("","game","late")"));
}

TEST_F(ExtensionMessageTest, AnExtensionAnswersFromInsideItsCall) {
  RecordingHost host;
  app.webViewHost = &host;
  Extension& record = *app.extensions[0];
  extension.onMessage = [&](const ReceivedMessage& message) {
    const NamedExtensionValue answer[] = {
        {"sum", {ExtensionValueType::Number, message.values[0].number + message.values[1].number,
                 nullptr}}};
    record.SendWebMessage("added", 1, answer, message.asyncId);
  };
  Send(R"("messageId":"add","asyncId":41,"params":[2,3.5])");
  EXPECT_EQ(host.posted, std::vector<std::string>{
                             R"({"asyncId":41.0,"componentId":"game","messageId":"added",)"
                             R"("params":{"sum":5.5},"type":"extension-message"})"});
}

TEST_F(ExtensionMessageTest, AnExceptionFromTheExtensionEndsOnlyThatMessage) {
  extension.onMessage = [](const ReceivedMessage& message) {
    if (message.messageId == "fail") throw std::runtime_error("extension failed");
    if (message.messageId == "fail-oddly") throw 42;
  };
  Send(R"("messageId":"fail","params":[])");
  Send(R"("messageId":"fail-oddly","params":[])");
  Send(R"("messageId":"fine","params":[])");
  EXPECT_EQ(extension.messages.size(), 3u);
  EXPECT_EQ(Handle(R"({"type":"set-fullscreen","fullscreen":true})"), Calls{"fullscreen on"});
}

TEST_F(WebMessageTest, AnUnserialisableIdDropsOnlyTheAnswer) {
  // RegisterComponentId refuses such ids; should one get in all the same,
  // the handshake fails quietly instead of taking the host down.
  RecordingExtension extension;
  AddExtension(app, &extension);
  app.components.emplace("bad\xFF", app.extensions[0].get());
  EXPECT_EQ(Handle(R"({"type":"wrapper-init"})"), Calls{});
  EXPECT_EQ(Handle(R"({"type":"set-fullscreen","fullscreen":true})"), Calls{"fullscreen on"});
}

}  // namespace
}  // namespace kiln
