#!/usr/bin/env bash
# Figures of a real app through kiln.exe with the Chromium-backed runtime
# (tests/runtime/chromium), each against the same Chromium loading the same
# files from a plain static file server on loopback, in one run:
#   - examples/hello: milliseconds from starting kiln.exe to DOMContentLoaded
#     (the window is shown), and from navigating to DOMContentLoaded in the
#     plain case;
#   - range answers of a 16 MiB video file: 64 requests of 256 KiB each by the
#     page (fetch with a Range header), in MB/s;
#   - a <video> of MB megabytes (default 200) whose frames lie at its end:
#     milliseconds from setting its source to the "seeked" event at 90% of
#     its duration.
# Usage: bench/chromium_load.sh [MB]
# KILN_EXE names another kiln.exe to measure (an older build, say).
# Run after scripts/build.sh; needs Chromium; prints figures, asserts
# nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
video_mb=${1:-200}

source scripts/wine-env.sh
source scripts/chromium.sh
kiln_wine_start >/dev/null
kiln_chromium_start || { echo "chromium_load: no Chromium"; exit 1; }
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; kiln_chromium_stop; kiln_wine_stop >/dev/null' EXIT
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }

app=build/bench/chromium
rm -rf "$app" && mkdir -p "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH"
cp -r examples/hello/. "$app/"
cp "${KILN_EXE:-$KILN_WIN_BUILD/src/kiln.exe}" "$app/kiln.exe"
cp "$KILN_WIN_BUILD"/tests/runtime/chromium/EmbeddedBrowserWebView.dll "$app/webview2/EBWebView/$KILN_RUNTIME_ARCH/"
sed -i 's/"evergreen"/"fixed"/' "$app/package.json"
head -c $((16 * 1024 * 1024)) /dev/urandom >"$app/www/clip.webm"
cat >"$app/www/ranges.html" <<'PAGE'
<!doctype html><title>ranges</title><script>
(async () => {
  const size = 256 * 1024, count = 64, total = 16 * 1024 * 1024;
  const start = performance.now();
  let bytes = 0;
  for (let i = 0; i < count; i++) {
    const from = (i * 7919 * size) % (total - size);
    const answer = await fetch('clip.webm', {headers: {Range: `bytes=${from}-${from + size - 1}`}});
    if (answer.status !== 206) throw new Error('status ' + answer.status);
    bytes += (await answer.arrayBuffer()).byteLength;
  }
  const seconds = (performance.now() - start) / 1000;
  const text = 'result ' + (bytes / 1e6 / seconds).toFixed(1) + ' MB/s';
  console.log(text);
  if (window.chrome && window.chrome.webview) window.chrome.webview.postMessage(text);
})();
</script>
PAGE

# The test clip with padding between its EBML header and its segment: a
# file whose frames all lie at its end.
python3 - tests/integration/data/clip.webm "$app/www/movie.webm" "$video_mb" <<'PY'
import sys
clip = open(sys.argv[1], "rb").read()
length = 1
while not clip[4] & (0x80 >> (length - 1)):
    length += 1
size = clip[4] & (0xFF >> length)
for byte in clip[5:4 + length]:
    size = size << 8 | byte
end = 4 + length + size
padding = int(sys.argv[3]) * 1000 * 1000 - len(clip) - 9
with open(sys.argv[2], "wb") as out:
    out.write(clip[:end] + b"\xec\x01" + padding.to_bytes(7, "big"))
    out.seek(padding, 1)
    out.write(clip[end:])
PY
cat >"$app/www/seek.html" <<'PAGE'
<!doctype html><title>seek</title><video id="video" muted></video><script>
(async () => {
  const video = document.getElementById('video');
  const start = performance.now();
  video.src = 'movie.webm';
  await new Promise((resolve) => (video.onloadedmetadata = resolve));
  video.currentTime = video.duration * 0.9;
  await new Promise((resolve) => (video.onseeked = resolve));
  const text = 'result ' + (performance.now() - start).toFixed(0) + ' ms';
  console.log(text);
  if (window.chrome && window.chrome.webview) window.chrome.webview.postMessage(text);
})();
</script>
PAGE

run_kiln() {  # main page, steps
  sed -i "s/\"main\": \"[^\"]*\"/\"main\": \"$1\"/" "$app/package.json"
  echo "{\"steps\": $2}" >"$app/scenario.json"
  rm -f "$app/transcript.jsonl"
  KILN_TEST_SCENARIO="$(winpath "$app")\\scenario.json" KILN_TEST_TRANSCRIPT="$(winpath "$app")\\transcript.jsonl" \
    timeout 120 "$WINELOADER" "$KILN_WIN_BUILD"/tests/tools/runner.exe --out "$(winpath "$app")\\run.jsonl" \
    --timeout 60000 -- "$(winpath "$app/kiln.exe")" >/dev/null 2>&1 || true
}

# One warm-up so Wine and Chromium have their files cached.
run_kiln index.html '[{"do": "await", "event": "dom-content-loaded"}, {"do": "end"}]'
run_kiln index.html '[{"do": "await", "event": "dom-content-loaded"}, {"do": "end"}]'
kiln_ms=$(grep -m1 '"event":"visible"' "$app/transcript.jsonl" | sed 's/.*"t":\([0-9]*\).*/\1/')
navigate_ms=$(grep -m1 '"event":"navigate"' "$app/transcript.jsonl" | sed 's/.*"t":\([0-9]*\).*/\1/')
run_kiln ranges.html '[{"do": "await", "event": "message"}, {"do": "end"}]'
kiln_rate=$(grep -o 'result [0-9.]* MB/s' "$app/transcript.jsonl" | head -n 1 | cut -d' ' -f2)
run_kiln seek.html '[{"do": "await", "event": "message"}, {"do": "end"}]'
kiln_seek=$(grep -o 'result [0-9.]* ms' "$app/transcript.jsonl" | head -n 1 | cut -d' ' -f2 || true)

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 bench/range_server.py "$port" "$app/www" >/dev/null 2>&1 &
server=$!
sleep 1
python3 bench/chromium_cdp.py "http://127.0.0.1:$port/index.html" >/dev/null
plain_ms=$(python3 bench/chromium_cdp.py "http://127.0.0.1:$port/index.html" | sed -n 's/dom-content-loaded-ms //p')
plain_rate=$(python3 bench/chromium_cdp.py "http://127.0.0.1:$port/ranges.html" --wait-message |
  sed -n 's/result \([0-9.]*\) MB\/s/\1/p')
plain_seek=$(python3 bench/chromium_cdp.py "http://127.0.0.1:$port/seek.html" --wait-message |
  sed -n 's/result \([0-9.]*\) ms/\1/p')

echo "examples/hello, start of kiln.exe to DOMContentLoaded: ${kiln_ms} ms" \
  "(of which Kiln's navigation to DOMContentLoaded: $((kiln_ms - navigate_ms)) ms)"
echo "examples/hello, plain server, navigation to DOMContentLoaded: ${plain_ms} ms" \
  "(ratio $(python3 -c "print(round($kiln_ms / $plain_ms, 1))"); navigation alone $(python3 -c "print(round(($kiln_ms - $navigate_ms) / $plain_ms, 1))"))"
echo "256 KiB range answers of a 16 MiB video file: through Kiln ${kiln_rate} MB/s, plain server ${plain_rate} MB/s"
echo "a <video> of $video_mb MB, from loading to seeked at 90%: through Kiln ${kiln_seek:-(never, in 60 s)} ms," \
  "plain server ${plain_seek} ms"
