#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SIGTERM, SIGINT and SIGHUP end the application in order: it exits with status 0 and its end
# sequence has run (the askpass file left by a start is gone).
#   quit_on_signal.sh APP
set -u
app=$1
fail=0
for sig in TERM INT HUP; do
  printf 'scrambled' > "$QB_TEST_HOME/.ssh-askpass"
  "$app" 2>/dev/null &
  pid=$!
  # Wait (bounded) until the application catches SIGTERM, i.e. has set up its handlers.
  for _ in $(seq 100); do
    caught=$(awk '/^SigCgt:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
    [ -n "$caught" ] && [ $(( 0x$caught >> 14 & 1 )) -eq 1 ] && break
    sleep 0.1
  done
  sleep 0.5  # and has run its start sequence
  kill -s "$sig" "$pid"
  wait "$pid"
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAIL: SIG$sig: exit status $status, expected 0"; fail=1
  elif [ -e "$QB_TEST_HOME/.ssh-askpass" ]; then
    echo "FAIL: SIG$sig: the askpass file is still there"; fail=1
  else
    echo "ok: SIG$sig ends the application in order"
  fi
done
exit $fail
