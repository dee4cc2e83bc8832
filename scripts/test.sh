#!/usr/bin/env bash
# Sets up this machine, builds every side and runs every test: the portable
# core natively, the fuzzers for a bounded time, and the Windows side under
# Wine (unit tests, then the real kiln.exe driven through its integration
# tests). The Windows side that runs is the shipped 32-bit build where this
# machine runs 32-bit code, else the 64-bit build of the same sources, and
# then the shipped build's x86-only cases under emulation
# (scripts/test-emulated.sh). Ends with one "N passed, N failed" line.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD

bash scripts/setup.sh
bash scripts/build.sh

passed=0
failed=0
logs=build/test-logs
mkdir -p "$logs"

source scripts/test-counts.sh

# Runs test files with Node's own runner and adds its counts to the totals.
run_node_tests() {
  local name=$1; shift
  local log="$logs/$name.log"
  echo "test: $name (at ${SECONDS} s)"
  local status=0
  node --test --test-reporter=tap "$@" >"$log" 2>&1 || status=$?
  add_counts "$log" "$status" '^# pass \([0-9]*\)$' '^# fail \([0-9]*\)$' '^not ok|error'
}

run_fuzzer() {
  local fuzzer=$1
  local name corpus
  name=$(basename "$fuzzer")
  corpus=build/fuzz-corpus/$name
  mkdir -p "$corpus"
  echo "fuzz: $name (at ${SECONDS} s)"
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
run_node_tests kiln-js tests/sdk/kiln.test.js

# The shipped build's x86-only cases, where this machine runs no 32-bit code.
# Emulation keeps one core busy, so the stage runs in the background, in a
# Wine prefix and on a display of its own, beside the stages whose outcome
# does not depend on speed: the run script, the self-test kit, the fuzzers
# (bounded in time) and the benchmarks' smoke runs (which assert no figure).
# The integration tests need both cores (Chromium's runs took over twice as
# long beside it), so it starts after them; it is waited for at the end.
emulated_summary=
emulated_pid=
start_emulated_stage() {
  echo "test: the shipped 32-bit build under emulation, beside the stages below (at ${SECONDS} s)"
  bash scripts/test-emulated.sh >"$logs/emulated.log" 2>&1 &
  emulated_pid=$!
}
# An interrupted run stops the stage, which removes its binfmt entry itself.
stop_emulated_stage() {
  if [ -n "$emulated_pid" ]; then kill "$emulated_pid" 2>/dev/null || true; fi
}
finish_emulated_stage() {
  echo "test: waiting for the stage under emulation (at ${SECONDS} s)"
  local status=0
  wait "$emulated_pid" || status=$?
  emulated_pid=
  emulated_summary=$(grep '^win32 under emulation:' "$logs/emulated.log" | tail -n 1)
  add_counts "$logs/emulated.log" "$status" '^win32 under emulation: \([0-9]*\) passed.*' \
    '^win32 under emulation: [0-9]* passed, \([0-9]*\) failed.*' '^\[  FAILED  \]|Failure|error|emulation|stage'
}

source scripts/wine-env.sh
kiln_wine_start
trap 'stop_emulated_stage; kiln_wine_stop' EXIT

if [ "$KILN_WIN_PRESET" = win32 ]; then
  echo "test: the Windows side runs the shipped 32-bit build under 32-bit Wine (at ${SECONDS} s)"
else
  echo "test: this machine cannot run 32-bit code: the Windows side runs the 64-bit build, the shipped 32-bit build's x86-only cases run under emulation (at ${SECONDS} s)"
fi
run_gtest unit-wine wine "$KILN_WIN_BUILD/tests/kiln_unit_tests.exe"
if [ -f "$KILN_WIN_BUILD/tests/kiln_shell_tests.exe" ]; then
  run_gtest shell-wine wine "$KILN_WIN_BUILD/tests/kiln_shell_tests.exe"
fi
if [ -x build/native/tests/integration/kiln_integration_tests ]; then
  run_gtest integration build/native/tests/integration/kiln_integration_tests
fi
# Only now that this bed's prefix exists: while the stage's binfmt entry is
# active, making a 64-bit prefix would run its 32-bit half emulated too.
start_emulated_stage

# The run script on an app folder of a user's own, outside the checkout,
# without a display: it exits 0, the page's colour fills its window (1024 by
# 768 of the 2560 by 1600 screen) in the picture it saved, and the folder
# is left as it was.
run_script_test() {
  echo "test: scripts/run.sh on an app folder of its own (at ${SECONDS} s)"
  local folder screen status=0
  folder=$(mktemp -d /tmp/kiln-run-test.XXXXXX)
  mkdir "$folder/www"
  echo '{"name": "kiln-run-test", "main": "index.html"}' >"$folder/package.json"
  echo '<!doctype html><body style="background: rgb(12, 200, 34)"><script>console.log("drawn")</script>' \
    >"$folder/www/index.html"
  env -u DISPLAY -u KILN_DESKTOP bash scripts/run.sh "$folder" --seconds 2 >"$logs/run-script.log" 2>&1 || status=$?
  screen=$(sed -n 's/^the screen while the app ran: //p' "$logs/run-script.log")
  if [ "$status" -eq 0 ] && grep -q '^page: console.log: drawn$' "$logs/run-script.log" &&
    [ "$(convert "$screen" -fuzz 10% -fill white -opaque 'rgb(12,200,34)' -fill black +opaque white \
      -format '%[fx:mean>0.1]' info: 2>/dev/null)" = 1 ] &&
    [ "$(cd "$folder" && find . | sort | tr '\n' ' ')" = ". ./package.json ./www ./www/index.html " ]; then
    passed=$((passed + 1))
  else
    echo "run.sh exited with $status, or its screen ($screen) does not show the page, or the app folder changed:"
    tail -n 20 "$logs/run-script.log"
    failed=$((failed + 1))
  fi
  rm -rf "$folder" "$(dirname "${screen:-/nonexistent/x}")"
}
# The self-test kit as a Windows user runs it, on the build under test: each
# of its checks counts as a test.
run_selftest() {
  echo "test: the self-test kit (at ${SECONDS} s)"
  local status=0
  bash scripts/selftest.sh >"$logs/selftest-table.log" 2>&1 || status=$?
  add_counts "$logs/selftest-table.log" "$status" '^selftest: \([0-9]*\) passed.*' \
    '^selftest: [0-9]* passed, \([0-9]*\) failed.*' '^  fail |^selftest: [^r]|error'
}

kiln_wine_stop
run_script_test
run_selftest
for fuzzer in build/fuzz/fuzz/*_fuzz; do
  [ -x "$fuzzer" ] && run_fuzzer "$fuzzer"
done

# Every benchmark once with small counts, so none can stop working unseen:
# each passes when it ran to its end and printed its last figure, whatever
# the figures are.
run_bench_smoke() {
  local name=$1 figure=$2; shift 2
  echo "test: benchmark $name, smoke run (at ${SECONDS} s)"
  local log="$logs/bench-$name.log"
  if timeout 600 "$@" >"$log" 2>&1 && grep -qE "$figure" "$log"; then
    passed=$((passed + 1))
  else
    echo "benchmark $name did not run to its figures:"
    tail -n 20 "$log"
    failed=$((failed + 1))
  fi
}
run_bench_smoke kiln_bench '^BM_ExtensionMessageRoundTrip' \
  build/native/bench/kiln_bench --benchmark_min_time=0.001
run_bench_smoke content_wine '^  +[0-9.]+  CoCreateFreeThreadedMarshaler' bash bench/content_wine.sh 2 50 20 1
run_bench_smoke seek_wine '^  kiln.exe peak resident memory' bash bench/seek_wine.sh 3
run_bench_smoke bridge_round_trip '^round trips per second' bash bench/bridge_round_trip.sh 100 1
run_bench_smoke startup '^ratio to the minimal window' bash bench/startup.sh 1
run_bench_smoke chromium_load '^a <video> of 20 MB' bash bench/chromium_load.sh 20
run_bench_smoke steam_pump_wine '^steam idle pump: [0-9.]+ us per pump' bash bench/steam_pump_wine.sh 1000
run_bench_smoke gamepad_wine '^change to page' bash bench/gamepad_wine.sh 2000 10

finish_emulated_stage
[ -z "$emulated_summary" ] || echo "$emulated_summary"
echo "tests: $passed passed, $failed failed (in ${SECONDS} s)"
[ "$failed" -eq 0 ]
