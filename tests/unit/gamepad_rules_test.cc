#include "gamepad_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kiln::gamepad {
namespace {

RawPad Sticks(int16_t lx, int16_t ly, int16_t rx, int16_t ry) {
  RawPad raw;
  raw.leftX = lx;
  raw.leftY = ly;
  raw.rightX = rx;
  raw.rightY = ry;
  return raw;
}

TEST(GamepadRulesTest, EachXInputButtonLandsOnItsStandardIndex) {
  const std::pair<uint16_t, int> cases[] = {
      {xinput::kA, 0},         {xinput::kB, 1},          {xinput::kX, 2},          {xinput::kY, 3},
      {xinput::kLeftShoulder, 4}, {xinput::kRightShoulder, 5}, {xinput::kBack, 8}, {xinput::kStart, 9},
      {xinput::kLeftThumb, 10}, {xinput::kRightThumb, 11}, {xinput::kDpadUp, 12}, {xinput::kDpadDown, 13},
      {xinput::kDpadLeft, 14}, {xinput::kDpadRight, 15}, {xinput::kGuide, 16},
  };
  for (const auto& [bit, index] : cases) {
    RawPad raw;
    raw.buttons = bit;
    EXPECT_EQ(MapPad(raw).pressed, 1u << index) << "XInput bit " << bit;
  }
  RawPad all;
  all.buttons = 0xffff;  // bit 0x0800 is unused by XInput and maps to nothing
  EXPECT_EQ(MapPad(all).pressed, 0x1ff3fu) << "every button but the two triggers";
}

TEST(GamepadRulesTest, TriggersReadZeroUpToTheirThresholdAndOneAtFullTravel) {
  const std::pair<int, double> cases[] = {{0, 0.0}, {30, 0.0}, {31, 0.0044}, {142, 0.4978}, {254, 0.9956}, {255, 1.0}};
  for (const auto& [raw, value] : cases) {
    EXPECT_EQ(TriggerValue(static_cast<uint8_t>(raw)), value) << raw;
    RawPad pad;
    pad.leftTrigger = static_cast<uint8_t>(raw);
    pad.rightTrigger = static_cast<uint8_t>(raw);
    const Pad mapped = MapPad(pad);
    EXPECT_EQ(mapped.leftTrigger, value);
    EXPECT_EQ(mapped.rightTrigger, value);
    EXPECT_EQ(mapped.pressed, value > 0 ? 0xc0u : 0u) << "buttons 6 and 7 are pressed once past the threshold";
  }
}

TEST(GamepadRulesTest, SticksHaveRoundDeadZonesAreRescaledAndCountDownAndRightAsPositive) {
  struct Case {
    RawPad raw;
    std::array<double, 4> axes;
    const char* what;
  };
  const Case cases[] = {
      {Sticks(0, 0, 0, 0), {0, 0, 0, 0}, "at rest"},
      {Sticks(7849, 0, 8689, 0), {0, 0, 0, 0}, "on the edge of each dead zone"},
      {Sticks(5000, -6000, -6000, 6000), {0, 0, 0, 0}, "noise inside the dead zones, measured round"},
      {Sticks(8689, 0, 0, 0), {0.0337, 0, 0, 0}, "past the left dead zone, inside the right one's size"},
      {Sticks(-32768, 0, 0, 0), {-1, 0, 0, 0}, "left stick full left"},
      {Sticks(32767, 0, 0, 0), {1, 0, 0, 0}, "left stick full right"},
      {Sticks(0, 32767, 0, -32768), {0, -1, 0, 1}, "left stick up, right stick down: up is negative"},
      {Sticks(0, 0, -32768, 0), {0, 0, -1, 0}, "right stick full left"},
      {Sticks(32767, 32767, 0, 0), {0.7071, -0.7071, 0, 0}, "a corner is on the rim, not past it"},
      {Sticks(20308, 0, 0, 0), {0.5, 0, 0, 0}, "half way between dead zone and rim"},
  };
  for (const Case& c : cases) {
    const Pad pad = MapPad(c.raw);
    for (int axis = 0; axis < 4; ++axis) EXPECT_NEAR(pad.axes[axis], c.axes[axis], 1e-4) << c.what << ", axis " << axis;
    EXPECT_EQ(pad.pressed, 0u) << c.what;
  }
  EXPECT_EQ(MapPad(Sticks(-32768, 0, 0, 0)).axes[0], -1.0) << "exactly -1, as pages compare";
  EXPECT_EQ(MapPad(Sticks(0, -32768, 0, 0)).axes[1], 1.0);
  EXPECT_FALSE(std::signbit(MapPad(Sticks(0, 100, 0, 0)).axes[1])) << "rest is +0, not -0";
}

TEST(GamepadRulesTest, ConnectedSlotsAreReadEveryTickAndEmptyOnesOnceASecond) {
  Slots slots;
  using Due = std::array<bool, kSlots>;
  EXPECT_EQ(slots.Due(0), (Due{true, true, true, true})) << "a new page has every slot probed at once";
  EXPECT_EQ(slots.Interval(), kProbeMilliseconds);
  slots.Read(0, std::nullopt, 0);
  slots.Read(1, RawPad(), 0);
  slots.Read(2, std::nullopt, 0);
  slots.Read(3, std::nullopt, 500);
  EXPECT_EQ(slots.Interval(), kPollMilliseconds);
  EXPECT_EQ(slots.Due(510), (Due{false, true, false, false}));
  EXPECT_EQ(slots.Due(999), (Due{false, true, false, false}));
  EXPECT_EQ(slots.Due(1000), (Due{true, true, true, false}));
  EXPECT_EQ(slots.Due(1500), (Due{true, true, true, true}));
  slots.Read(1, std::nullopt, 1500);
  EXPECT_EQ(slots.Interval(), kProbeMilliseconds) << "no pad: nothing asks for a fast timer";
  slots.Forget();
  EXPECT_EQ(slots.Due(1501), (Due{true, true, true, true}));
}

TEST(GamepadRulesTest, OnlyChangesThePageCanSeeAreReported) {
  Slots slots;
  RawPad rest = Sticks(3000, -2000, 0, 0);
  ASSERT_TRUE(slots.Read(2, rest, 0)) << "a pad that appears is news";
  EXPECT_FALSE(slots.Read(2, rest, 10)) << "the same reading is not";
  EXPECT_FALSE(slots.Read(2, Sticks(-4000, 4000, 100, -8000), 20)) << "noise inside the dead zones is not";
  RawPad pressed = rest;
  pressed.buttons = xinput::kA;
  pressed.leftX = -32768;
  pressed.leftY = 0;
  const std::optional<Report> report = slots.Read(2, pressed, 30);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->slot, 2);
  EXPECT_TRUE(report->connected);
  EXPECT_EQ(report->pad.pressed, 1u);
  EXPECT_EQ(report->pad.axes[0], -1.0);
  const std::optional<Report> gone = slots.Read(2, std::nullopt, 40);
  ASSERT_TRUE(gone);
  EXPECT_FALSE(gone->connected);
  EXPECT_FALSE(slots.Read(2, std::nullopt, 1040)) << "an empty slot staying empty is not";
  EXPECT_FALSE(slots.Read(7, rest, 50)) << "there is no slot 7";
  ASSERT_TRUE(slots.Read(2, pressed, 2000)) << "the pad back in its slot is news again";
  slots.Forget();
  ASSERT_TRUE(slots.Read(2, pressed, 2010)) << "so is every pad to a new page";
}

ExtensionValue Number(double number) {
  ExtensionValue value{};
  value.type = ExtensionValueType::Number;
  value.number = number;
  return value;
}

TEST(GamepadRulesTest, RequestsAreCheckedAndRumbleIsClampedToWhatAMotorAndADurationMayBe) {
  EXPECT_EQ(ParseRequest("start", 0, nullptr).request->kind, Request::Kind::Start);
  const ExtensionValue one = Number(1);
  EXPECT_EQ(ParseRequest("start", 1, &one).error, "\"start\" takes no parameters");
  EXPECT_EQ(ParseRequest("calibrate", 0, nullptr).error,
            "kiln-gamepad answers \"start\" and \"rumble\", not \"calibrate\"");

  struct Case {
    std::vector<ExtensionValue> values;
    Rumble rumble;
    std::string error;
  };
  ExtensionValue text{};
  text.type = ExtensionValueType::String;
  text.text = "1";
  const std::string shape = "\"rumble\" takes four numbers: a pad's index, strongMagnitude, weakMagnitude and duration";
  const Case cases[] = {
      {{Number(1), Number(1), Number(0.5), Number(200)}, {1, 65535, 32768, 200}, ""},
      {{Number(0), Number(2), Number(-1), Number(1e9)}, {0, 65535, 0, 5000}, ""},
      {{Number(3), Number(0.25), Number(0), Number(-5)}, {3, 16384, 0, 0}, ""},
      {{Number(0), Number(1), Number(1), Number(0.2)}, {0, 65535, 65535, 1}, ""},
      {{Number(4), Number(1), Number(1), Number(100)}, {}, "\"rumble\": a pad's index is 0, 1, 2 or 3"},
      {{Number(0.5), Number(1), Number(1), Number(100)}, {}, "\"rumble\": a pad's index is 0, 1, 2 or 3"},
      {{Number(0), Number(std::numeric_limits<double>::quiet_NaN()), Number(1), Number(100)}, {}, shape},
      {{Number(0), text, Number(1), Number(100)}, {}, shape},
      {{Number(0), Number(1), Number(1)}, {}, shape},
  };
  for (const Case& c : cases) {
    const Parsed parsed = ParseRequest("rumble", static_cast<int32_t>(c.values.size()), c.values.data());
    EXPECT_EQ(parsed.error, c.error);
    if (!c.error.empty()) {
      EXPECT_FALSE(parsed.request);
      continue;
    }
    ASSERT_TRUE(parsed.request);
    EXPECT_EQ(parsed.request->rumble.slot, c.rumble.slot);
    EXPECT_EQ(parsed.request->rumble.strong, c.rumble.strong);
    EXPECT_EQ(parsed.request->rumble.weak, c.rumble.weak);
    EXPECT_EQ(parsed.request->rumble.milliseconds, c.rumble.milliseconds);
  }
}

TEST(GamepadRulesTest, APadMessageCarriesTheSlotButtonsTriggersAndAxes) {
  Report report{3, true, {}};
  report.pad.pressed = 0x10001;
  report.pad.rightTrigger = 0.5;
  report.pad.axes = {-1, 0.25, 0, 1};
  const std::vector<NamedExtensionValue> values = ReportValues(report);
  std::vector<std::string> names;
  for (const NamedExtensionValue& value : values) names.push_back(value.name);
  EXPECT_EQ(names, (std::vector<std::string>{"slot", "connected", "pressed", "leftTrigger", "rightTrigger", "axis0",
                                             "axis1", "axis2", "axis3"}));
  EXPECT_EQ(values[0].value.number, 3);
  EXPECT_EQ(values[1].value.type, ExtensionValueType::Boolean);
  EXPECT_EQ(values[1].value.number, 1);
  EXPECT_EQ(values[2].value.number, 0x10001);
  EXPECT_EQ(values[4].value.number, 0.5);
  EXPECT_EQ(values[5].value.number, -1);
  EXPECT_EQ(values[6].value.number, 0.25);
  EXPECT_EQ(values[8].value.number, 1);
}

}  // namespace
}  // namespace kiln::gamepad
