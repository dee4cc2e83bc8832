#!/usr/bin/env bash
# Sets up this machine, builds kiln.exe and starts it on examples/hello under
# Wine in a virtual display, then reports what it did: message boxes, the main
# window, the exit code, and what the web view was asked to do. The runtime is
# the stand-in (tests/runtime), installed for the user as an evergreen runtime
# would be: it loads the start page, shows the window, posts the page's
# "wrapper-init" (the host answers with the example extension's id) and closes
# the window again.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD

bash scripts/setup.sh
bash scripts/build.sh win64

app=build/run/hello
rm -rf "$app"
mkdir -p "$app"
cp -r examples/hello/. "$app/"
cp build/win64/src/kiln.exe "$app/"
for extension in build/win64/examples/*/*.ext.dll; do
  [ -f "$extension" ] && cp "$extension" "$app/"
done

winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
runtime=build/run/runtime/120.0.2210.91
mkdir -p "$runtime/EBWebView/x64"
cp build/win64/tests/runtime/EmbeddedBrowserWebView.dll "$runtime/EBWebView/x64/"
runtime_key='HKCU\Software\Microsoft\EdgeUpdate\ClientState\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}'
# The stand-in runs no script, so the scenario plays what app.js does once
# loaded: it asks the host which native components exist.
echo '{"steps": [{"do": "dom-content-loaded"}, {"do": "snapshot", "label": "shown"},
  {"do": "message", "string": "{\"type\":\"wrapper-init\"}"},
  {"do": "wait", "ms": 1000}, {"do": "end"}]}' >"$app/scenario.json"

source scripts/wine-env.sh
kiln_wine_start
"$WINELOADER" reg add "$runtime_key" /v EBWebView /d "$(winpath "$runtime")" /f /reg:32 >/dev/null
trap '"$WINELOADER" reg delete "$runtime_key" /f /reg:32 >/dev/null 2>&1; kiln_wine_stop' EXIT

record=$app/run.jsonl
transcript=$app/transcript.jsonl
rm -f "$transcript"
KILN_TEST_SCENARIO="$(winpath "$app")\scenario.json" KILN_TEST_TRANSCRIPT="$(winpath "$app")\transcript.jsonl" \
  timeout 60 "$WINELOADER" build/win64/tests/tools/runner.exe --out "$(winpath "$app")\run.jsonl" \
  --timeout "${KILN_RUN_SECONDS:-10}000" -- "$(winpath "$app/kiln.exe")" || true

echo "kiln.exe on examples/hello:"
tr -d '\r' <"$record" | sed 's/^/  /'
echo "its web view (the stand-in runtime's transcript):"
tr -d '\r' <"$transcript" | sed 's/^/  /'
