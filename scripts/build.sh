#!/usr/bin/env bash
# Configures and builds the given presets (default: all four).
#   native  portable core, unit tests, benchmarks, integration driver (Linux)
#   fuzz    libFuzzer targets (clang)
#   win32   kiln.exe as shipped (32-bit)
#   win64   the Windows side that the test bed runs under 64-bit Wine
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native fuzz win32 win64)
for preset in "${presets[@]}"; do
  echo "build: $preset"
  cmake --preset "$preset" >"build/$preset.log" 2>&1 || { cat "build/$preset.log"; exit 1; }
  cmake --build --preset "$preset" -j"$(nproc)" >>"build/$preset.log" 2>&1 ||
    { grep -E 'error|Error' "build/$preset.log" | head -40; exit 1; }
  :
done
