#!/usr/bin/env bash
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
  sleep 1.5
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
