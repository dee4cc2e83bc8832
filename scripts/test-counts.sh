# Sourced by the test scripts: running a test program and adding what it
# counted to the caller's totals (passed, failed), its output kept in $logs.

# Adds the counts a test runner printed in log to the totals: the sed
# patterns pick the passed and failed counts, and on a failing status the
# lines matching failures are shown. A failing run that counted no failure
# counts as one.
add_counts() {
  local log=$1 status=$2 passes=$3 failures=$4 shown=$5
  local ok bad
  ok=$(sed -n "s/$passes/\1/p" "$log" | tail -n 1)
  bad=$(sed -n "s/$failures/\1/p" "$log" | tail -n 1)
  passed=$((passed + ${ok:-0}))
  failed=$((failed + ${bad:-0}))
  if [ "$status" -ne 0 ]; then
    grep -E "$shown" "$log" | head -n 40 || tail -n 40 "$log"
    [ "${bad:-0}" -gt 0 ] || failed=$((failed + 1))
  fi
}

# Runs one GoogleTest binary and adds its counts to the totals.
run_gtest() {
  local name=$1; shift
  local log="$logs/$name.log"
  echo "test: $name (at ${SECONDS} s)"
  local status=0
  "$@" --gtest_color=no >"$log" 2>&1 || status=$?
  tr -d '\r' <"$log" >"$log.tmp" && mv "$log.tmp" "$log"
  add_counts "$log" "$status" '^\[  PASSED  \] \([0-9]*\) test.*' '^\[  FAILED  \] \([0-9]*\) test.*' \
    '^\[  FAILED  \]|Failure|error'
}
