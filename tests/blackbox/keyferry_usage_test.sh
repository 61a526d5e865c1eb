#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# keyferry command lines that end before anything is run: the usage text and its statuses,
# values that are not plain ASCII, and a missing account record.
#   keyferry_usage_test.sh path/to/keyferry
set -u
keyferry=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/testlib.sh"

work=$(mktemp -d "$QB_TEST_ROOT/keyferry-usage.XXXXXX")
mkdir "$work/log"
export PATH="$here/fakebin:$PATH" FAKE_SSH_LOG="$work/log" FAKE_REMOTE_HOME="$work"

usage_text() { # PROGRAM-NAME
    printf 'keyferry version 0.1\n'
    printf 'usage: %s user@host [options -k local_key_file/path.pub -f remote_key_file/path/authorized_keys\n' "$1"
    printf '    OPTIONAL ARGUMENTS\n'
    printf '        -k path/to/key.pub\n'
    printf '        -f path/to/remote/authorized_keys\n'
    printf '        -h prints this menu\n'
    printf '        -v gets version info\n'
}

# check NAME EXPECTED-STATUS ARGS...: keyferry, invoked by its path, prints the usage text
# and nothing else, exits with the status and runs nothing.
check() {
    local name=$1 want=$2
    shift 2
    (cd "$work" && "$keyferry" "$@" >"$work/out" 2>"$work/err" </dev/null)
    expect_eq "$name: status" "$want" $?
    expect_file "$name: usage text" "$work/out" "$(usage_text "$keyferry")"$'\n'
    expect_file "$name: stderr" "$work/err" ""
    expect "$name: nothing was run" test -z "$(ls -A "$work/log")"
}

check "no argument" 1
check "-h" 0 -h
check "help" 0 help
check "-v" 0 -v
check "-h with more arguments" 0 -h -k a b c d e f
check "help first, then an option" 0 help -x

check "two arguments" 1 user@host -k
check "four arguments" 1 user@host -k key.pub -f
check "six arguments" 1 user@host -k a -f b c
check "seven arguments" 1 user@host -k a -f b -k c
check "unknown option second" 1 user@host -x value
check "-h as option" 1 user@host -h value
check "help as option" 1 user@host help value
check "options are case-sensitive" 1 user@host -K value
check "unknown option fourth" 1 user@host -k key.pub -F value
check "lone option after a pair" 1 user@host -f remote -k

# Values that are not plain ASCII are refused, never passed on.
check "non-ASCII target" 1 "usér@host"
check "non-ASCII target with a pair" 1 "user@hôst" -f authorized_keys
check "non-ASCII -k value" 1 user@host -k "/tmp/clé.pub"
check "non-ASCII -f value" 1 user@host -f "~/.ssh/authorisé"
check "non-ASCII overridden value" 1 user@host -k "$(printf '\xff')" -k key.pub
check "non-ASCII second pair" 1 user@host -k key.pub -f "$(printf 'a\x80b')"

# The program name is printed as invoked.
(cd "$work" && exec -a "my kf" "$keyferry" -h >"$work/out")
expect_file "name as invoked" "$work/out" "$(usage_text "my kf")"$'\n'
(cd "$work" && exec -a "./keyferry" "$keyferry" >"$work/out")
expect_file "relative name as invoked" "$work/out" "$(usage_text "./keyferry")"$'\n'

# Without an account record nothing else happens, whatever the arguments.
printf 'someoneelse:x:%s:%s:X:/nonexistent:/bin/sh\n' $(($(id -u) + 4242)) "$(id -g)" >"$work/passwd"
for args in "user@host" "-h" ""; do
    # shellcheck disable=SC2086
    (cd "$work" && NSS_WRAPPER_PASSWD=$work/passwd "$keyferry" $args >"$work/out" 2>"$work/err" </dev/null)
    status=$?
    expect "no record [$args]: non-zero status" test "$status" -ne 0
    expect_file "no record [$args]: stdout" "$work/out" ""
    expect_one_line "no record [$args]: one line on stderr" "$work/err"
    expect "no record [$args]: names getUserDir" grep -q getUserDir "$work/err"
    expect "no record [$args]: nothing was run" test -z "$(ls -A "$work/log")"
done

finish
