#include "gamepad_rules.h"

#include <algorithm>
#include <cmath>

namespace kiln::gamepad {
namespace {

constexpr double kFullTravel = 32767.0;

// Four decimals are finer than any pad reports, and keep full travel at
// exactly 1 whatever the last bit of a division gives.
double Rounded(double value) {
  const double rounded = std::round(value * 10000.0) / 10000.0;
  return std::clamp(rounded, -1.0, 1.0) + 0.0;  // never -0
}

// Standard button index of each XInput bit, in the order of the layout.
constexpr std::pair<uint16_t, int> kButtons[] = {
    {xinput::kA, 0},          {xinput::kB, 1},          {xinput::kX, 2},         {xinput::kY, 3},
    {xinput::kLeftShoulder, 4}, {xinput::kRightShoulder, 5}, {xinput::kBack, 8},  {xinput::kStart, 9},
    {xinput::kLeftThumb, 10}, {xinput::kRightThumb, 11}, {xinput::kDpadUp, 12}, {xinput::kDpadDown, 13},
    {xinput::kDpadLeft, 14},  {xinput::kDpadRight, 15}, {xinput::kGuide, 16},
};

bool Number(const ExtensionValue& value, double& number) {
  if (value.type != ExtensionValueType::Number || !std::isfinite(value.number)) return false;
  number = value.number;
  return true;
}

}  // namespace

double TriggerValue(uint8_t raw) {
  if (raw <= kTriggerThreshold) return 0.0;
  return Rounded((raw - kTriggerThreshold) / (255.0 - kTriggerThreshold));
}

std::array<double, 2> StickValues(int16_t x, int16_t y, int deadZone) {
  const double magnitude = std::sqrt(double(x) * x + double(y) * y);
  if (magnitude <= deadZone) return {0.0, 0.0};
  // The direction is kept; only the length is rescaled, so a stick pushed
  // to its rim reads 1 in every direction.
  const double length = (std::min(magnitude, kFullTravel) - deadZone) / (kFullTravel - deadZone);
  const double scale = length / magnitude;
  return {Rounded(x * scale), Rounded(y * scale)};
}

Pad MapPad(const RawPad& raw) {
  Pad pad;
  for (const auto& [bit, index] : kButtons) {
    if (raw.buttons & bit) pad.pressed |= 1u << index;
  }
  pad.leftTrigger = TriggerValue(raw.leftTrigger);
  pad.rightTrigger = TriggerValue(raw.rightTrigger);
  if (pad.leftTrigger > 0) pad.pressed |= 1u << 6;
  if (pad.rightTrigger > 0) pad.pressed |= 1u << 7;
  const std::array<double, 2> left = StickValues(raw.leftX, raw.leftY, kLeftStickDeadZone);
  const std::array<double, 2> right = StickValues(raw.rightX, raw.rightY, kRightStickDeadZone);
  // XInput counts up as positive; the page's layout counts down.
  pad.axes = {left[0], -left[1] + 0.0, right[0], -right[1] + 0.0};
  return pad;
}

std::array<bool, kSlots> Slots::Due(uint64_t nowMs) const {
  std::array<bool, kSlots> due{};
  for (int i = 0; i < kSlots; ++i) {
    const Slot& slot = slots_[i];
    due[i] = slot.connected || !slot.probed || nowMs >= slot.probedAt + kProbeMilliseconds;
  }
  return due;
}

std::optional<Report> Slots::Read(int index, const std::optional<RawPad>& raw, uint64_t nowMs) {
  if (index < 0 || index >= kSlots) return std::nullopt;
  Slot& slot = slots_[index];
  const bool wasConnected = slot.connected;
  slot.probed = true;
  slot.probedAt = nowMs;
  if (!raw) {
    slot.connected = false;
    slot.pad = Pad();
    if (!wasConnected) return std::nullopt;
    return Report{index, false, Pad()};
  }
  const Pad pad = MapPad(*raw);
  slot.connected = true;
  if (wasConnected && pad == slot.pad) return std::nullopt;
  slot.pad = pad;
  return Report{index, true, pad};
}

bool Slots::AnyConnected() const {
  return std::any_of(slots_.begin(), slots_.end(), [](const Slot& slot) { return slot.connected; });
}

void Slots::Forget() { slots_ = {}; }

Parsed ParseRequest(std::string_view messageId, int32_t count, const ExtensionValue* values) {
  Parsed parsed;
  if (messageId == "start") {
    if (count != 0) {
      parsed.error = "\"start\" takes no parameters";
      return parsed;
    }
    parsed.request = Request{Request::Kind::Start, {}};
    return parsed;
  }
  if (messageId == "rumble") {
    double slot = 0, strong = 0, weak = 0, duration = 0;
    if (count != 4 || !values || !Number(values[0], slot) || !Number(values[1], strong) ||
        !Number(values[2], weak) || !Number(values[3], duration)) {
      parsed.error = "\"rumble\" takes four numbers: a pad's index, strongMagnitude, weakMagnitude and duration";
      return parsed;
    }
    if (slot < 0 || slot >= kSlots || slot != std::floor(slot)) {
      parsed.error = "\"rumble\": a pad's index is 0, 1, 2 or 3";
      return parsed;
    }
    Rumble rumble;
    rumble.slot = static_cast<int>(slot);
    // As the browser's dual-rumble does: magnitudes are clamped to 0 to 1,
    // and no request holds a motor on for ever.
    rumble.strong = static_cast<uint16_t>(std::lround(std::clamp(strong, 0.0, 1.0) * 65535.0));
    rumble.weak = static_cast<uint16_t>(std::lround(std::clamp(weak, 0.0, 1.0) * 65535.0));
    rumble.milliseconds = static_cast<unsigned>(std::clamp(std::ceil(duration), 0.0, double(kMaxRumbleMilliseconds)));
    parsed.request = Request{Request::Kind::Rumble, rumble};
    return parsed;
  }
  parsed.error = "kiln-gamepad answers \"start\" and \"rumble\", not \"" + std::string(messageId) + "\"";
  return parsed;
}

std::vector<NamedExtensionValue> ReportValues(const Report& report) {
  const auto number = [](const char* name, double value) {
    NamedExtensionValue named{};
    named.name = name;
    named.value.type = ExtensionValueType::Number;
    named.value.number = value;
    return named;
  };
  NamedExtensionValue connected{};
  connected.name = "connected";
  connected.value.type = ExtensionValueType::Boolean;
  connected.value.number = report.connected ? 1.0 : 0.0;
  return {number("slot", report.slot),
          connected,
          number("pressed", report.pad.pressed),
          number("leftTrigger", report.pad.leftTrigger),
          number("rightTrigger", report.pad.rightTrigger),
          number("axis0", report.pad.axes[0]),
          number("axis1", report.pad.axes[1]),
          number("axis2", report.pad.axes[2]),
          number("axis3", report.pad.axes[3])};
}

}  // namespace kiln::gamepad
