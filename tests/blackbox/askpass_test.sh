#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# quillbore-askpass seen from outside: run under with-test-home, which gives the account record
# the home $QB_TEST_HOME and the login $QB_TEST_LOGIN_NAME while HOME points elsewhere.
#   askpass_test.sh path/to/quillbore-askpass
set -u
askpass=$1
. "$(dirname "$0")/testlib.sh"

login=$QB_TEST_LOGIN_NAME
file=$QB_TEST_HOME/.ssh-askpass
work=$(mktemp -d "$QB_TEST_ROOT/askpass.XXXXXX")

# The stored form, written independently of the product's code: position i of the plain
# text gets shift i mod (key length + 1); letters rotate by 13 + shift, "1".."8" mirror;
# the result is reversed.
encode() { # TEXT KEY FILE
    python3 - "$@" <<'PY'
import sys
text, key, path = sys.argv[1].encode("ascii"), sys.argv[2], sys.argv[3]
out = []
for i, c in enumerate(text):
    k = i % (len(key) + 1)
    if 65 <= c <= 90:
        c = 65 + (c - 65 + 13 + k) % 26
    elif 97 <= c <= 122:
        c = 97 + (c - 97 + 13 + k) % 26
    elif 49 <= c <= 56:
        c = 105 - c
    out.append(c)
with open(path, "wb") as f:
    f.write(bytes(reversed(out)))
PY
}

run() { # ARGS...: sets status; output in $work/out and $work/err
    "$askpass" "$@" >"$work/out" 2>"$work/err" </dev/null
    status=$?
}

# --- the password comes back exactly, followed by one newline -------------------------------
passwords=(
    "s3cret"
    "pass word with  blanks "
    "p@ss;w0rd!\"'\`\$(touch pwned)\\|&<>*?#~%^{}[]=+,-./:"
    "AZaz09 MmNn 12345678"
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnop"
    ""
)
for pw in "${passwords[@]}"; do
    encode "$pw" "$login" "$file"
    run "$login@example.org's password: "
    expect_eq "status for $pw" 0 "$status"
    expect_file "password for $pw" "$work/out" "$pw"$'\n'
    expect_file "nothing on stderr for $pw" "$work/err" ""
done

# --- only a password or passphrase prompt is answered ---------------------------------------
# The prompts as OpenSSH 9 words them; keyboard-interactive passes on the server's own text.
encode "plain" "$login" "$file"
answered=(
    "$login@127.0.0.1's password: "
    "Enter passphrase for key '/home/$login/.ssh/id_ed25519': "
    "($login@example.org) Password: "
    "PASSWORD:"
    "Enter passphrase for $login@host (will confirm): "
)
for prompt in "${answered[@]}"; do
    run "$prompt"
    expect_eq "status for: $prompt" 0 "$status"
    expect_file "password for: $prompt" "$work/out" $'plain\n'
done
refused=(
    "The authenticity of host '[127.0.0.1]:2222 ([127.0.0.1]:2222)' can't be established.
ED25519 key fingerprint is SHA256:nThbg6kXUpJWGl7E1IGOCspRomTxdCARLviKw6E5SY8.
This key is not known by any other names.
Are you sure you want to continue connecting (yes/no/[fingerprint])? "
    "Are you sure you want to continue connecting (yes/no/[fingerprint])?"
    "Please type 'yes', 'no' or the fingerprint: "
    "Allow use of key /home/$login/.ssh/id_ed25519?
Key fingerprint SHA256:x. (yes/no) password"
    "Verification code: "
    "Enter PIN for ED25519-SK key /home/$login/.ssh/id_ed25519_sk: "
    ""
)
for prompt in "${refused[@]}"; do
    run "$prompt"
    expect_eq "status for: $prompt" 1 "$status"
    expect_file "nothing on stdout for: $prompt" "$work/out" ""
    expect_one_line "one line on stderr for: $prompt" "$work/err"
done
run
expect_eq "status without argument" 1 "$status"
expect_file "stdout without argument" "$work/out" ""

# SSH_ASKPASS_PROMPT=confirm or none means no password, whatever the prompt says.
for kind in confirm none; do
    SSH_ASKPASS_PROMPT=$kind run "$login@127.0.0.1's password: "
    expect_eq "status with SSH_ASKPASS_PROMPT=$kind" 1 "$status"
    expect_file "stdout with SSH_ASKPASS_PROMPT=$kind" "$work/out" ""
done
SSH_ASKPASS_PROMPT=something-else run "Password: "
expect_eq "another SSH_ASKPASS_PROMPT leaves it to the prompt" 0 "$status"

# --- the file is read from the account record's home, never from HOME ----------------------
mkdir -p "$HOME"
encode "decoy" "$login" "$HOME/.ssh-askpass"
encode "the real one" "$login" "$file"
run "Password: "
expect_file "HOME is ignored" "$work/out" $'the real one\n'

# --- a missing or unreadable file: one line on stderr, nothing on stdout, status 1 ----------
rm -f "$file"
run "Password: "
expect_eq "missing file status" 1 "$status"
expect_file "missing file stdout" "$work/out" ""
expect_one_line "missing file stderr" "$work/err"
expect "missing file stderr names the file" grep -qF "$file" "$work/err"

mkdir "$file"
run "Password: "
expect_eq "unreadable file status" 1 "$status"
expect_file "unreadable file stdout" "$work/out" ""
expect_one_line "unreadable file stderr" "$work/err"
rmdir "$file"

# --- no account record for the user id --------------------------------------------------------
printf 'someoneelse:x:%s:%s:X:/nonexistent:/bin/sh\n' $(($(id -u) + 4242)) "$(id -g)" >"$work/passwd"
encode "secret" "$login" "$file"
NSS_WRAPPER_PASSWD=$work/passwd run "Password: "
expect_eq "no record status" 1 "$status"
expect_file "no record stdout" "$work/out" ""
expect_one_line "no record stderr" "$work/err"
expect "no record stderr names the lookup" grep -q "getpwuid" "$work/err"

expect "no command was run by the helper" test ! -e "$QB_TEST_ROOT/pwned" -a ! -e "$PWD/pwned"
finish
