#!/usr/bin/env bash
# The shipped 32-bit build's own binaries, on a machine that runs no 32-bit
# x86 code: the cases of tests/x86_emulated.txt, under emulation (see
# scripts/emulation.sh). Expects scripts/setup.sh and scripts/build.sh (the
# win32, win64 and native presets) to have run. Ends with "win32 under emulation: N passed, N failed", or says
# that it was skipped where the whole suite runs the 32-bit build anyway.
#   KILN_EMULATED_SECONDS   the stage's time limit (default 720)
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
source scripts/machine.sh
if kiln_runs_32bit_code; then
  echo "win32 under emulation: skipped, this machine runs the whole suite on the 32-bit build"
  exit 0
fi

export KILN_WIN_PRESET=win32
source scripts/wine-env.sh
# Every exe of this build starts in tens of seconds instead of a fraction of
# one: time limits stretch, and the runner that starts and watches kiln.exe is
# the 64-bit build's, which the machine runs natively.
export KILN_TEST_TIME_SCALE=8
export KILN_RUNNER=$KILN_ROOT/build/win64/tests/tools/runner.exe
limit=${KILN_EMULATED_SECONDS:-720}
logs=build/test-logs
mkdir -p "$logs"
passed=0
failed=0
source scripts/test-counts.sh

# The filters of one test program in the list, joined for --gtest_filter.
filter_of() {
  sed -e 's/#.*//' tests/x86_emulated.txt | awk -v program="$1" '$1 == program { print $2 }' | paste -sd:
}

# Runs one test program on the stage's cases; the time left of the stage
# bounds it.
run_cases() {
  local program=$1 filter left
  shift
  filter=$(filter_of "$program")
  [ -n "$filter" ] || return 0
  left=$((limit - SECONDS))
  if [ "$left" -le 0 ]; then
    echo "the stage's $limit s were used up before $program"
    failed=$((failed + 1))
    return 0
  fi
  run_gtest "emulated-$program" timeout --kill-after=10 "$left" "$@" --gtest_filter="$filter"
}

# The binfmt entry goes again however the stage ends: a failure, its time
# limit, or an interrupt.
trap kiln_wine_stop EXIT
trap 'exit 143' TERM INT
kiln_wine_start
run_cases kiln_shell_tests "$WINELOADER" "$KILN_WIN_BUILD/tests/kiln_shell_tests.exe"
run_cases kiln_integration_tests build/native/tests/integration/kiln_integration_tests
kiln_wine_stop
trap - EXIT

echo "win32 under emulation: $passed passed, $failed failed (in ${SECONDS} s)"
[ "$failed" -eq 0 ]
