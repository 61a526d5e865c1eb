#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# keyferry runs that install a key, through a fake ssh that plays the remote side. Each run
# waits 5 s before its test login, so the runs go in parallel and each covers several cases.
#   keyferry_install_test.sh path/to/keyferry
set -u
keyferry=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/testlib.sh"

root=$(mktemp -d "$QB_TEST_ROOT/keyferry.XXXXXX")
home=$QB_TEST_HOME
default_key="ssh-rsa AAAAdefault tester@local"
mkdir -p "$home/.ssh" "$HOME/.ssh"
printf '%s\n' "$default_key" >"$home/.ssh/id_rsa.pub"
printf 'ssh-rsa AAAAdecoy from HOME\n' >"$HOME/.ssh/id_rsa.pub"

# Values that a shell would take apart if they were not quoted.
nasty=";\$(touch pwned) \`touch pwned-bq\` \"dq\" 'sq' * \$HOME >y"

# start NAME ARGS...: runs keyferry in the background in $root/NAME/work, with the remote home
# $root/NAME/remote (which has a .ssh folder) and the fake ssh's log in $root/NAME/log.
start() {
    local dir=$root/$1
    shift
    mkdir -p "$dir/work" "$dir/log" "$dir/remote/.ssh"
    (
        cd "$dir/work" &&
            PATH="$here/fakebin:$PATH" FAKE_SSH_LOG="$dir/log" FAKE_REMOTE_HOME="$dir/remote" \
                "$keyferry" "$@" >"$dir/out" 2>"$dir/err" </dev/null
        echo $? >"$dir/status"
    ) &
}

progress() { # [defaults] LOCAL REMOTE: the output, with the fake ssh's own lines where they run
    [ "$1" = defaults ] && { printf 'Using default file placement.\n'; shift; }
    printf ' local file: %s\nremote file: %s\nattempting to copy key\n' "$1" "$2"
    printf 'fake-ssh: call 1\ntesting key in 5 seconds\nfake-ssh: call 2\n'
}

# --- the runs ---------------------------------------------------------------------------------
# Defaults; an ssh that fails; an authorized_keys that already has a key.
mkdir -p "$root/defaults/remote/.ssh"
printf 'ssh-ed25519 AAAAexisting\n' >"$root/defaults/remote/.ssh/authorized_keys"
FAKE_SSH_STATUS=255 start defaults user@example.org

# -k twice (the later wins), remote default; "--help" is a target like any other.
printf 'ssh-rsa AAAAfirst\n' >"$home/first.pub"
printf 'ssh-rsa AAAAsecond\n' >"$home/second.pub"
start repeat-k --help -k "$home/first.pub" -k "$home/second.pub"

# -f twice (the later wins), an absolute remote path with blanks; default local key; a lone
# quote in the target.
mkdir -p "$root/repeat-f/abs dir"
start repeat-f "o'brien@example.org" -f "~/first_keys" -f "$root/repeat-f/abs dir/authorized keys"

# One -f only, below "~/", with blanks.
start only-f user@example.org -f "~/.ssh/other keys"

# Every value made of shell syntax: target, -k and -f.
nasty_key="$home/key $nasty.pub"
printf 'ssh-rsa AAAAnasty key\n' >"$nasty_key"
nasty_target="user$nasty@host"
start nasty "$nasty_target" -k "$nasty_key" -f "~/auth $nasty"

# "~name/..." with the login of the test account: the remote shell (nss_wrapper's record)
# expands it to that account's home; the rest stays quoted.
login=$QB_TEST_LOGIN_NAME
start tilde-user user@example.org -f "~$login/.ssh/named keys"
# A "~" followed by what is no user name is quoted whole, so nothing expands it.
start tilde-other user@example.org -f "~x;touch pwned-tilde"
mkdir -p "$root/tilde-plus/remote/~+"
start tilde-plus user@example.org -f "~+/keys"

wait

# --- what they did ----------------------------------------------------------------------------
# check_run NAME TARGET REMOTE-ARG: exit status 0, the copy called ssh with the target and the
# remote command, then the test login called ssh with the target alone.
check_run() {
    local dir=$root/$1
    expect_file "$1: status" "$dir/status" $'0\n'
    expect_file "$1: stderr" "$dir/err" ""
    expect_file "$1: copy arguments" "$dir/log/call1.args" "--"$'\n'"$2"$'\n'"cat >> $3"$'\n'
    expect_file "$1: login arguments" "$dir/log/call2.args" "--"$'\n'"$2"$'\n'
    expect_file "$1: login reads nothing" "$dir/log/call2.stdin" ""
    expect "$1: ssh ran twice" test ! -e "$dir/log/call3.args"
}

d=$root/defaults
expect_file "defaults: output" "$d/out" \
    "$(progress defaults "$home/.ssh/id_rsa.pub" "~/.ssh/authorized_keys")"$'\n'
check_run defaults user@example.org "~/'.ssh/authorized_keys'"
expect_file "defaults: key from the account's home" "$d/log/call1.stdin" "$default_key"$'\n'
expect_file "defaults: appended to authorized_keys" "$d/remote/.ssh/authorized_keys" \
    $'ssh-ed25519 AAAAexisting\n'"$default_key"$'\n'

d=$root/repeat-k
expect_file "repeat-k: output" "$d/out" \
    "$(progress "$home/second.pub" "~/.ssh/authorized_keys")"$'\n'
check_run repeat-k --help "~/'.ssh/authorized_keys'"
expect_file "repeat-k: later key sent" "$d/remote/.ssh/authorized_keys" $'ssh-rsa AAAAsecond\n'

d=$root/repeat-f
expect_file "repeat-f: output" "$d/out" \
    "$(progress "$home/.ssh/id_rsa.pub" "$d/abs dir/authorized keys")"$'\n'
check_run repeat-f "o'brien@example.org" "'$d/abs dir/authorized keys'"
expect_file "repeat-f: key at the later path" "$d/abs dir/authorized keys" "$default_key"$'\n'
expect "repeat-f: earlier path untouched" test ! -e "$d/remote/first_keys"

d=$root/only-f
expect_file "only-f: output" "$d/out" \
    "$(progress "$home/.ssh/id_rsa.pub" "~/.ssh/other keys")"$'\n'
check_run only-f user@example.org "~/'.ssh/other keys'"
expect_file "only-f: key in the named file" "$d/remote/.ssh/other keys" "$default_key"$'\n'
expect "only-f: authorized_keys untouched" test ! -e "$d/remote/.ssh/authorized_keys"

d=$root/nasty
quoted_nasty=${nasty//\'/\'\\\'\'}
expect_file "nasty: output" "$d/out" "$(progress "$nasty_key" "~/auth $nasty")"$'\n'
check_run nasty "$nasty_target" "~/'auth $quoted_nasty'"
expect_file "nasty: key file read by its literal name" "$d/log/call1.stdin" $'ssh-rsa AAAAnasty key\n'
expect_file "nasty: key in the file named literally" "$d/remote/auth $nasty" $'ssh-rsa AAAAnasty key\n'
expect_eq "nasty: remote home holds only .ssh and that file" \
    ".ssh"$'\n'"auth $nasty" "$(ls -A "$d/remote")"
expect_eq "nasty: nothing created in the working folder" "" "$(ls -A "$d/work")"

d=$root/tilde-user
expect_file "tilde-user: output" "$d/out" \
    "$(progress "$home/.ssh/id_rsa.pub" "~$login/.ssh/named keys")"$'\n'
check_run tilde-user user@example.org "~$login/'.ssh/named keys'"
expect_file "tilde-user: key in that user's home" "$home/.ssh/named keys" "$default_key"$'\n'
expect "tilde-user: nothing in the remote home" test ! -e "$d/remote/.ssh/named keys"

d=$root/tilde-other
check_run tilde-other user@example.org "'~x;touch pwned-tilde'"
expect_file "tilde-other: key in the file named literally" "$d/remote/~x;touch pwned-tilde" \
    "$default_key"$'\n'

check_run tilde-plus user@example.org "'~+/keys'"
expect_file "tilde-plus: key in the folder named ~+" "$root/tilde-plus/remote/~+/keys" \
    "$default_key"$'\n'

expect_eq "no value was executed anywhere" "" "$(find "$QB_TEST_ROOT" -name 'pwned*' -o -name y)"
finish
