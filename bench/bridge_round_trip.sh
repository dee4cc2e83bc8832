#!/usr/bin/env bash
# Page-to-extension-to-page round trips per second through the real kiln.exe
# (the build the test bed runs) under a warm Wine: the stand-in runtime plays a
# page that posts one "extension-message" N times in a row (default 10,000);
# the recorder test extension, told to keep no log, answers each with an
# "echo" that the host posts back to the page. The stand-in times what the
# page sees, from its first message until the host has posted the last
# answer, and checks every answer. Median of R runs (default 3).
# KILN_EXE names another kiln.exe to measure (an older build, say).
# Run after scripts/build.sh; prints figures, asserts nothing beyond checking
# that every message was answered correctly.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
count=${1:-10000}
runs=${2:-3}

source scripts/wine-env.sh

app=build/bench/bridge
rm -rf "$app" && mkdir -p "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH"
cp "${KILN_EXE:-$KILN_WIN_BUILD/src/kiln.exe}" "$app/kiln.exe"
cp "$KILN_WIN_BUILD"/tests/runtime/EmbeddedBrowserWebView.dll "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH/"
cp "$KILN_WIN_BUILD"/tests/extensions/recorder.ext.dll "$app/bench.ext.dll"
echo '{"ids": ["bench"], "quiet": true}' >"$app/bench.ext.json"
echo '{"name": "kiln-bridge-bench", "settings": {"distribution-mode": "fixed"}}' >"$app/package.json"
message='{\"type\":\"extension-message\",\"componentId\":\"bench\",\"messageId\":\"echo\",\"asyncId\":7,\"params\":[1.5,\"two\",true]}'
answer='{\"asyncId\":7.0,\"componentId\":\"bench\",\"messageId\":\"echo\",\"params\":{\"0\":1.5,\"1\":\"two\",\"2\":true},\"type\":\"extension-message\"}'
cat >"$app/scenario.json" <<EOF
{"steps": [{"do": "dom-content-loaded"},
  {"do": "burst", "count": 200, "string": "$message", "expect": "$answer"},
  {"do": "burst", "count": $count, "string": "$message", "expect": "$answer"},
  {"do": "end"}]}
EOF
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }

kiln_wine_start
trap kiln_wine_stop EXIT

# Milliseconds the timed burst took, after checking every answer arrived.
burst_ms() {
  local transcript=$app/transcript.jsonl line
  rm -f "$transcript"
  KILN_TEST_SCENARIO="$(winpath "$app")\\scenario.json" \
  KILN_TEST_TRANSCRIPT="$(winpath "$app")\\transcript.jsonl" \
    timeout 120 "$WINELOADER" "$app/kiln.exe" >"$app/wine.log" 2>&1
  line=$(grep '"event":"burst"' "$transcript" | tail -n 1)
  if ! grep -q "\"answers\":$count,\"count\":$count," <<<"$line" ||
     ! grep -q '"unexpected":0}' <<<"$line"; then
    echo "bridge bench: not every message was answered as expected: $line" >&2
    exit 1
  fi
  sed -n 's/.*"ms":\([0-9.e+-]*\).*/\1/p' <<<"$line"
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

ms=$(for _ in $(seq "$runs"); do burst_ms; done | median)
awk -v n="$count" -v ms="$ms" -v r="$runs" 'BEGIN {
  printf "page -> extension -> page, %d messages (median of %d runs): %.1f ms\n", n, r, ms
  printf "round trips per second: %.0f (%.1f us each)\n", n / (ms / 1000), ms * 1000 / n
}'
