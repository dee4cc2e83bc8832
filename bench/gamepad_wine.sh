#!/usr/bin/env bash
# gamepad.ext.dll under a warm Wine, with the stand-in xinput1_4.dll
# (tests/xinput) in the prefix's system folder for the run (the prefix's own
# is put back at the end) and loaded through a native override:
#   - the cost of one poll of four connected pads (every 10 ms while a pad is
#     connected) and of one probe of four empty slots (once a second), by
#     bench/win/gamepad_poll.exe, P polls each (default 20,000);
#   - change to page: kiln.exe with the Chromium-backed runtime, the stand-in
#     pressing and releasing A every 150 ms, C times (default 40); a page's
#     Kiln.on handler notes when each change arrives. The time from the
#     stand-in's change to the handler, both on the wall clock.
# Targets under Wine: a poll under 50 us, change to page under 16 ms (one
# of Chromium's own polling intervals) at the median. Run after
# scripts/build.sh; prints figures, asserts nothing beyond each part having
# run to its end. The stand-in answers from memory: a real XInput costs more,
# above all on empty slots.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
polls=${1:-20000}
changes=${2:-40}

source scripts/wine-env.sh

app=build/bench/gamepad
rm -rf "$app" && mkdir -p "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH" "$app/www"
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }

kiln_wine_start
system_dll=$WINEPREFIX/drive_c/windows/system32/xinput1_4.dll
cp "$system_dll" "$app/prefix-xinput1_4.dll"
restore() { cp "$app/prefix-xinput1_4.dll" "$system_dll"; kiln_wine_stop; }
trap restore EXIT
cp "$KILN_WIN_BUILD/tests/xinput/xinput1_4.dll" "$system_dll"
export WINEDLLOVERRIDES=xinput1_4=n

# One poll, four pads and none.
echo '{"steps": [{"slot": 0}, {"slot": 1}, {"slot": 2}, {"slot": 3, "lx": 3000}]}' >"$app/four.json"
echo '{"steps": []}' >"$app/none.json"
KILN_XINPUT_SCENARIO=$(winpath "$app/four.json") "$WINELOADER" "$KILN_WIN_BUILD/bench/win/gamepad_poll.exe" connected "$polls"
KILN_XINPUT_SCENARIO=$(winpath "$app/none.json") "$WINELOADER" "$KILN_WIN_BUILD/bench/win/gamepad_poll.exe" empty "$polls"

# Change to page.
if ! command -v chromium >/dev/null; then
  echo "change to page: not measured, Chromium is not installed (Debian package chromium)"
  exit 0
fi
cp "$KILN_WIN_BUILD/src/kiln.exe" "$KILN_WIN_BUILD/src/gamepad.ext.dll" "$app/"
cp "$KILN_WIN_BUILD/tests/runtime/chromium/EmbeddedBrowserWebView.dll" "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH/"
cp sdk/kiln.js "$app/www/"
echo '{"name": "kiln-gamepad-bench", "main": "index.html", "settings": {"distribution-mode": "fixed"}}' >"$app/package.json"
cat >"$app/www/index.html" <<HTML
<!doctype html><meta charset="utf-8"><title>Pad latency</title>
<script src="kiln.js"></script>
<script>
const seen = [];
const report = () => chrome.webview.postMessage({seen});
Kiln.on("kiln-gamepad", "pad", (params) => {
  seen.push({pressed: params.pressed, epoch: performance.timeOrigin + performance.now()});
  if (seen.length === $changes + 1) report();
});
Kiln.gamepad.start();
setTimeout(report, 30000);
</script>
HTML
python3 - "$changes" >"$app/pads.json" <<'PY'
import json, sys
steps = [{"at": 0, "slot": 0}]
steps += [{"at": 1000 + 150 * k, "slot": 0, "buttons": 0x1000 if k % 2 else 0} for k in range(1, int(sys.argv[1]) + 1)]
print(json.dumps({"steps": steps}))
PY
echo '{"steps": [{"do": "await", "event": "dom-content-loaded"}, {"do": "await", "event": "message", "count": 3}, {"do": "end"}]}' >"$app/scenario.json"
rm -f "$app/transcript.jsonl" "$app/xinput.jsonl"
KILN_TEST_SCENARIO="$(winpath "$app")\\scenario.json" KILN_TEST_TRANSCRIPT="$(winpath "$app")\\transcript.jsonl" \
KILN_XINPUT_SCENARIO="$(winpath "$app")\\pads.json" KILN_XINPUT_LOG="$(winpath "$app")\\xinput.jsonl" \
  timeout 120 "$WINELOADER" "$app/kiln.exe" >"$app/wine.log" 2>&1 || true
python3 - "$app" <<'PY'
import json, statistics, sys
app = sys.argv[1]
pads = json.load(open(app + "/pads.json"))["steps"]
log = [json.loads(line) for line in open(app + "/xinput.jsonl") if line.strip()]
started = next(line["epoch"] for line in log if line["event"] == "started")
reports = [json.loads(line) for line in open(app + "/transcript.jsonl") if line.strip()]
seen = next(json.loads(line["report"]["json"])["seen"] for line in reports
            if line.get("event") == "page-report" and "json" in line["report"])
if len(seen) != len(pads):
    sys.exit("change to page: the page heard %d of %d changes" % (len(seen), len(pads)))
latencies = []
for step, heard in zip(pads[1:], seen[1:]):
    if heard["pressed"] != (1 if step.get("buttons") else 0):
        sys.exit("change to page: the page heard the changes out of order")
    latencies.append(heard["epoch"] - (started + step["at"]))
latencies.sort()
print("change to page, %d changes: median %.1f ms, 90th percentile %.1f ms, longest %.1f ms" %
      (len(latencies), statistics.median(latencies), latencies[len(latencies) * 9 // 10], latencies[-1]))
PY
