#!/usr/bin/env bash
# Figures of the local content server under a warm Wine, through the real
# kiln.exe and the stand-in runtime (which answers each request the way the
# browser does and reads every body to its end):
#   - requests per second for 10,000 small files, each requested once;
#   - throughput of 1,000 random 64 KiB ranges of a 64 MiB file;
# each against a baseline in the same run: the same bytes read with plain
# file reads (CreateFileW/ReadFile) by content_baseline.exe under the same Wine.
# Every pass runs ROUNDS times after one warm-up; the median is printed.
# KILN_EXE names another kiln.exe to measure (an older build, say).
# Run after scripts/build.sh; prints figures, asserts nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
rounds=${1:-3}
files=10000
file_bytes=2048
ranges=1000
range_bytes=65536
big_bytes=$((64 * 1024 * 1024))
seed=20240611

source scripts/wine-env.sh
kiln_wine_start
trap kiln_wine_stop EXIT

app=build/bench/content
rm -rf "$app" && mkdir -p "$app/www/small" "$app/www/media" "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH"
cp "${KILN_EXE:-$KILN_WIN_BUILD/src/kiln.exe}" "$app/kiln.exe"
cp "$KILN_WIN_BUILD"/tests/runtime/EmbeddedBrowserWebView.dll "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH/"
echo '{"name": "kiln-content-bench", "settings": {"distribution-mode": "fixed"}}' >"$app/package.json"
echo '<!doctype html><p>bench</p>' >"$app/www/index.html"
python3 - "$app/www/small" "$files" "$file_bytes" <<'PY'
import os, sys
folder, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(count):
    with open(os.path.join(folder, f"{i}.js"), "wb") as f:
        f.write(os.urandom(size))
PY
head -c "$big_bytes" /dev/urandom >"$app/www/media/big.bin"

winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
origin=https://app.kiln.localhost/

python3 - "$app/scenario.json" "$origin" "$files" "$ranges" "$range_bytes" "$big_bytes" "$seed" "$rounds" <<'PY'
import json, sys
path, origin, files, ranges, size, big, seed, rounds = sys.argv[1:]
files, ranges, size, big, seed, rounds = map(int, (files, ranges, size, big, seed, rounds))
small = {"do": "requests", "prefix": origin + "small/", "suffix": ".js", "count": files}
seeks = {"do": "ranges", "uri": origin + "media/big.bin", "count": ranges, "size": size,
         "fileSize": big, "seed": seed}
steps = [dict(small, label="warm-up")] + [dict(small, label="measured")] * rounds
steps += [dict(seeks, label="warm-up")] + [dict(seeks, label="measured")] * rounds
steps.append({"do": "end"})
json.dump({"steps": steps}, open(path, "w"))
PY

rm -f "$app/transcript.jsonl"
KILN_TEST_SCENARIO="$(winpath "$app")\\scenario.json" \
KILN_TEST_TRANSCRIPT="$(winpath "$app")\\transcript.jsonl" \
  timeout 600 "$WINELOADER" "$KILN_WIN_BUILD"/tests/tools/runner.exe --out "$(winpath "$app")\\record.jsonl" \
    --timeout 500000 -- "$(winpath "$app/kiln.exe")" >/dev/null 2>&1

baseline="$KILN_WIN_BUILD"/tests/tools/content_baseline.exe
timeout 300 "$WINELOADER" "$baseline" files "$(winpath "$app/www/small")" "" .js "$files" \
  $((rounds + 1)) >"$app/baseline-files.jsonl" 2>&1
timeout 300 "$WINELOADER" "$baseline" ranges "$(winpath "$app/www/media/big.bin")" "$ranges" \
  "$range_bytes" "$seed" $((rounds + 1)) >"$app/baseline-ranges.jsonl" 2>&1

python3 - "$app" "$files" "$ranges" "$range_bytes" <<'PY'
import json, statistics, sys
app, files, ranges, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])

def lines(name):
    with open(f"{app}/{name}", encoding="utf-8", errors="replace") as f:
        return [json.loads(l) for l in f if l.strip().startswith("{")]

bulk = [l for l in lines("transcript.jsonl") if l.get("event") == "bulk"]
errors = [l for l in lines("transcript.jsonl") if l.get("event") == "error"]
for e in errors:
    print("stand-in error:", e.get("text"))

def kiln(kind):
    runs = [l for l in bulk if l["do"] == kind and l["label"] == "measured"]
    if not runs:
        sys.exit(f"no measured {kind} in the transcript")
    return statistics.median(l["ms"] for l in runs), runs[0]["bytes"], runs[0]["statuses"]

def base(name):
    runs = lines(name)[1:]  # the first round warms up
    return statistics.median(l["ms"] for l in runs), runs[0]["bytes"]

ms, kbytes, statuses = kiln("requests")
bms, bbytes = base("baseline-files.jsonl")
print(f"small files: {files} requests of 2 KiB, median of the measured rounds")
print(f"  kiln.exe + stand-in: {ms:8.1f} ms  {files / ms * 1000:9.0f} requests/s  "
      f"({kbytes} bytes, statuses {statuses})")
print(f"  plain reads:         {bms:8.1f} ms  {files / bms * 1000:9.0f} files/s     ({bbytes} bytes)")
print(f"  ratio (kiln time / baseline time): {ms / bms:.2f}")

ms, kbytes, statuses = kiln("ranges")
bms, bbytes = base("baseline-ranges.jsonl")
mib = ranges * size / (1024 * 1024)
print(f"ranges: {ranges} random ranges of {size // 1024} KiB of a 64 MiB file")
print(f"  kiln.exe + stand-in: {ms:8.1f} ms  {mib / ms * 1000:9.0f} MiB/s  "
      f"({kbytes} bytes, statuses {statuses})")
print(f"  plain reads:         {bms:8.1f} ms  {mib / bms * 1000:9.0f} MiB/s  ({bbytes} bytes)")
print(f"  ratio (kiln time / baseline time): {ms / bms:.2f}")
PY
