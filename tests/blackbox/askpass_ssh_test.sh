#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# quillbore-askpass behind a real ssh that meets an unknown host key: ssh asks its yes/no
# question through askpass, the helper declines, and ssh ends at once with its own error
# instead of asking again and again. The server is sshd in inetd mode behind a ProxyCommand,
# so nothing listens on a port.
#   askpass_ssh_test.sh path/to/quillbore-askpass [path/to/sshd]
# The sshd is the one unpacked for the e2e tests, or else the system's; without either the
# test is skipped (77).
set -u
askpass=$1
sshd=${2:-}
[ -x "$sshd" ] || sshd=/usr/sbin/sshd
if [ ! -x "$sshd" ]; then
    echo "askpass_ssh_test.sh: SKIPPED, no sshd (scripts/unpack-test-sshd provides one)"
    exit 77
fi
uid_wrapper=$(ls /usr/lib/*/libuid_wrapper.so /usr/lib/libuid_wrapper.so 2>/dev/null | head -n 1)
if [ -z "$uid_wrapper" ]; then
    echo "askpass_ssh_test.sh: SKIPPED, libuid_wrapper.so not found (install libuid-wrapper)"
    exit 77
fi
. "$(dirname "$0")/testlib.sh"

work=$(mktemp -d "$QB_TEST_ROOT/askpass-ssh.XXXXXX")
/usr/bin/ssh-keygen -q -t ed25519 -N '' -C qb-host -f "$work/host_key"
printf 'HostKey %s/host_key\nUsePAM no\nPidFile none\nLogLevel ERROR\n' "$work" >"$work/sshd_config"
# sshd sees the real account database (no nss_wrapper) and, through uid_wrapper, believes it
# runs as an ordinary user even under root: no privilege separation account or folder needed.
ids=""
for id in RUID EUID SUID RGID EGID SGID; do ids="$ids UID_WRAPPER_INITIAL_$id=4242"; done
sshd_command="env -u NSS_WRAPPER_PASSWD -u NSS_WRAPPER_GROUP LD_PRELOAD=$uid_wrapper UID_WRAPPER=1$ids $sshd -i -f $work/sshd_config"

# Counts the helper's runs and keeps the prompts it was given.
cat >"$work/counting-askpass" <<WRAP
#!/bin/sh
printf '%s\n--\n' "\$1" >>"$work/prompts"
exec "$askpass" "\$@"
WRAP
chmod +x "$work/counting-askpass"
printf 'ignored' >"$QB_TEST_HOME/.ssh-askpass" # a password is on offer

# DISPLAY is set as on a desktop; the helper is forced on ssh as the application's users do.
SSH_ASKPASS=$work/counting-askpass SSH_ASKPASS_REQUIRE=force DISPLAY=:nonexistent \
    timeout 30 /usr/bin/ssh -F /dev/null -o "UserKnownHostsFile=$work/known_hosts" \
    -o "ProxyCommand=$sshd_command" -o ConnectTimeout=20 -N qbuser@unknown-host \
    </dev/null >"$work/out" 2>"$work/err"
status=$?

expect_eq "ssh fails with its own status" 255 "$status"
expect "ssh says why" grep -q "Host key verification failed" "$work/err"
expect_eq "the helper ran once" 1 "$(grep -c '^--$' "$work/prompts" 2>/dev/null || echo 0)"
expect "it was asked the host-key question" grep -q "continue connecting (yes/no" "$work/prompts"
expect "the host key was not accepted" test ! -s "$work/known_hosts"
finish
