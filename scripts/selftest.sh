#!/usr/bin/env bash
# Runs the self-test kit (selftest/, put together in build/<preset>/selftest/kit)
# here as selftest/run.ps1 runs it on Windows: a copy of the kit in a new
# temporary folder, kiln.exe run on it twice through scripts/run.sh (Wine,
# a virtual display and the Chromium-backed runtime), the first run with no
# saves left from earlier ones; then the report of the second run as a table.
# Ends with "selftest: N passed, N failed, N skipped"; exit code 1 when a
# check failed or the checks did not all run.
set -euo pipefail
cd "$(dirname "$0")/.."
export KILN_ROOT=$PWD
# The virtual display: the checks move the window and go fullscreen.
unset DISPLAY KILN_DESKTOP

bash scripts/setup.sh
source scripts/wine-env.sh
bash scripts/build.sh "$KILN_WIN_PRESET"

kit=$(mktemp -d /tmp/kiln-selftest.XXXXXX)
trap 'rm -rf "$kit"' EXIT
cp -r "$KILN_WIN_BUILD/selftest/kit/." "$kit/"
rm -f "$kit/kiln.exe"  # run.sh puts this build's beside the kit
# The saves of an earlier self-test would be read back as this one's.
rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/kiln-selftest

log=build/test-logs/selftest.log
mkdir -p "$(dirname "$log")"
: >"$log"
codes=()
for run in 1 2; do
  echo "selftest: run $run of 2"
  code=0
  bash scripts/run.sh "$kit" --seconds 150 >>"$log" 2>&1 || code=$?
  codes+=("$code")
done
folder=$(sed -n 's/^run: kiln.exe runs from //p' "$log" | tail -n 1)
table=$folder/selftest-report.txt

passed=0 failed=0 skipped=0 complete=no
if [ -f "$table" ]; then
  while IFS=$'\t' read -r status name seen; do
    case $status in
      pass) passed=$((passed + 1)) ;;
      fail) failed=$((failed + 1)) ;;
      skip) skipped=$((skipped + 1)) ;;
      complete) complete=yes; continue ;;
    esac
    printf '  %-4s  %-28s %s\n' "$status" "$name" "${seen:0:160}"
  done <"$table"
else
  echo "selftest: kiln.exe wrote no report"
fi
problems=
[ "$complete" = yes ] || problems+=" the checks did not all run;"
for code in "${codes[@]}"; do
  [ "$code" = 0 ] || problems+=" a run ended with exit code $code;"
done
echo "selftest: $passed passed, $failed failed, $skipped skipped"
if [ "$failed" -gt 0 ] || [ -n "$problems" ]; then
  echo "selftest: FAILED:${problems:- see the table}; the runs' output is in $log, the report in $folder"
  exit 1
fi
rm -rf "$folder"
