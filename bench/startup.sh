#!/usr/bin/env bash
# Figures of kiln.exe's size and start-up under a warm Wine:
#   - size of the shipped (32-bit, stripped) kiln.exe, against its target of
#     450,000 bytes, and of its largest sections;
#   - wall time from process start to the main window existing, against the
#     smallest window program built and started the same way (median of N runs);
#   - wall time from process start to the web view's first Navigate call, with
#     the stand-in runtime in the fixed folder, against the same baseline.
# Run after scripts/build.sh; prints figures, asserts nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
runs=${1:-15}

printf 'kiln.exe (win32, stripped): %d bytes (target: at most 450000)\n' \
  "$(stat -c %s build/win32/src/kiln.exe)"
i686-w64-mingw32-objdump -h build/win32/src/kiln.exe | while read -r index name size _; do
  if [[ $index =~ ^[0-9]+$ ]]; then printf '  %-9s %7d bytes\n' "$name" "0x$size"; fi
done | sort -k2 -rn | head -n 5
printf 'kiln.exe (win64, stripped): %d bytes\n' "$(stat -c %s build/win64/src/kiln.exe)"

source scripts/wine-env.sh
kiln_wine_start
trap kiln_wine_stop EXIT

app=build/bench/startup
rm -rf "$app" && mkdir -p "$app"
cp "$KILN_WIN_BUILD"/src/kiln.exe "$KILN_WIN_BUILD"/tests/tools/minimal_window.exe "$app/"
mkdir -p "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH"
cp "$KILN_WIN_BUILD"/tests/runtime/EmbeddedBrowserWebView.dll "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH/"
echo '{"name": "kiln-startup-bench", "settings": {"distribution-mode": "fixed"}}' >"$app/package.json"
echo '{"steps": [{"do": "wait", "ms": 300}, {"do": "end"}]}' >"$app/end.json"
echo '{"steps": []}' >"$app/idle.json"
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }

# Milliseconds from CreateProcess to the window, as the runner saw it.
window_ms() {
  local program=$1 class=$2 record=$app/record.jsonl
  KILN_TEST_SCENARIO="$(winpath "$app")\\idle.json" \
  "$WINELOADER" "$KILN_WIN_BUILD"/tests/tools/runner.exe --out "$(winpath "$app")\\record.jsonl" \
    --close-window --window-class "$class" -- "$(winpath "$program")" >/dev/null 2>&1
  tr -d '\r' <"$record" | sed -n 's/.*"event":"window".*"ms":\([0-9]*\).*/\1/p'
}

# Milliseconds from CreateProcess to the first Navigate, on the runner's clock:
# the runner sees the main window appear; the stand-in runtime, whose clock
# starts elsewhere, times the step from environment creation (which follows
# the window at once) to Navigate.
navigate_ms() {
  local record=$app/record.jsonl transcript=$app/transcript.jsonl
  rm -f "$transcript"
  KILN_TEST_SCENARIO="$(winpath "$app")\\end.json" KILN_TEST_TRANSCRIPT="$(winpath "$app")\\transcript.jsonl" \
    "$WINELOADER" "$KILN_WIN_BUILD"/tests/tools/runner.exe --out "$(winpath "$app")\\record.jsonl" \
    -- "$(winpath "$app/kiln.exe")" >/dev/null 2>&1
  local window created navigate
  window=$(tr -d '\r' <"$record" | sed -n 's/.*"event":"window".*"ms":\([0-9]*\).*/\1/p')
  created=$(sed -n 's/.*"event":"create-environment".*"t":\([0-9]*\).*/\1/p' "$transcript")
  navigate=$(sed -n 's/.*"event":"navigate".*"t":\([0-9]*\).*/\1/p' "$transcript" | head -n 1)
  echo $((window + navigate - created))
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

window_ms "$app/minimal_window.exe" MinimalWindow >/dev/null  # warm the caches
kiln=$(for _ in $(seq "$runs"); do window_ms "$app/kiln.exe" WindowsWebview2Wrapper; done | median)
base=$(for _ in $(seq "$runs"); do window_ms "$app/minimal_window.exe" MinimalWindow; done | median)
nav=$(for _ in $(seq "$runs"); do navigate_ms; done | median)
echo "start to main window, median of $runs: kiln.exe ${kiln} ms, minimal window ${base} ms"
awk -v k="$kiln" -v b="$base" 'BEGIN { if (b > 0) printf "ratio: %.2f\n", k / b }'
echo "start to first Navigate, median of $runs: kiln.exe ${nav} ms (stand-in runtime, fixed mode)"
awk -v k="$nav" -v b="$base" 'BEGIN { if (b > 0) printf "ratio to the minimal window: %.2f\n", k / b }'
