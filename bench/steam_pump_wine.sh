#!/usr/bin/env bash
# Microseconds of one idle pump of steam.ext.dll (Steam's manual dispatch
# with nothing pending, run from the extension's timer about 30 times a
# second) under Wine, against the stand-in steam_api.dll. Target: under 50.
# Run after scripts/build.sh; prints a figure, asserts nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
pumps=${1:-100000}

source scripts/wine-env.sh
kiln_wine_start
trap kiln_wine_stop EXIT

app=build/bench/steam-pump
rm -rf "$app" && mkdir -p "$app"
api=steam_api64.dll
[ "$(basename "$KILN_WIN_BUILD")" = win32 ] && api=steam_api.dll
cp "$KILN_WIN_BUILD/src/steam.ext.dll" "$KILN_WIN_BUILD/tests/steam_api/sdk165/$api" "$app/"
echo '{}' >"$app/steam.json"
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
KILN_TEST_STEAM="$(winpath "$app/steam.json")" \
  timeout 300 "$WINELOADER" "$KILN_WIN_BUILD/tests/tools/steam_pump_bench.exe" "$(winpath "$app")" "$pumps"
