// XInput, loaded from the system folder only, read a slot at a time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "gamepad_rules.h"

namespace kiln::gamepad {

class XInput {
 public:
  XInput() = default;
  XInput(const XInput&) = delete;
  XInput& operator=(const XInput&) = delete;
  ~XInput();

  // Loads xinput1_4.dll, else xinput9_1_0.dll, once; false when neither is
  // there. status() then says which, in words for the page.
  bool Load();
  bool loaded() const { return getState_ != nullptr; }
  const std::string& status() const { return status_; }
  // Whether button 16 (guide) can ever be pressed.
  bool hasGuide() const { return getStateEx_ != nullptr; }

  // The slot's state, or none when no pad is there (or XInput is missing).
  std::optional<RawPad> Read(int slot) const;
  // Sets both motors; speeds 0 stop them. Ignored for an empty slot.
  void SetMotors(int slot, uint16_t strong, uint16_t weak) const;

 private:
  using GetState = DWORD(WINAPI*)(DWORD, void*);
  using SetState = DWORD(WINAPI*)(DWORD, void*);

  HMODULE module_ = nullptr;
  GetState getState_ = nullptr;
  GetState getStateEx_ = nullptr;
  SetState setState_ = nullptr;
  bool tried_ = false;
  std::string status_;
};

}  // namespace kiln::gamepad
