// The rules of gamepad.ext.dll that hold on any system: how an XInput report
// becomes a pad in the page's standard layout, which slots are read when,
// which readings the page must hear of, and what the page may ask. The
// Windows side only calls XInput and the host.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kiln/extension.h"

namespace kiln::gamepad {

inline constexpr char kComponentId[] = "kiln-gamepad";
inline constexpr int kSlots = 4;

// XInput's own recommendations for where a resting stick or trigger may
// drift to.
inline constexpr int kLeftStickDeadZone = 7849;
inline constexpr int kRightStickDeadZone = 8689;
inline constexpr int kTriggerThreshold = 30;

// How often connected pads are read: a window timer cannot go below 10 ms.
// Empty slots are probed at most this often, as XInput is slow on them.
inline constexpr unsigned kPollMilliseconds = 10;
inline constexpr unsigned kProbeMilliseconds = 1000;

// The longest rumble one request may ask for.
inline constexpr unsigned kMaxRumbleMilliseconds = 5000;

// XInput's button bits (XINPUT_GAMEPAD wButtons); the guide button only
// comes through the undocumented extended state call.
namespace xinput {
inline constexpr uint16_t kDpadUp = 0x0001, kDpadDown = 0x0002, kDpadLeft = 0x0004, kDpadRight = 0x0008;
inline constexpr uint16_t kStart = 0x0010, kBack = 0x0020, kLeftThumb = 0x0040, kRightThumb = 0x0080;
inline constexpr uint16_t kLeftShoulder = 0x0100, kRightShoulder = 0x0200, kGuide = 0x0400;
inline constexpr uint16_t kA = 0x1000, kB = 0x2000, kX = 0x4000, kY = 0x8000;
}  // namespace xinput

// One reading of a connected pad, as XInput gives it.
struct RawPad {
  uint16_t buttons = 0;
  uint8_t leftTrigger = 0;
  uint8_t rightTrigger = 0;
  int16_t leftX = 0, leftY = 0, rightX = 0, rightY = 0;  // up and right positive
};

// A pad in the standard layout: buttons 0 to 16, axes 0 to 3 with down and
// right positive, every value 0 at rest and 1 at full travel.
struct Pad {
  uint32_t pressed = 0;  // bit i: standard button i is pressed
  double leftTrigger = 0, rightTrigger = 0;  // buttons 6 and 7
  std::array<double, 4> axes{};

  bool operator==(const Pad& other) const {
    return pressed == other.pressed && leftTrigger == other.leftTrigger && rightTrigger == other.rightTrigger &&
           axes == other.axes;
  }
  bool operator!=(const Pad& other) const { return !(*this == other); }
};

// A trigger's 0 to 255 past its threshold, as 0 to 1.
double TriggerValue(uint8_t raw);

// A stick's two axes past a round dead zone, rescaled so that the edge of
// the dead zone reads 0 and full travel 1, in XInput's signs.
std::array<double, 2> StickValues(int16_t x, int16_t y, int deadZone);

Pad MapPad(const RawPad& raw);

// What the page must be told of a slot.
struct Report {
  int slot = 0;
  bool connected = false;
  Pad pad;
};

// Which slots to read when, and which readings are news to the page.
class Slots {
 public:
  // The slots to read at nowMs: every connected one, and every empty one
  // not probed in the last second.
  std::array<bool, kSlots> Due(uint64_t nowMs) const;

  // What reading slot at nowMs gave (none: not connected); the report the
  // page must hear, when anything it knows changed.
  std::optional<Report> Read(int slot, const std::optional<RawPad>& raw, uint64_t nowMs);

  bool AnyConnected() const;
  // The timer's period: fast while a pad is connected, else the probe's.
  unsigned Interval() const { return AnyConnected() ? kPollMilliseconds : kProbeMilliseconds; }

  // A new page knows of no pad: every slot is read at once, and every
  // connected pad is news again.
  void Forget();

 private:
  struct Slot {
    bool connected = false;
    bool probed = false;
    uint64_t probedAt = 0;
    Pad pad;
  };
  std::array<Slot, kSlots> slots_{};
};

// A rumble the page asked for, in XInput's motor speeds.
struct Rumble {
  int slot = 0;
  uint16_t strong = 0;  // the left, low-frequency motor
  uint16_t weak = 0;    // the right, high-frequency motor
  unsigned milliseconds = 0;
};

// What the page asked: "start" [] or "rumble" [slot, strongMagnitude,
// weakMagnitude, duration ms].
struct Request {
  enum class Kind { Start, Rumble } kind = Kind::Start;
  Rumble rumble;
};
struct Parsed {
  std::optional<Request> request;
  std::string error;
};
Parsed ParseRequest(std::string_view messageId, int32_t count, const ExtensionValue* values);

// The named values of a "pad" message to the page: "slot", "connected",
// "pressed" (bit i for standard button i), "leftTrigger", "rightTrigger",
// "axis0" to "axis3". Numbers and fixed names only: nothing to keep alive.
std::vector<NamedExtensionValue> ReportValues(const Report& report);

}  // namespace kiln::gamepad
