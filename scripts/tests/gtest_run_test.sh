#!/usr/bin/env bash
# scripts/gtest-run's verdicts on a probe program, alone and inside ctest:
# a failure beside a skip fails the entry and the run; skips with passes
# make a skipped entry; a filter that matches nothing, or a program that
# ends before its summary, fails.
#   gtest_run_test.sh GTEST_RUN PROBE SKIP_CODE CTEST
set -uo pipefail
run=${1:?}
probe=${2:?}
skip_code=${3:?}
ctest=${4:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The wrapper's exit status for the probe with FILTER must be EXPECTED, and
# its last line must match VERDICT.
expect() {
  local filter=$1 expected=$2 verdict=$3
  "$run" "$probe" "--gtest_filter=$filter" >"$work/out" 2>&1
  local status=$?
  if [ "$status" != "$expected" ]; then
    fail "filter $filter: exit $status, expected $expected; output:"
    sed 's/^/    /' "$work/out"
  elif ! tail -n 1 "$work/out" | grep -q "$verdict"; then
    fail "filter $filter: last line '$(tail -n 1 "$work/out")' does not say '$verdict'"
  else
    echo "ok: filter $filter: exit $status ($(tail -n 1 "$work/out"))"
  fi
}

expect 'Probe.Fails:Probe.Skips' 1 'FAILED: the program exited with status 1 (1 skipped'
expect 'Probe.Fails' 1 'FAILED: the program exited with status 1'
expect 'Probe.Skips:Probe.Passes' "$skip_code" 'SKIPPED: 1 of 2 tests were skipped'
expect 'Probe.Passes' 0 'all 1 tests passed'
expect 'NoSuchSuite.*' 1 'FAILED: no test ran'
expect 'Probe.Passes:Probe.EndsTheProgram' 1 'FAILED: the program printed no GoogleTest summary'

# The program's own output passes through.
"$run" "$probe" --gtest_filter=Probe.Fails >"$work/out" 2>&1
grep -q 'failed on purpose' "$work/out" || fail "the program's output was not passed through"

# As ctest runs the Windows programs: one entry per program, the wrapper's
# skip code as the entry's SKIP_RETURN_CODE.
mkdir -p "$work/ctest"
cat >"$work/ctest/CTestTestfile.cmake" <<EOF
add_test(fails_beside_a_skip "$run" "$probe" "--gtest_filter=Probe.Fails:Probe.Skips")
set_tests_properties(fails_beside_a_skip PROPERTIES SKIP_RETURN_CODE $skip_code)
add_test(skips_beside_a_pass "$run" "$probe" "--gtest_filter=Probe.Skips:Probe.Passes")
set_tests_properties(skips_beside_a_pass PROPERTIES SKIP_RETURN_CODE $skip_code)
EOF
(cd "$work/ctest" && "$ctest" --no-tests=error) >"$work/ctest.out" 2>&1
status=$?
if [ "$status" = 0 ]; then
  fail "ctest passed a run in which a test failed beside a skipped one:"
  sed 's/^/    /' "$work/ctest.out"
fi
grep -Eq 'fails_beside_a_skip \.+\*+Failed' "$work/ctest.out" ||
  fail "ctest did not report fails_beside_a_skip as failed"
grep -Eq 'skips_beside_a_pass \.+\*+Skipped' "$work/ctest.out" ||
  fail "ctest did not report skips_beside_a_pass as skipped"
[ "$status" != 0 ] && echo "ok: ctest fails the run (exit $status); the skipping entry shows as skipped"

# Skips alone leave the run green, and visibly skipped.
(cd "$work/ctest" && "$ctest" --no-tests=error -R '^skips_') >"$work/ctest.out" 2>&1
status=$?
if [ "$status" != 0 ] || ! grep -Eq 'skips_beside_a_pass \.+\*+Skipped' "$work/ctest.out"; then
  fail "a run with a skipped entry only: exit $status, expected 0 with the entry skipped:"
  sed 's/^/    /' "$work/ctest.out"
else
  echo "ok: a skip alone: ctest exit 0, entry reported as skipped"
fi

echo "$failures failed"
[ "$failures" = 0 ]
