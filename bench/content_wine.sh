#!/usr/bin/env bash
# Figures of the local content server under a warm Wine, through the real
# kiln.exe and the stand-in runtime (which answers each request the way the
# browser does and reads every body to its end):
#   - FILES small files of 2 KiB (default 10,000), each requested once;
#   - RANGES random 64 KiB ranges (default 1,000) of a MIB MiB file (default 64);
# each against a baseline: the same bytes read with plain file reads
# (CreateFileW/ReadFile) by content_baseline.exe under the same Wine. Kiln
# and baseline rounds alternate (ABAB...), ROUNDS of each (default 5), each
# after a warm-up pass of its own, and the ratio is that of the two rounds
# of a pair: printed is the median of those ratios and their spread, so that
# a busy moment of the machine does not decide it. Then the time of each
# call one answer can make, on the same file, for the breakdown.
# Usage: content_wine.sh [ROUNDS] [FILES] [RANGES] [MIB]
# KILN_EXE names another kiln.exe to measure (an older build, say).
# Run after scripts/build.sh; prints figures, asserts nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
rounds=${1:-5}
files=${2:-10000}
ranges=${3:-1000}
big_bytes=$((${4:-64} * 1024 * 1024))
file_bytes=2048
range_bytes=65536
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

# One Kiln round: a warm-up pass and a measured one of each kind.
python3 - "$app/scenario.json" "$origin" "$files" "$ranges" "$range_bytes" "$big_bytes" "$seed" <<'PY'
import json, sys
path, origin, files, ranges, size, big, seed = sys.argv[1:]
files, ranges, size, big, seed = map(int, (files, ranges, size, big, seed))
small = {"do": "requests", "prefix": origin + "small/", "suffix": ".js", "count": files}
seeks = {"do": "ranges", "uri": origin + "media/big.bin", "count": ranges, "size": size,
         "fileSize": big, "seed": seed}
steps = [dict(small, label="warm-up"), dict(small, label="measured")]
steps += [dict(seeks, label="warm-up"), dict(seeks, label="measured"), {"do": "end"}]
json.dump({"steps": steps}, open(path, "w"))
PY

baseline="$KILN_WIN_BUILD"/tests/tools/content_baseline.exe
rm -f "$app"/transcript-*.jsonl "$app"/baseline-*.jsonl
for round in $(seq "$rounds"); do
  KILN_TEST_SCENARIO="$(winpath "$app")\\scenario.json" \
  KILN_TEST_TRANSCRIPT="$(winpath "$app")\\transcript-$round.jsonl" \
    timeout 600 "$WINELOADER" "$KILN_WIN_BUILD"/tests/tools/runner.exe --out "$(winpath "$app")\\record.jsonl" \
      --timeout 500000 -- "$(winpath "$app/kiln.exe")" >/dev/null 2>&1
  timeout 300 "$WINELOADER" "$baseline" files "$(winpath "$app/www/small")" "" .js "$files" 2 \
    >"$app/baseline-files-$round.jsonl" 2>&1
  timeout 300 "$WINELOADER" "$baseline" ranges "$(winpath "$app/www/media/big.bin")" "$ranges" \
    "$range_bytes" "$seed" 2 >"$app/baseline-ranges-$round.jsonl" 2>&1
done
timeout 300 "$WINELOADER" "$baseline" calls "$(winpath "$app/www/media/big.bin")" \
  $((ranges * 2)) "$range_bytes" >"$app/calls.jsonl" 2>&1

python3 - "$app" "$rounds" "$files" "$ranges" "$range_bytes" "$((big_bytes >> 20))" <<'PY'
import json, statistics, sys
app, rounds, files, ranges, size, mib_file = sys.argv[1], *map(int, sys.argv[2:])

def lines(name):
    with open(f"{app}/{name}", encoding="utf-8", errors="replace") as f:
        return [json.loads(l) for l in f if l.strip().startswith("{")]

def kiln(round, kind):
    transcript = lines(f"transcript-{round}.jsonl")
    for e in transcript:
        if e.get("event") == "error":
            print("stand-in error:", e.get("text"))
    runs = [l for l in transcript
            if l.get("event") == "bulk" and l["do"] == kind and l["label"] == "measured"]
    if not runs:
        sys.exit(f"no measured {kind} in round {round}'s transcript")
    return runs[0]

def base(round, name):
    runs = lines(f"baseline-{name}-{round}.jsonl")
    if len(runs) < 2:
        sys.exit(f"no measured baseline {name} in round {round}")
    return runs[1]  # the first pass warms up

def report(title, kind, name, unit, amount):
    pairs = [(kiln(r, kind), base(r, name)) for r in range(1, rounds + 1)]
    ratios = sorted(k["ms"] / b["ms"] for k, b in pairs)
    kms = statistics.median(k["ms"] for k, _ in pairs)
    bms = statistics.median(b["ms"] for _, b in pairs)
    first = pairs[0]
    print(f"{title}, {rounds} ABAB rounds")
    print(f"  kiln.exe + stand-in: {kms:8.1f} ms median  {amount / kms * 1000:9.0f} {unit}  "
          f"({first[0]['bytes']} bytes, statuses {first[0]['statuses']})")
    print(f"  plain reads:         {bms:8.1f} ms median  {amount / bms * 1000:9.0f} {unit}  "
          f"({first[1]['bytes']} bytes)")
    print(f"  ratio (kiln time / baseline time) of paired rounds: median {statistics.median(ratios):.2f}, "
          f"spread {ratios[0]:.2f} to {ratios[-1]:.2f}")

report(f"small files: {files} requests of 2 KiB", "requests", "files", "requests/s", files)
report(f"ranges: {ranges} random ranges of {size // 1024} KiB of a {mib_file} MiB file",
       "ranges", "ranges", "MiB/s", ranges * size / 2**20)
print("calls one answer can make, microseconds each:")
for call in lines("calls.jsonl"):
    print(f"  {call['us']:9.2f}  {call['call']}")
PY
