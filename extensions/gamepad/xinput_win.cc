#include "xinput_win.h"

#include <xinput.h>

namespace kiln::gamepad {
namespace {

// What the extended state call fills: the documented state and, on some
// versions, a reserved word after it. Room for both, so a version that
// writes more than it documents writes into our buffer.
struct ExtendedState {
  XINPUT_STATE state;
  DWORD reserved;
};

// The undocumented extended state call, which reports the guide button.
constexpr WORD kGetStateExOrdinal = 100;

}  // namespace

XInput::~XInput() {
  if (module_) FreeLibrary(module_);
}

bool XInput::Load() {
  if (tried_) return loaded();
  tried_ = true;
  // From the system folder only: an xinput DLL planted beside the game, or
  // anywhere else on the search path, is never loaded.
  for (const wchar_t* name : {L"xinput1_4.dll", L"xinput9_1_0.dll"}) {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module) continue;
    const auto getState = reinterpret_cast<GetState>(reinterpret_cast<void*>(GetProcAddress(module, "XInputGetState")));
    const auto setState = reinterpret_cast<SetState>(reinterpret_cast<void*>(GetProcAddress(module, "XInputSetState")));
    if (!getState || !setState) {
      FreeLibrary(module);
      continue;
    }
    module_ = module;
    getState_ = getState;
    setState_ = setState;
    // xinput9_1_0.dll has no extended call; its ordinal 100 would be
    // something else, if anything.
    if (name[6] == L'1') {
      getStateEx_ = reinterpret_cast<GetState>(
          reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(kGetStateExOrdinal))));
    }
    status_ = std::string("reading pads through ") + (name[6] == L'1' ? "xinput1_4.dll" : "xinput9_1_0.dll") +
              (getStateEx_ ? ", guide button included" : ", without the guide button");
    return true;
  }
  status_ = "no XInput on this machine (neither xinput1_4.dll nor xinput9_1_0.dll in the system folder): no gamepads";
  return false;
}

std::optional<RawPad> XInput::Read(int slot) const {
  if (!getState_) return std::nullopt;
  ExtendedState buffer = {};
  const DWORD result = (getStateEx_ ? getStateEx_ : getState_)(static_cast<DWORD>(slot), &buffer);
  if (result != ERROR_SUCCESS) return std::nullopt;
  const XINPUT_GAMEPAD& gamepad = buffer.state.Gamepad;
  RawPad raw;
  raw.buttons = gamepad.wButtons;
  raw.leftTrigger = gamepad.bLeftTrigger;
  raw.rightTrigger = gamepad.bRightTrigger;
  raw.leftX = gamepad.sThumbLX;
  raw.leftY = gamepad.sThumbLY;
  raw.rightX = gamepad.sThumbRX;
  raw.rightY = gamepad.sThumbRY;
  // The documented call leaves bit 0x400 unused; keep it that way.
  if (!getStateEx_) raw.buttons &= ~xinput::kGuide;
  return raw;
}

void XInput::SetMotors(int slot, uint16_t strong, uint16_t weak) const {
  if (!setState_) return;
  XINPUT_VIBRATION vibration = {};
  vibration.wLeftMotorSpeed = strong;
  vibration.wRightMotorSpeed = weak;
  setState_(static_cast<DWORD>(slot), &vibration);
}

}  // namespace kiln::gamepad
