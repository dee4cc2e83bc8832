#!/usr/bin/env bash
# Runs an app folder through the shipped kiln.exe under Wine, as a player on
# Windows would run it:
#
#   scripts/run.sh [APP_FOLDER] [--seconds N]
#
# APP_FOLDER is laid out as the README describes (package.json, www/,
# optional extensions and icon); without it examples/hello runs, with the
# example extension from the build. Nothing is copied into the folder: Kiln
# runs from build/run/<folder>, whose entries link to the app's own.
#
# The web view is the runtime backed by a headless Chromium
# (tests/runtime/chromium), which keeps the app's saves (localStorage,
# IndexedDB, cookies) in the user data folder Kiln names, so they survive a
# restart. What the page prints and, with "enable-devtools", the address
# of an inspector are shown here while the app runs.
#
# With DISPLAY set, the window opens on that display and the run lasts until
# it is closed; mouse, wheel and keyboard reach the page. Without a display,
# Kiln runs in a virtual one for 10 seconds, message boxes are answered with
# OK after 5 seconds, and a picture of the screen is saved. --seconds N bounds either run. Without Chromium on this machine the
# scripted stand-in (tests/runtime) plays what the page would do.
#
# Sets up this machine and builds kiln.exe first. Exits with kiln.exe's exit
# code. KILN_EXE names another kiln.exe of this build to run (a packed one).
set -euo pipefail

usage() { echo "usage: scripts/run.sh [APP_FOLDER] [--seconds N]"; }
app_folder=
seconds=
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=${2:-}; shift 2 || shift ;;
    --seconds=*) seconds=${1#--seconds=}; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) usage >&2; exit 2 ;;
    *)
      [ -z "$app_folder" ] || { usage >&2; exit 2; }
      app_folder=$1
      shift
      ;;
  esac
done
if [ -n "$seconds" ] && ! [[ $seconds =~ ^[1-9][0-9]{0,5}$ ]]; then
  echo "run: --seconds takes a whole number of seconds, not \"$seconds\"" >&2
  exit 2
fi
if [ -n "$app_folder" ]; then
  if [ ! -f "$app_folder/package.json" ]; then
    echo "run: $app_folder is not an app folder: it has no package.json" >&2
    exit 2
  fi
  app_folder=$(realpath "$app_folder")
fi

cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
[ -n "${DISPLAY:-}" ] && export KILN_DESKTOP=1

bash scripts/setup.sh
source scripts/wine-env.sh
bash scripts/build.sh "$KILN_WIN_PRESET"
build=$KILN_WIN_BUILD

# The app's entries, linked beside a kiln.exe of this build. Links to the
# app's folder are made anew each run; what the app wrote beside kiln.exe
# stays.
if [ -n "$app_folder" ]; then
  app=build/run/$(basename "$app_folder")-$(printf %s "$app_folder" | md5sum | cut -c1-8)
else
  app_folder=$KILN_ROOT/examples/hello
  app=build/run/hello
fi
mkdir -p "$app"
echo "run: kiln.exe runs from $app"
find "$app" -maxdepth 1 -type l -delete
rm -rf "$app/webview2"
for entry in "$app_folder"/* "$app_folder"/.[!.]*; do
  [ -e "$entry" ] || continue
  case ${entry##*/} in
    *.[eE][xX][eE] | webview2) continue ;;  # this build's kiln.exe and runtime stand in for them
  esac
  ln -s "$entry" "$app/${entry##*/}"
done
cp "${KILN_EXE:-$build/src/kiln.exe}" "$app/kiln.exe"
if [ "$app_folder" = "$KILN_ROOT/examples/hello" ]; then
  for extension in "$build"/examples/*/*.ext.dll; do
    [ -f "$extension" ] && cp "$extension" "$app/"
  done
fi

winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }

if command -v chromium >/dev/null 2>&1; then
  backend=chromium
  runtime_dll=$build/tests/runtime/chromium/EmbeddedBrowserWebView.dll
else
  backend=stand-in
  runtime_dll=$build/tests/runtime/EmbeddedBrowserWebView.dll
  echo "run: no Chromium here, the scripted stand-in plays the page"
fi
# Installed for the user as an evergreen runtime is, and beside the app as a
# fixed one is when the app asks for that.
runtime=build/run/runtime/120.0.2210.91
rm -rf "$runtime"
mkdir -p "$runtime/EBWebView/$KILN_RUNTIME_ARCH"
cp "$runtime_dll" "$runtime/EBWebView/$KILN_RUNTIME_ARCH/"
if grep -Eq '"distribution-mode"[[:space:]]*:[[:space:]]*"fixed"' "$app_folder/package.json"; then
  mkdir -p "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH"
  cp "$runtime_dll" "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH/"
fi
runtime_key='HKCU\Software\Microsoft\EdgeUpdate\ClientState\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}'

# The steps the runtime plays: with Chromium the page runs by itself and the
# steps only bound the run; the stand-in runs no script, so they play what
# app.js does once loaded: it asks the host which native components exist.
interactive=${KILN_DESKTOP:-}
[ -n "$interactive" ] || seconds=${seconds:-10}
if [ "$backend" = chromium ] && [ -n "$interactive" ]; then
  steps=${seconds:+'{"do": "wait", "ms": '$((seconds * 1000))'}, {"do": "end"}'}
elif [ "$backend" = chromium ]; then
  steps='{"do": "await", "event": "dom-content-loaded"}, {"do": "await", "event": "frame"},
    {"do": "wait", "ms": 2000}, {"do": "snapshot", "label": "shown"},
    {"do": "wait", "ms": '$((seconds * 1000))'}, {"do": "end"}'
else
  steps='{"do": "dom-content-loaded"}, {"do": "snapshot", "label": "shown"},
    {"do": "message", "string": "{\"type\":\"wrapper-init\"}"}, {"do": "wait", "ms": '$((${seconds:-3600} * 1000))'},
    {"do": "end"}'
fi
echo "{\"steps\": [$steps]}" >"$app/scenario.json"

record=$app/run.jsonl
transcript=$app/transcript.jsonl
console=$app/console.txt
screen=$app/screen.png
rm -f "$record" "$transcript" "$console" "$screen"
touch "$console"

kiln_wine_start
echo "run: what kiln-check says of the app folder, for the kiln.exe run here:"
"$WINELOADER" "$build/src/kiln-check.exe" "$(winpath "$app")" --kiln "$(winpath "$app/kiln.exe")" 2>/dev/null |
  tr -d '\r' | sed 's/^/  /' || true
"$WINELOADER" reg add "$runtime_key" /v EBWebView /d "$(winpath "$runtime")" /f /reg:32 >/dev/null
printer=
trap '[ -n "$printer" ] && kill "$printer" 2>/dev/null
  "$WINELOADER" reg delete "$runtime_key" /f /reg:32 >/dev/null 2>&1; kiln_wine_stop' EXIT
# What the page prints, as it prints it.
tail -n +1 -F "$console" 2>/dev/null | sed -u 's/^/page: /' &
printer=$!

export KILN_TEST_SCENARIO="$(winpath "$app")\\scenario.json"
export KILN_TEST_TRANSCRIPT="$(winpath "$app")\\transcript.jsonl"
export KILN_TEST_CONSOLE="$(winpath "$app")\\console.txt"
if [ -n "$interactive" ]; then
  echo "run: kiln.exe ($KILN_WIN_PRESET) on $app_folder, on display $DISPLAY${seconds:+ for $seconds s}; close its window to end"
  status=0
  "$WINELOADER" "$(winpath "$app/kiln.exe")" >/dev/null 2>&1 || status=$?
  sleep 0.5  # the last lines the page printed
  echo "run: kiln.exe exited with code $status"
  exit "$status"
fi

echo "run: kiln.exe ($KILN_WIN_PRESET) on $app_folder, in a virtual display for $seconds s"
timeout $((seconds + 60)) "$WINELOADER" "$build/tests/tools/runner.exe" --out "$(winpath "$app")\\run.jsonl" \
  --timeout "$(((seconds + 30) * 1000))" --answer-after 5000 -- "$(winpath "$app/kiln.exe")" >/dev/null 2>&1 &
runner=$!
# A picture of the screen once the app has been drawn.
for _ in $(seq 600); do
  if grep -q '"event":"snapshot"' "$transcript" 2>/dev/null; then
    /usr/bin/import -window root "$screen" || true
    break
  fi
  kill -0 "$runner" 2>/dev/null || break
  sleep 0.1
done
wait "$runner" || true
sleep 0.5

echo "kiln.exe ($KILN_WIN_PRESET) on ${app_folder#"$KILN_ROOT"/}:"
tr -d '\r' <"$record" | sed 's/^/  /'
if [ "$backend" = chromium ]; then
  echo "its web view, a headless Chromium (what the page and the host said to each other):"
  grep -E '"event":"(navigation|post-json|page-report|snapshot|visible|error)"' "$transcript" |
    tr -d '\r' | cut -c1-400 | sed 's/^/  /' || true
else
  echo "its web view (the stand-in runtime's transcript):"
  tr -d '\r' <"$transcript" | sed 's/^/  /'
fi
echo "every request and event: $transcript"
[ -f "$screen" ] && echo "the screen while the app ran: $screen"
code=$(grep '"event":"exit"' "$record" | sed -n 's/.*"code":\(-\{0,1\}[0-9]*\).*/\1/p' | tail -n 1)
exit "${code:-1}"
