#!/usr/bin/env bash
# Sets up this machine, builds every side and runs every test: the portable
# core natively, the fuzzers for a bounded time, and the Windows side under
# Wine (unit tests, then the real kiln.exe driven through its integration
# tests). The Windows side that runs is the shipped 32-bit build where this
# machine runs 32-bit code, else the 64-bit build of the same sources. Ends
# with one "N passed, N failed" line.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD

bash scripts/setup.sh
bash scripts/build.sh

passed=0
failed=0
logs=build/test-logs
mkdir -p "$logs"

# Runs one GoogleTest binary and adds its counts to the totals.
run_gtest() {
  local name=$1; shift
  local log="$logs/$name.log"
  echo "test: $name"
  local status=0
  "$@" --gtest_color=no >"$log" 2>&1 || status=$?
  tr -d '\r' <"$log" >"$log.tmp" && mv "$log.tmp" "$log"
  local ok bad
  ok=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
  bad=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${ok:-0}))
  failed=$((failed + ${bad:-0}))
  if [ "$status" -ne 0 ]; then
    grep -E '^\[  FAILED  \]|Failure|error' "$log" | head -n 40 || tail -n 40 "$log"
    [ -n "$bad" ] || failed=$((failed + 1))
  fi
}

run_fuzzer() {
  local fuzzer=$1
  local name corpus
  name=$(basename "$fuzzer")
  corpus=build/fuzz-corpus/$name
  mkdir -p "$corpus"
  echo "fuzz: $name"
  local seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  if "$fuzzer" -max_total_time="${KILN_FUZZ_SECONDS:-10}" -print_final_stats=0 "$corpus" "${seeds[@]}" \
      >"$logs/$name.log" 2>&1; then
    passed=$((passed + 1))
  else
    tail -n 30 "$logs/$name.log"
    failed=$((failed + 1))
  fi
}

run_gtest unit-native build/native/tests/kiln_unit_tests
for fuzzer in build/fuzz/fuzz/*_fuzz; do
  [ -x "$fuzzer" ] && run_fuzzer "$fuzzer"
done

source scripts/wine-env.sh
kiln_wine_start
trap kiln_wine_stop EXIT

if [ "$KILN_WIN_PRESET" = win32 ]; then
  echo "test: the Windows side runs the shipped 32-bit build under 32-bit Wine"
else
  echo "test: this machine cannot run 32-bit code: the shipped 32-bit build was compiled, not run; the Windows side runs the 64-bit build"
fi
run_gtest unit-wine wine "$KILN_WIN_BUILD/tests/kiln_unit_tests.exe"
if [ -f "$KILN_WIN_BUILD/tests/kiln_shell_tests.exe" ]; then
  run_gtest shell-wine wine "$KILN_WIN_BUILD/tests/kiln_shell_tests.exe"
fi
if [ -x build/native/tests/integration/kiln_integration_tests ]; then
  run_gtest integration build/native/tests/integration/kiln_integration_tests
fi

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
