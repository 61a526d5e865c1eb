#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The application's command line, through the real program: --help and --version answer
# without a display and start nothing, as does --status with none running; unknown options and
# arguments are refused with status 2 once Qt has taken its own options, wrong uses of ours at once.
#   command_line.sh APP VERSION
set -u
app=$1
version=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../blackbox/testlib.sh"

work=$(mktemp -d "$QB_TEST_ROOT/command-line.XXXXXX")
# No display at all: a program that tried to open a window would fail here.
headless=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)

run() { # run ENV-PREFIX... -- ARGS...: the app's status, output in $work/out and $work/err
    local prefix=()
    while [ "$1" != -- ]; do prefix+=("$1"); shift; done
    shift
    "${prefix[@]}" timeout 30 "$app" "$@" >"$work/out" 2>"$work/err" </dev/null
}

for option in --version -v; do
    run "${headless[@]}" -- "$option"
    expect_eq "$option: status" 0 $?
    expect_file "$option: the version" "$work/out" "QuillboreSSH $version"$'\n'
    expect_file "$option: stderr" "$work/err" ""
done

for option in --help -h; do
    run "${headless[@]}" -- "$option"
    expect_eq "$option: status" 0 $?
    slurp help "$work/out"
    expect_eq "$option: usage line" "Usage: $app [options]" "$(head -n 1 <<<"$help")"
    expect "$option: lists --help" grep -qE '^ +-h, --help +[A-Z]' <<<"$help"
    expect "$option: lists --version" grep -qE '^ +-v, --version +[A-Z]' <<<"$help"
    expect_file "$option: stderr" "$work/err" ""
done

# Refusals come after QApplication, so these need a (virtual) display.
refused() { # NAME EXPECTED-IN-STDERR ENV-PREFIX... -- ARGS...
    local name=$1 message=$2
    shift 2
    run "$@"
    expect_eq "$name: status" 2 $?
    expect_file "$name: stdout" "$work/out" ""
    expect "$name: names the fault" grep -qF "$message" "$work/err"
    expect "$name: points to --help" grep -qF -- "--help" "$work/err"
}
refused "unknown option" "Unknown option 'bogus'" env QT_QPA_PLATFORM=offscreen -- --bogus
refused "argument" "Unexpected argument: extra" env QT_QPA_PLATFORM=offscreen -- extra
refused "unknown option after a good one" "Unknown option 'bogus'" \
    env QT_QPA_PLATFORM=offscreen -- --bogus -v
refused "a command without its service" "Missing value after '--start'" "${headless[@]}" -- --start
refused "two commands" "one command at a time" "${headless[@]}" -- --stop-all --status
# Qt's own options are Qt's: only ours are checked.
refused "Qt's options are taken by Qt" "Unknown option 'bogus'" \
    "${headless[@]}" -- -platform offscreen -reverse --bogus
expect "Qt's options are not named" sh -c "! grep -qE 'platform|reverse' '$work/err'"
run "${headless[@]}" -- -platform offscreen --version
expect_eq "--version after Qt's options: status" 0 $?
expect_file "--version after Qt's options" "$work/out" "QuillboreSSH $version"$'\n'
# None runs and the service list is empty: nothing to list, nothing started, no display needed.
run "${headless[@]}" -- --status
expect_eq "--status with none running: status" 0 $?
expect_file "--status with none running: no services" "$work/out" ""
expect "nothing was written to the home" test -z "$(ls -A "$QB_TEST_HOME")"

finish
