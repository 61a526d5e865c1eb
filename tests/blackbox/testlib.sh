# SPDX-License-Identifier: GPL-3.0-or-later
# Assertion helpers for the black-box scripts. Every failed check prints what differed;
# `finish` prints the counts and gives the script its exit status.
passed=0
failed=0

pass() { passed=$((passed + 1)); }
fail() {
    failed=$((failed + 1))
    printf 'FAIL: %s\n' "$1" >&2
}

# expect_eq NAME EXPECTED ACTUAL
expect_eq() {
    if [ "$2" == "$3" ]; then
        pass
    else
        fail "$1"
        printf '  expected: %q\n  actual:   %q\n' "$2" "$3" >&2
    fi
}

# expect NAME COMMAND...: the command succeeds.
expect() {
    local name=$1
    shift
    if "$@"; then pass; else fail "$name"; fi
}

# slurp VAR FILE: the exact bytes of FILE (trailing newlines kept) into VAR.
slurp() {
    local s
    s=$(cat "$2" 2>/dev/null; printf x)
    printf -v "$1" '%s' "${s%x}"
}

# expect_file NAME FILE EXPECTED: FILE holds exactly EXPECTED.
expect_file() {
    local content
    if [ ! -f "$2" ]; then
        fail "$1 (no file $2)"
        return
    fi
    slurp content "$2"
    expect_eq "$1" "$3" "$content"
}

# expect_one_line NAME FILE: FILE holds exactly one non-empty line.
expect_one_line() {
    local content
    slurp content "$2"
    if [[ $content == ?*$'\n' && ${content%$'\n'} != *$'\n'* ]]; then
        pass
    else
        fail "$1"
        printf '  not one line: %q\n' "$content" >&2
    fi
}

finish() {
    echo "$(basename "$0"): $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
