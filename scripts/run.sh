#!/usr/bin/env bash
# Sets up this machine, builds kiln.exe and starts it on examples/hello under
# Wine in a virtual display, then reports what it did: message boxes, the main
# window, the exit code, and what the web view was asked to do. The runtime is
# installed for the user as an evergreen runtime would be. With Chromium on
# this machine it is the runtime whose web view is a headless Chromium
# (tests/runtime/chromium): the app really runs, its script talks to the host
# and the example extension, and a picture of the screen is saved. Without
# it, the scripted stand-in (tests/runtime) plays what the page would do.
# KILN_RUN_SECONDS sets how long the app stays up (default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD

bash scripts/setup.sh
# The shipped 32-bit kiln.exe where this machine runs 32-bit code.
source scripts/wine-env.sh
bash scripts/build.sh "$KILN_WIN_PRESET"
build=$KILN_WIN_BUILD

app=build/run/hello
rm -rf "$app"
mkdir -p "$app"
cp -r examples/hello/. "$app/"
cp "$build/src/kiln.exe" "$app/"
for extension in "$build"/examples/*/*.ext.dll; do
  [ -f "$extension" ] && cp "$extension" "$app/"
done

winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
seconds=${KILN_RUN_SECONDS:-10}
runtime=build/run/runtime/120.0.2210.91
rm -rf "$runtime"
mkdir -p "$runtime/EBWebView/$KILN_RUNTIME_ARCH"
runtime_key='HKCU\Software\Microsoft\EdgeUpdate\ClientState\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}'

source scripts/chromium.sh
kiln_wine_start
if kiln_chromium_start; then
  backend=chromium
  cp "$build/tests/runtime/chromium/EmbeddedBrowserWebView.dll" "$runtime/EBWebView/$KILN_RUNTIME_ARCH/"
  # The page runs by itself; the steps only wait for it to be drawn, take a
  # look at the window and close it when the time is up.
  echo '{"steps": [{"do": "await", "event": "dom-content-loaded"}, {"do": "await", "event": "frame"},
    {"do": "wait", "ms": 2000}, {"do": "snapshot", "label": "shown"},
    {"do": "wait", "ms": '"$((seconds * 1000))"'}, {"do": "end"}]}' >"$app/scenario.json"
else
  backend=stand-in
  echo "run: no Chromium here, the scripted stand-in plays the page"
  cp "$build/tests/runtime/EmbeddedBrowserWebView.dll" "$runtime/EBWebView/$KILN_RUNTIME_ARCH/"
  # The stand-in runs no script, so the scenario plays what app.js does once
  # loaded: it asks the host which native components exist.
  echo '{"steps": [{"do": "dom-content-loaded"}, {"do": "snapshot", "label": "shown"},
    {"do": "message", "string": "{\"type\":\"wrapper-init\"}"},
    {"do": "wait", "ms": 1000}, {"do": "end"}]}' >"$app/scenario.json"
fi
"$WINELOADER" reg add "$runtime_key" /v EBWebView /d "$(winpath "$runtime")" /f /reg:32 >/dev/null
trap '"$WINELOADER" reg delete "$runtime_key" /f /reg:32 >/dev/null 2>&1; kiln_chromium_stop; kiln_wine_stop' EXIT

record=$app/run.jsonl
transcript=$app/transcript.jsonl
screen=$app/screen.png
rm -f "$transcript" "$screen"
KILN_TEST_SCENARIO="$(winpath "$app")\scenario.json" KILN_TEST_TRANSCRIPT="$(winpath "$app")\transcript.jsonl" \
  timeout $((seconds + 60)) "$WINELOADER" "$build/tests/tools/runner.exe" --out "$(winpath "$app")\run.jsonl" \
  --timeout "$(((seconds + 30) * 1000))" -- "$(winpath "$app/kiln.exe")" >/dev/null 2>&1 &
runner=$!
if [ "$backend" = chromium ]; then
  # A picture of the screen once the app has been drawn.
  for _ in $(seq 300); do
    if grep -q '"event":"snapshot"' "$transcript" 2>/dev/null; then
      /usr/bin/import -window root "$screen" || true
      break
    fi
    kill -0 "$runner" 2>/dev/null || break
    sleep 0.1
  done
fi
wait "$runner" || true

echo "kiln.exe ($KILN_WIN_PRESET) on examples/hello:"
tr -d '\r' <"$record" | sed 's/^/  /'
if [ "$backend" = chromium ]; then
  echo "its web view, a headless Chromium (what the page and the host said to each other):"
  grep -E '"event":"(navigation|post-json|page-report|snapshot|visible|error|page-error|console)"' "$transcript" |
    tr -d '\r' | cut -c1-400 | sed 's/^/  /'
  echo "every request and event: $transcript"
  [ -f "$screen" ] && echo "the screen while the app ran: $screen"
else
  echo "its web view (the stand-in runtime's transcript):"
  tr -d '\r' <"$transcript" | sed 's/^/  /'
fi
