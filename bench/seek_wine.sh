#!/usr/bin/env bash
# Figures of seeking in a large video through the real kiln.exe and the
# stand-in runtime, which like WebView2 reads every answer whole: COUNT
# (default 20) "bytes=N-" requests spread over a 1.5 GB sparse file, as a
# <video> asks on each seek. Prints the median milliseconds per request, the
# bytes answered, and kiln.exe's peak resident memory.
# KILN_EXE names another kiln.exe to measure (an older build, say).
# Run after scripts/build.sh; prints figures, asserts nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
count=${1:-20}
size=$((1500 * 1024 * 1024))

source scripts/wine-env.sh
kiln_wine_start
trap kiln_wine_stop EXIT

app=build/bench/seek
rm -rf "$app" && mkdir -p "$app/www/media" "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH"
cp "${KILN_EXE:-$KILN_WIN_BUILD/src/kiln.exe}" "$app/kiln.exe"
cp "$KILN_WIN_BUILD"/tests/runtime/EmbeddedBrowserWebView.dll "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH/"
echo '{"name": "kiln-seek-bench", "settings": {"distribution-mode": "fixed"}}' >"$app/package.json"
echo '<!doctype html><p>bench</p>' >"$app/www/index.html"
truncate -s "$size" "$app/www/media/movie.webm"
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }

python3 - "$app/scenario.json" "$count" "$size" <<'PY'
import json, sys
path, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
uri = "https://app.kiln.localhost/media/movie.webm"
steps = [{"do": "request", "uri": uri, "headers": [["Range", f"bytes={i * size // count}-"]]}
         for i in range(count)]
json.dump({"steps": steps + [{"do": "end"}]}, open(path, "w"))
PY

rm -f "$app/transcript.jsonl"
KILN_TEST_SCENARIO="$(winpath "$app")\\scenario.json" \
KILN_TEST_TRANSCRIPT="$(winpath "$app")\\transcript.jsonl" \
  timeout 900 "$WINELOADER" "$KILN_WIN_BUILD"/tests/tools/runner.exe --out "$(winpath "$app")\\record.jsonl" \
    --timeout 800000 -- "$(winpath "$app/kiln.exe")" >/dev/null 2>&1 &
runner=$!
# The peak resident memory of kiln.exe's process, as Linux counts it.
peak=0
while kill -0 "$runner" 2>/dev/null; do
  for pid in $(pgrep -f 'kiln\.exe' || true); do
    kb=$(sed -n 's/^VmHWM:\s*\([0-9]*\) kB/\1/p' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$kb" ] && [ "$kb" -gt "$peak" ] && peak=$kb
  done
  sleep 0.05
done
wait "$runner" || true

python3 - "$app/transcript.jsonl" "$count" "$peak" <<'PY'
import json, statistics, sys
path, count, peak = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
lines = [json.loads(l) for l in open(path, encoding="utf-8", errors="replace") if l.strip()]
responses = [l for l in lines if l.get("event") == "response" and "movie.webm" in l.get("uri", "")]
steps = [l["t"] for l in lines if l.get("event") == "step" and l.get("do") in ("request", "end")]
times = [b - a for a, b in zip(steps, steps[1:])]
statuses = {}
for r in responses:
    statuses[r["status"]] = statuses.get(r["status"], 0) + 1
read = sum(r.get("length", 0) for r in responses)
print(f"seeking: {count} 'bytes=N-' requests over a 1.5 GB file, each answer read whole")
print(f"  per request: median {statistics.median(times):.1f} ms, max {max(times):.1f} ms")
print(f"  answers: {statuses}, {read / 2**20:.1f} MiB read in all")
print(f"  kiln.exe peak resident memory: {peak / 1024:.0f} MB")
PY
