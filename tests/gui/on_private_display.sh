#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command with the xcb platform on an Xvfb of its own, which ends with it.
#   on_private_display.sh COMMAND [ARG...]
set -u
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "on_private_display.sh: $tool is missing (scripts/install-deps)"; exit 1; }
done
work=$(mktemp -d "${QB_TEST_ROOT:-${TMPDIR:-/tmp}}/display.XXXXXX")
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
# Xvfb writes the display number once it accepts connections.
for _ in $(seq 400); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.05
done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY=nonexistent-0
"$@"
