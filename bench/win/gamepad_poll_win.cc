// The cost of one poll of gamepad.ext.dll's: the reads of every slot due, the
// mapping to the standard layout and the change test, as the extension's
// timer runs them (everything but handing changes to the host). XInput is
// whatever the system folder holds; bench/gamepad_wine.sh puts the stand-in
// there, playing four idle pads or none.
//
//   gamepad_poll.exe connected|empty COUNT
//
// "connected": COUNT polls of four connected pads, as every 10 ms.
// "empty": COUNT probes of four empty slots, as once a second.
// Prints the median and the 99th percentile in microseconds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "gamepad_rules.h"
#include "xinput_win.h"

int main(int argc, char** argv) {
  using namespace kiln::gamepad;
  if (argc != 3 || (std::strcmp(argv[1], "connected") != 0 && std::strcmp(argv[1], "empty") != 0)) {
    std::fprintf(stderr, "usage: gamepad_poll.exe connected|empty COUNT\n");
    return 2;
  }
  const bool connected = std::strcmp(argv[1], "connected") == 0;
  const int count = std::max(1, std::atoi(argv[2]));
  XInput xinput;
  if (!xinput.Load()) {
    std::fprintf(stderr, "%s\n", xinput.status().c_str());
    return 1;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  Slots slots;
  std::vector<double> micros;
  size_t reports = 0;
  uint64_t now = 0;
  for (int i = 0; i < count + 1; ++i) {
    // Empty slots come due once a second: step the clock past that.
    now += connected ? kPollMilliseconds : kProbeMilliseconds;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const std::array<bool, kSlots> due = slots.Due(now);
    for (int slot = 0; slot < kSlots; ++slot) {
      if (!due[slot]) continue;
      const std::optional<Report> report = slots.Read(slot, xinput.Read(slot), now);
      if (report) reports += ReportValues(*report).size();
    }
    QueryPerformanceCounter(&end);
    // The first poll finds the pads: news, not the steady state.
    if (i > 0) micros.push_back((end.QuadPart - start.QuadPart) * 1e6 / frequency.QuadPart);
  }
  std::sort(micros.begin(), micros.end());
  std::printf("%s: %d polls, median %.2f us, 99th percentile %.2f us (%s; %zu values reported)\n",
              connected ? "one poll, four pads connected" : "one probe, four empty slots", count,
              micros[micros.size() / 2], micros[micros.size() * 99 / 100], xinput.status().c_str(), reports);
  return 0;
}
