// A stand-in xinput1_4.dll for the tests: installed in the Wine prefix's
// system folder and loaded through a native override, so that whatever
// loads XInput from there gets this instead of Wine's own. It plays the pads
// of the scenario file KILN_XINPUT_SCENARIO names and writes what it was
// asked to the file KILN_XINPUT_LOG names, one JSON object a line.
//
// Written from Microsoft's documentation of XInput's binary interface, not
// from anything of Kiln's: the records below are declared here, their
// layout checked.
//
// Scenario: {"steps": [{"at": ms, "slot": n, "connected": bool (default
// true), "buttons", "lt", "rt", "lx", "ly", "rx", "ry"}, ...]}. From "at"
// milliseconds after the first call of any kind, the slot reads as the step
// says (fields left out read 0). "buttons" may hold 0x0400, the guide
// button, which only the extended call (ordinal 100) reports.
//
// Log lines, each with "t", milliseconds since the process was created (the
// clock of the stand-in runtime's transcript), and "epoch", since 1970:
//   {"event": "started"}                     the first call: the steps' clock starts
//   {"event": "seen", "slot", "step", "read"}  read number "read" of the slot
//                                            was the first to return the step
//   {"event": "empty-read", "slot"}          a read of a slot with no pad
//   {"event": "set-state", "slot", "left", "right", "connected"}
//   {"event": "reads", "slot", "count"}      at unload, reads per slot
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

// The documented records.
struct PadReport {  // XINPUT_GAMEPAD
  WORD wButtons;
  BYTE bLeftTrigger;
  BYTE bRightTrigger;
  SHORT sThumbLX;
  SHORT sThumbLY;
  SHORT sThumbRX;
  SHORT sThumbRY;
};
struct PadState {  // XINPUT_STATE
  DWORD dwPacketNumber;
  PadReport Gamepad;
};
struct Vibration {  // XINPUT_VIBRATION
  WORD wLeftMotorSpeed;
  WORD wRightMotorSpeed;
};
struct Capabilities {  // XINPUT_CAPABILITIES
  BYTE Type;
  BYTE SubType;
  WORD Flags;
  PadReport Gamepad;
  Vibration Vibration;
};
static_assert(sizeof(PadReport) == 12 && offsetof(PadReport, sThumbLX) == 4, "XINPUT_GAMEPAD");
static_assert(sizeof(PadState) == 16 && offsetof(PadState, Gamepad) == 4, "XINPUT_STATE");
static_assert(sizeof(Vibration) == 4, "XINPUT_VIBRATION");
static_assert(sizeof(Capabilities) == 20 && offsetof(Capabilities, Vibration) == 16, "XINPUT_CAPABILITIES");

constexpr DWORD kSlots = 4;  // XUSER_MAX_COUNT
constexpr WORD kGuide = 0x0400;
constexpr BYTE kDeviceTypeGamepad = 1;  // XINPUT_DEVTYPE_GAMEPAD
constexpr BYTE kSubTypeGamepad = 1;     // XINPUT_DEVSUBTYPE_GAMEPAD

struct Step {
  double at = 0;
  DWORD slot = 0;
  bool connected = true;
  PadReport report = {};
};

CRITICAL_SECTION g_lock;
bool g_started = false;
LARGE_INTEGER g_frequency, g_firstCall;
std::vector<Step> g_steps;
FILE* g_log = nullptr;
int g_lastSeen[kSlots] = {-1, -1, -1, -1};
DWORD g_packets[kSlots] = {};
long long g_reads[kSlots] = {};

std::wstring PathFromEnvironment(const wchar_t* name) {
  wchar_t buffer[MAX_PATH * 2] = {};
  const DWORD length = GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return std::wstring();
  std::wstring path = buffer;
  if (path[0] == L'/') path = L"Z:" + path;  // a Unix path, through drive Z:
  return path;
}

long long Ticks(const FILETIME& time) { return (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

void Log(json line) {
  if (!g_log) return;
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimePreciseAsFileTime(&now);
  // Milliseconds since this process was created, as the transcript counts,
  // and since 1970, as a page's performance.timeOrigin + performance.now().
  line["t"] = (Ticks(now) - Ticks(created)) / 10000.0;
  line["epoch"] = (Ticks(now) - 116444736000000000LL) / 10000.0;
  const std::string text = line.dump();
  std::fprintf(g_log, "%s\n", text.c_str());
  std::fflush(g_log);
}

std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return bytes;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) bytes.append(buffer, got);
  std::fclose(file);
  return bytes;
}

// On the first call: the scenario is read and the clock starts.
void StartLocked() {
  if (g_started) return;
  g_started = true;
  const std::wstring logPath = PathFromEnvironment(L"KILN_XINPUT_LOG");
  if (!logPath.empty()) g_log = _wfopen(logPath.c_str(), L"ab");
  const json scenario = json::parse(ReadAll(PathFromEnvironment(L"KILN_XINPUT_SCENARIO")), nullptr, false);
  if (!scenario.is_object()) {
    Log({{"event", "error"}, {"what", "no scenario, or not JSON"}});
  }
  for (const json& item : scenario.is_object() ? scenario.value("steps", json::array()) : json::array()) {
    Step step;
    step.at = item.value("at", 0.0);
    step.slot = item.value("slot", 0u);
    step.connected = item.value("connected", true);
    step.report.wButtons = item.value("buttons", 0);
    step.report.bLeftTrigger = item.value("lt", 0);
    step.report.bRightTrigger = item.value("rt", 0);
    step.report.sThumbLX = item.value("lx", 0);
    step.report.sThumbLY = item.value("ly", 0);
    step.report.sThumbRX = item.value("rx", 0);
    step.report.sThumbRY = item.value("ry", 0);
    g_steps.push_back(step);
  }
  // The steps' clock starts once the scenario is read, and the line saying
  // so carries the same moment.
  QueryPerformanceFrequency(&g_frequency);
  QueryPerformanceCounter(&g_firstCall);
  Log({{"event", "started"}});
}

double ElapsedLocked() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return (now.QuadPart - g_firstCall.QuadPart) * 1000.0 / g_frequency.QuadPart;
}

// The step the slot is at now, or -1 when no step has named it yet.
int CurrentStepLocked(DWORD slot) {
  const double elapsed = ElapsedLocked();
  int current = -1;
  for (size_t i = 0; i < g_steps.size(); ++i) {
    if (g_steps[i].slot == slot && g_steps[i].at <= elapsed) current = static_cast<int>(i);
  }
  return current;
}

DWORD Read(DWORD slot, PadState* state, bool extended) {
  if (slot >= kSlots || !state) return ERROR_BAD_ARGUMENTS;
  EnterCriticalSection(&g_lock);
  StartLocked();
  ++g_reads[slot];
  const int step = CurrentStepLocked(slot);
  const bool connected = step >= 0 && g_steps[step].connected;
  if (step != g_lastSeen[slot]) {
    g_lastSeen[slot] = step;
    ++g_packets[slot];
    Log({{"event", "seen"}, {"slot", slot}, {"step", step}, {"read", g_reads[slot]}});
  }
  if (!connected) {
    Log({{"event", "empty-read"}, {"slot", slot}});
    LeaveCriticalSection(&g_lock);
    return ERROR_DEVICE_NOT_CONNECTED;
  }
  state->dwPacketNumber = g_packets[slot];
  state->Gamepad = g_steps[step].report;
  if (!extended) state->Gamepad.wButtons &= ~kGuide;
  LeaveCriticalSection(&g_lock);
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

DWORD WINAPI XInputGetState(DWORD dwUserIndex, PadState* pState) { return Read(dwUserIndex, pState, false); }

// Ordinal 100, without a name, as in Microsoft's xinput1_4.dll.
DWORD WINAPI XInputGetStateEx(DWORD dwUserIndex, PadState* pState) { return Read(dwUserIndex, pState, true); }

DWORD WINAPI XInputSetState(DWORD dwUserIndex, Vibration* pVibration) {
  if (dwUserIndex >= kSlots || !pVibration) return ERROR_BAD_ARGUMENTS;
  EnterCriticalSection(&g_lock);
  StartLocked();
  const int step = CurrentStepLocked(dwUserIndex);
  const bool connected = step >= 0 && g_steps[step].connected;
  Log({{"event", "set-state"}, {"slot", dwUserIndex}, {"left", pVibration->wLeftMotorSpeed},
       {"right", pVibration->wRightMotorSpeed}, {"connected", connected}});
  LeaveCriticalSection(&g_lock);
  return connected ? ERROR_SUCCESS : ERROR_DEVICE_NOT_CONNECTED;
}

DWORD WINAPI XInputGetCapabilities(DWORD dwUserIndex, DWORD dwFlags, Capabilities* pCapabilities) {
  (void)dwFlags;
  if (dwUserIndex >= kSlots || !pCapabilities) return ERROR_BAD_ARGUMENTS;
  EnterCriticalSection(&g_lock);
  StartLocked();
  const int step = CurrentStepLocked(dwUserIndex);
  const bool connected = step >= 0 && g_steps[step].connected;
  LeaveCriticalSection(&g_lock);
  if (!connected) return ERROR_DEVICE_NOT_CONNECTED;
  *pCapabilities = {};
  pCapabilities->Type = kDeviceTypeGamepad;
  pCapabilities->SubType = kSubTypeGamepad;
  pCapabilities->Gamepad.wButtons = 0xf3ff;
  pCapabilities->Gamepad.bLeftTrigger = pCapabilities->Gamepad.bRightTrigger = 0xff;
  pCapabilities->Gamepad.sThumbLX = pCapabilities->Gamepad.sThumbLY = -64;
  pCapabilities->Gamepad.sThumbRX = pCapabilities->Gamepad.sThumbRY = -64;
  pCapabilities->Vibration.wLeftMotorSpeed = pCapabilities->Vibration.wRightMotorSpeed = 0xffff;
  return ERROR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void* reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    InitializeCriticalSection(&g_lock);
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    // Freed by its user (not the process ending): every count is final.
    for (DWORD slot = 0; slot < kSlots; ++slot) Log({{"event", "reads"}, {"slot", slot}, {"count", g_reads[slot]}});
    if (g_log) std::fclose(g_log);
    DeleteCriticalSection(&g_lock);
  }
  return TRUE;
}

}  // extern "C"
