#!/usr/bin/env bash
# Configures and builds the given presets (default: all four).
#   native  portable core, unit tests, benchmarks, integration driver (Linux)
#   fuzz    libFuzzer targets (clang)
#   win32   kiln.exe as shipped (32-bit)
#   win64   the Windows side that the test bed runs under 64-bit Wine
# Once the native kiln-pack exists, the 32-bit self-test kit's kiln.exe
# (the one Windows users run) is packed with it, as an author packs a game.
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native fuzz win32 win64)

# The kit then shows on Windows that Windows reads the name, version and
# icon kiln-pack writes.
pack_selftest_kit() {
  local preset=$1 kit=build/$1/selftest/kit out
  [ -x build/native/src/kiln-pack ] && [ -f "$kit/kiln.exe" ] || return 0
  out=$(mktemp -d)
  if ! build/native/src/kiln-pack "$kit" --kiln "build/$preset/src/kiln.exe" --out "$out" \
      --exe-name kiln >>"build/$preset.log" 2>&1; then
    tail -n 20 "build/$preset.log"
    rm -rf "$out"
    exit 1
  fi
  cp "$out/kiln/kiln.exe" "$kit/kiln.exe"
  rm -rf "$out"
}

for preset in "${presets[@]}"; do
  echo "build: $preset"
  cmake --preset "$preset" >"build/$preset.log" 2>&1 || { cat "build/$preset.log"; exit 1; }
  cmake --build --preset "$preset" -j"$(nproc)" >>"build/$preset.log" 2>&1 ||
    { grep -E 'error|Error' "build/$preset.log" | head -40; exit 1; }
  if [ "$preset" = win32 ]; then pack_selftest_kit "$preset"; fi
done
