// gamepad.ext.dll: pads read in kiln.exe's own process, through XInput, and
// handed to the page in the standard Gamepad layout.
//
// Steam applies a player's controller configuration to the process it
// started, through XInput, while WebView2 reads pads in its own browser
// process; so under Steam Input only this process sees the configured pad.
//
// The page asks (component "kiln-gamepad", answered with the same message
// id and asyncId, {"ok": true, ...} or {"ok": false, "error": text}):
//   "start"  []                         "status": text, "guide": boolean; then
//                                       a "pad" message for every connected pad
//   "rumble" [slot, strong, weak, ms]   both motors on for ms, then off
// and hears, unasked, "pad" {slot, connected, pressed, leftTrigger,
// rightTrigger, axis0..axis3} whenever what it knows of a slot changes.
//
// Everything runs on the UI thread, from timers of our message window: a
// connected pad costs a few microseconds a read, and only empty slots are
// slow, which is why they are probed once a second only.
#include <windows.h>
#include <mmsystem.h>

#include <array>
#include <string>
#include <vector>

#include "extension_init.h"
#include "gamepad_rules.h"
#include "kiln/extension.h"
#include "message_window_win.h"
#include "xinput_win.h"

namespace kiln::gamepad {
namespace {

constexpr UINT kPollNow = WM_APP + 1;
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT_PTR kRumbleTimer = 10;  // + slot

// A 10 ms window timer fires on Windows' timer tick, 15.6 ms unless some
// program asked for a finer one: 64 reads a second at best, and one late
// tick leaves 31 ms between two. Asking for 5 ms while a pad is connected
// puts every read 10 ms after the last, at a fraction of the power a 1 ms
// tick costs; with no pad connected nothing is asked.
constexpr UINT kTimerTickMs = 5;

NamedExtensionValue Text(const char* name, const std::string& text) {
  NamedExtensionValue value{};
  value.name = name;
  value.value.type = ExtensionValueType::String;
  value.value.text = text.c_str();
  return value;
}

NamedExtensionValue Flag(const char* name, bool on) {
  NamedExtensionValue value{};
  value.name = name;
  value.value.type = ExtensionValueType::Boolean;
  value.value.number = on ? 1.0 : 0.0;
  return value;
}

class GamepadExtension final : public IExtension {
 public:
  explicit GamepadExtension(IApplication* application) : application_(application) {}

  bool Start() {
    return window_.Create([this](UINT message, WPARAM wParam, LPARAM) {
      if (message == kPollNow || (message == WM_TIMER && wParam == kPollTimer)) {
        Poll();
      } else if (message == WM_TIMER && wParam >= kRumbleTimer && wParam < kRumbleTimer + kSlots) {
        StopRumble(static_cast<int>(wParam - kRumbleTimer));
      }
    });
  }

  // A rumble still on stops with the game.
  void Destroy() override {
    for (int slot = 0; slot < kSlots; ++slot) StopRumble(slot);
    SetFineTick(false);
    window_.Destroy();
    delete this;
  }

  void OnWebMessage(const char* messageId, int32_t count, const ExtensionValue* values, double asyncId) override {
    try {
      const Parsed parsed = ParseRequest(messageId, count, values);
      if (!parsed.request) {
        Answer(messageId, asyncId, parsed.error);
      } else if (parsed.request->kind == Request::Kind::Start) {
        Start(messageId, asyncId);
      } else {
        Rumble(messageId, asyncId, parsed.request->rumble);
      }
    } catch (...) {
      // Out of memory: this request goes unanswered.
    }
  }

  void OnMainWindowCreated(WindowHandle) override {}
  void OnExtensionsLoaded() override {}

 private:
  // A page (the first, or one loaded anew) starts knowing of no pad and no
  // rumble: whatever the last page left on is stopped.
  void Start(const char* messageId, double asyncId) {
    xinput_.Load();
    for (int slot = 0; slot < kSlots; ++slot) StopRumble(slot);
    slots_.Forget();
    const std::string status = xinput_.status();
    const NamedExtensionValue values[] = {Flag("ok", true), Text("status", status), Flag("guide", xinput_.hasGuide())};
    application_->SendWebMessage(messageId, 3, values, asyncId);
    // The first reads, empty slots among them, come after the page's
    // message has been handled: it never waits on XInput.
    if (xinput_.loaded()) window_.Post(kPollNow);
  }

  void Rumble(const char* messageId, double asyncId, const gamepad::Rumble& rumble) {
    if (!xinput_.loaded()) {
      Answer(messageId, asyncId, xinput_.status().empty() ? "\"start\" first" : xinput_.status());
      return;
    }
    StopRumble(rumble.slot);
    if (rumble.milliseconds > 0 && (rumble.strong || rumble.weak)) {
      // The timer stops the motors whatever becomes of the page.
      if (window_.StartTimer(kRumbleTimer + rumble.slot, rumble.milliseconds)) {
        xinput_.SetMotors(rumble.slot, rumble.strong, rumble.weak);
        rumbling_[rumble.slot] = true;
      }
    }
    Answer(messageId, asyncId, "");
  }

  void StopRumble(int slot) {
    window_.StopTimer(kRumbleTimer + slot);
    if (!rumbling_[slot]) return;
    rumbling_[slot] = false;
    xinput_.SetMotors(slot, 0, 0);
  }

  void Poll() {
    const ULONGLONG now = GetTickCount64();
    const std::array<bool, kSlots> due = slots_.Due(now);
    for (int slot = 0; slot < kSlots; ++slot) {
      if (!due[slot]) continue;
      const std::optional<Report> report = slots_.Read(slot, xinput_.Read(slot), now);
      if (!report) continue;
      if (!report->connected) rumbling_[slot] = false;  // the motors went with the pad
      const std::vector<NamedExtensionValue> values = ReportValues(*report);
      application_->SendWebMessage("pad", static_cast<uint32_t>(values.size()), values.data(), -1);
    }
    const unsigned interval = slots_.Interval();
    if (interval != interval_ && window_.StartTimer(kPollTimer, interval)) interval_ = interval;
    SetFineTick(interval_ == kPollMilliseconds);
  }

  void SetFineTick(bool fine) {
    if (fine == fineTick_) return;
    if (fine) {
      fineTick_ = timeBeginPeriod(kTimerTickMs) == TIMERR_NOERROR;
    } else {
      timeEndPeriod(kTimerTickMs);
      fineTick_ = false;
    }
  }

  void Answer(const char* messageId, double asyncId, const std::string& error) {
    std::vector<NamedExtensionValue> values = {Flag("ok", error.empty())};
    if (!error.empty()) values.push_back(Text("error", error));
    application_->SendWebMessage(messageId, static_cast<uint32_t>(values.size()), values.data(), asyncId);
  }

  IApplication* application_;
  extensions::MessageWindow window_;
  XInput xinput_;
  Slots slots_;
  std::array<bool, kSlots> rumbling_{};
  unsigned interval_ = 0;
  bool fineTick_ = false;
};

}  // namespace
}  // namespace kiln::gamepad

KILN_EXTENSION_EXPORT kiln::IExtension* KILN_CDECL WrapperExtInit(kiln::IApplication* application) {
  return kiln::extensions::InitExtension<kiln::gamepad::GamepadExtension>(application, kiln::gamepad::kComponentId);
}
