#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/install-deps against stand-ins for id, dpkg-query, sudo and apt-get: who installs
# what, and the message when nobody can. Nothing real is installed.
#   install_deps_test.sh SCRIPT
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/testlib.sh"
script=$1

work=$(mktemp -d "${TMPDIR:-/tmp}/qb-install-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A PATH of its own: the real tools the script needs, and stand-ins (FAKE_* variables steer
# them; every apt-get call is logged). `sudo` exists only when a test puts it there.
bin="$work/bin"
mkdir -p "$bin"
for tool in bash env grep cat dirname; do
  ln -s "$(command -v "$tool")" "$bin/$tool"
done
cat >"$bin/id" <<'SH'
#!/bin/sh
echo "${FAKE_UID:-1000}"
SH
cat >"$bin/dpkg-query" <<'SH'
#!/bin/sh
# dpkg-query -W -f=FORMAT PACKAGE
for p in ${FAKE_INSTALLED:-}; do
  [ "$p" = "$3" ] && { printf 'install ok installed'; exit 0; }
done
echo "dpkg-query: no packages found matching $3" >&2
exit 1
SH
cat >"$bin/apt-get" <<'SH'
#!/bin/sh
echo "apt-get $* (uid ${FAKE_UID:-1000}${VIA_SUDO:+, via sudo})" >>"$APT_LOG"
SH
cat >"$work/sudo-allowed" <<'SH'
#!/bin/sh
[ "$1" = -n ] && shift
[ "$1" = true ] && exit 0
VIA_SUDO=1 FAKE_UID=0 exec "$@"
SH
cat >"$work/sudo-refused" <<'SH'
#!/bin/sh
echo "sudo: a password is required" >&2
exit 1
SH
chmod +x "$bin"/* "$work"/sudo-*
export APT_LOG="$work/apt.log"

# run [ARG]: the script with our PATH and no terminal on stdin; sets status, out, apt.
run() {
  : >"$APT_LOG"
  out=$(PATH="$bin" "$script" "$@" </dev/null 2>&1)
  status=$?
  apt=$(cat "$APT_LOG")
}
use_sudo() { rm -f "$bin/sudo"; [ -z "$1" ] || ln -s "$work/sudo-$1" "$bin/sudo"; }

# No sudo at all, as on Debian installed with a root password.
use_sudo ""
export FAKE_UID=1000 FAKE_INSTALLED="g++ cmake"
run test
expect_eq "no sudo: exit status" 1 "$status"
expect_eq "no sudo: nothing installed" "" "$apt"
expect "no sudo: names a missing run package" grep -q "missing: .*ninja-build" <<<"$out"
expect "no sudo: names a missing test package" grep -q "missing: .*libpam-wrapper" <<<"$out"
expect "no sudo: does not name installed ones" bash -c '! grep -q "missing: .*\bg++" <<<"$1"' _ "$out"
expect "no sudo: the command for root" grep -qF "su -c '$(cd "$(dirname "$script")" && pwd)/install-deps test'" <<<"$out"
expect "no sudo: no bare 'command not found'" bash -c '! grep -q "command not found" <<<"$1"' _ "$out"
expect_eq "no sudo: one message of three lines" 3 "$(wc -l <<<"$out")"

# sudo without rights (or needing a password nobody can type): the same message.
use_sudo refused
run
expect_eq "sudo refused: exit status" 1 "$status"
expect_eq "sudo refused: nothing installed" "" "$apt"
expect "sudo refused: the command for root, for the run packages" \
  grep -qF "su -c '$(cd "$(dirname "$script")" && pwd)/install-deps'" <<<"$out"

# A usable sudo installs what is missing through it.
use_sudo allowed
run test
expect_eq "sudo: exit status" 0 "$status"
expect "sudo: updates first, through sudo" grep -q "^apt-get update -q (uid 0, via sudo)" <<<"$apt"
expect "sudo: installs the missing ones" grep -q "^apt-get install .*ninja-build.*libgtest-dev" <<<"$apt"

# Root installs directly; `run` never brings the test packages.
use_sudo ""
export FAKE_UID=0
run run
expect_eq "root: exit status" 0 "$status"
expect "root: installs without sudo" grep -q "^apt-get install .*qt6-base-dev.*(uid 0)$" <<<"$apt"
expect "root, run: no test package" bash -c '! grep -q "libgtest-dev\|libpam-wrapper\|clang" <<<"$1"' _ "$apt"

# Nothing missing: nothing to do, whoever runs it.
export FAKE_UID=1000 FAKE_INSTALLED="$(sed -n '/^run_packages=(/,/^)/p' "$script" | grep -v '[()#]' | tr '\n' ' ')"
run run
expect_eq "complete: exit status" 0 "$status"
expect_eq "complete: silent" "" "$out"
expect_eq "complete: apt-get not called" "" "$apt"

run bogus
expect_eq "unknown group: usage error" 2 "$status"

finish
