#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A GoogleTest program whose cases skip must exit 77 (CTest's skip) with the reasons, never 0;
# a failure still fails; scripts/show-skipped finds the reasons in CTest's log.
#   skip_reporting_test.sh PROBE SHOW_SKIPPED
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/testlib.sh"
probe=$1
show=$2

out=$(QB_PROBE=pass "$probe" 2>&1)
expect_eq "all pass: exit 0" 0 $?
expect "all pass: no skip line" bash -c '! grep -q "^SKIPPED" <<<"$1"' _ "$out"

out=$(QB_PROBE=skip "$probe" 2>&1)
expect_eq "a case skips: exit 77" 77 $?
expect "a case skips: counted" grep -q "^SKIPPED: 1 of 3 test cases did not run:" <<<"$out"
expect "a case skips: name and reason" \
  grep -q "^  Probe.SkipsWhenAsked: the probe was told to skip" <<<"$out"

QB_PROBE=skip-and-fail "$probe" >/dev/null 2>&1
expect_eq "a case skips, another fails: exit 1" 1 $?

# A log as CTest writes it: one skipped program among passed ones.
build=$(mktemp -d "${TMPDIR:-/tmp}/qb-skips.XXXXXX")
trap 'rm -rf "$build"' EXIT
mkdir -p "$build/Testing/Temporary"
cat >"$build/Testing/Temporary/LastTest.log" <<'LOG'
1/2 Testing: unit.passing
1/2 Test: unit.passing
Output:
----------------------------------------------------------
[  PASSED  ] 3 tests.
<end of output>
Test Passed.
2/2 Testing: e2e.some_e2e_test
2/2 Test: e2e.some_e2e_test
Output:
----------------------------------------------------------
[  SKIPPED ] Probe.SkipsWhenAsked
SKIPPED: 1 of 3 test cases did not run:
  Probe.SkipsWhenAsked: no sshd
after the list
<end of output>
Test Passed.
LOG
expect_eq "show-skipped: the reasons of the skipped program only" \
  "skipped: e2e.some_e2e_test: SKIPPED: 1 of 3 test cases did not run:
skipped: e2e.some_e2e_test:   Probe.SkipsWhenAsked: no sshd" "$("$show" "$build")"
expect_eq "show-skipped: silent without a log" "" "$("$show" "$build/none")"

finish
