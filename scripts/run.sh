#!/usr/bin/env bash
# Sets up this machine, builds kiln.exe and starts it on examples/hello under
# Wine in a virtual display, then reports what it did: message boxes, the main
# window and the exit code.
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
for extension in build/win64/examples/*.ext.dll; do
  [ -f "$extension" ] && cp "$extension" "$app/"
done

source scripts/wine-env.sh
kiln_wine_start
trap kiln_wine_stop EXIT

record=$app/run.jsonl
timeout 60 "$WINELOADER" build/win64/tests/tools/runner.exe --out "Z:$(realpath "$record" | tr / '\\')" \
  --timeout "${KILN_RUN_SECONDS:-10}000" --close-window -- "Z:$(realpath "$app/kiln.exe" | tr / '\\')" || true

echo "kiln.exe on examples/hello:"
tr -d '\r' <"$record" | sed 's/^/  /'
