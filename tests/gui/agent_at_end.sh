#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real application on a display, with a real ssh-agent: the passphrase-protected key of
# the preferences reaches the agent although DISPLAY and an askpass program are set (as on a
# desktop), and every way of ending the application leaves the agent empty once it has
# exited: File > Quit, the Quit shortcut, closing the main window, SIGTERM, SIGINT and SIGHUP.
#   agent_at_end.sh APP X11-CLOSE [ROUNDS]
set -u
app=$1
x11close=$2
rounds=${3:-3}
. "$(dirname "$0")/../blackbox/testlib.sh"

for tool in Xvfb xdotool /usr/bin/ssh-agent /usr/bin/ssh-add /usr/bin/ssh-keygen python3; do
    command -v "$tool" >/dev/null || { echo "agent_at_end.sh: $tool is missing (scripts/install-deps)"; exit 1; }
done

work=$(mktemp -d "$QB_TEST_ROOT/agent-at-end.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
}
trap cleanup EXIT

# waitfor SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds, at most SECONDS.
waitfor() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.05
    done
}

# --- a display, an agent, a passphrase-protected key, the two data files ---------------------
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x800x24 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
waitfor 20 test -s "$work/display" || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(cat "$work/display")
export WAYLAND_DISPLAY=nonexistent-0
export QT_QPA_PLATFORM=xcb

/usr/bin/ssh-agent -D -a "$work/agent.sock" >/dev/null 2>&1 &
pids+=($!)
export SSH_AUTH_SOCK=$work/agent.sock
unset SSH_AGENT_PID
waitfor 20 test -S "$SSH_AUTH_SOCK" || { echo "ssh-agent did not start"; exit 1; }

# An askpass program that would answer wrongly; ssh-add must not run it.
printf '#!/bin/sh\ntouch "%s/askpass-ran"\necho wrong\n' "$work" >"$work/askpass"
chmod 700 "$work/askpass"
export SSH_ASKPASS=$work/askpass
unset SSH_ASKPASS_REQUIRE

mkdir -p "$QB_TEST_HOME/.ssh"
key=$QB_TEST_HOME/.ssh/qb_agent_key
/usr/bin/ssh-keygen -q -t ed25519 -N 'pass phrase' -C qb-agent-at-end -f "$key" </dev/null
fingerprint=$(/usr/bin/ssh-keygen -l -f "$key.pub" | cut -d' ' -f2)

# The stored forms, written independently of the product's code (see askpass_test.sh).
encipher() { # KEY-LENGTH FILE, plain text on standard input
    python3 -c '
import sys
text, n, out = sys.stdin.buffer.read(), int(sys.argv[1]), []
for i, c in enumerate(text):
    k = i % (n + 1)
    if 65 <= c <= 90: c = 65 + (c - 65 + 13 + k) % 26
    elif 97 <= c <= 122: c = 97 + (c - 97 + 13 + k) % 26
    elif 49 <= c <= 56: c = 105 - c
    out.append(c)
open(sys.argv[2], "wb").write(bytes(reversed(out)))' "$@"
}
printf '1\r\n0\r\n0\r\n0\r\n\r\n\r\n0\r\n%s:pass phrase\r\n' "$key" | encipher 3 "$QB_TEST_HOME/.QuillboreSSH"
# One idle service, so that no welcome alert stands in front of the main window.
printf 'localhost\0371080\037%s\037\037SOCKS' "$QB_TEST_LOGIN_NAME" |
    encipher "$(python3 -c 'import sys; print(len(sys.argv[1]))' "$QB_TEST_LOGIN_NAME")" \
        "$QB_TEST_HOME/.QuillboreSSH.lst"

agent_has_key() { /usr/bin/ssh-add -l 2>/dev/null | grep -qF "$fingerprint"; }
main_window() { # prints the id of the application's visible window
    xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n 1
}
window_shown() { [ -n "$(main_window "$1")" ]; }
menu_open() { [ "$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | wc -l)" -ge 2 ]; }

# --- one run per way of ending, several rounds -------------------------------------------------
end_by() { # WAY PID
    case $1 in
    quit-shortcut)
        local w
        w=$(main_window "$2")
        xdotool windowfocus --sync "$w" key --clearmodifiers ctrl+q
        ;;
    quit-menu) # File menu by its mnemonic, then its Quit item
        xdotool windowfocus --sync "$(main_window "$2")" key --clearmodifiers alt+f
        waitfor 10 menu_open "$2" || fail "$name: the File menu did not open"
        xdotool key --clearmodifiers q
        ;;
    close-window) "$x11close" "$(main_window "$2")" ;;
    *) kill -s "$1" "$2" ;;
    esac
}

for round in $(seq "$rounds"); do
    for way in quit-menu quit-shortcut close-window TERM INT HUP; do
        name="round $round, $way"
        /usr/bin/ssh-add -D >/dev/null 2>&1
        "$app" >"$work/app.log" 2>&1 &
        pid=$!
        if ! waitfor 30 agent_has_key; then
            fail "$name: the passphrase-protected key never reached the agent"
            kill "$pid"; wait "$pid"
            continue
        fi
        pass
        if ! waitfor 30 window_shown "$pid"; then
            fail "$name: the main window never showed"
            kill "$pid"; wait "$pid"
            continue
        fi
        end_by "$way" "$pid"
        # Bounded by the test's own timeout; the application exits by itself here.
        wait "$pid"
        status=$?
        expect_eq "$name: exit status" 0 "$status"
        # Asked once, right after the exit: no waiting for a late ssh-add.
        if agent_has_key; then
            fail "$name: the agent still holds the key after the application has exited"
        else
            pass
        fi
    done
done
expect "ssh-add never ran the askpass program" test ! -e "$work/askpass-ran"
finish
