# SPDX-License-Identifier: GPL-3.0-or-later
"""What the tests of the real application on a private desktop share (run under
with-test-home and with-private-desktop): its data files in the home of the account record,
waiting, the fake desktop services' record of calls, and the tray menu over D-Bus."""
import json
import os
import time

import dbus

HOME = os.environ.get("QB_TEST_HOME", "")
LOGIN = os.environ.get("QB_TEST_LOGIN_NAME", "")
CALLS = os.environ.get("FAKE_DESKTOP_LOG", "")
MENU_IFACE = "com.canonical.dbusmenu"


def scramble(text, key):
    """The data files' cipher: letters rotate by 13 plus a shift that cycles with the key
    length, "1" to "8" are mirrored, then the whole text is reversed."""
    out, shift = [], 0
    for c in text:
        step = (13 + shift % 26) % 26
        if "A" <= c <= "Z":
            c = chr(ord("A") + (ord(c) - ord("A") + step) % 26)
        elif "a" <= c <= "z":
            c = chr(ord("a") + (ord(c) - ord("a") + step) % 26)
        elif "1" <= c <= "8":
            c = chr(105 - ord(c))
        out.append(c)
        shift = 0 if shift == len(key) else shift + 1
    return "".join(reversed(out))


def write_data_files(services, mode, reconnect, command="", arguments=""):
    """services: (server, listen port, user, password, tunnel description) each; mode: "keys",
    "command" or "askpass". The key-file list stays empty."""
    records = ["\x1f".join(service) for service in services]
    with open(os.path.join(HOME, ".QuillboreSSH.lst"), "w") as f:
        f.write(scramble("\r\n".join(records), LOGIN))
    flags = ["1" if mode == m else "0" for m in ("keys", "command", "askpass")]
    lines = flags + ["0", command, arguments, "1" if reconnect else "0", ""]
    with open(os.path.join(HOME, ".QuillboreSSH"), "w") as f:
        f.write(scramble("\r\n".join(lines) + "\r\n", "529"))


def data_files():
    out = {}
    for name in (".QuillboreSSH.lst", ".QuillboreSSH"):
        with open(os.path.join(HOME, name), "rb") as f:
            out[name] = f.read()
    return out


def wait_until(what, predicate, timeout=15.0):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def calls(kind):
    with open(CALLS) as f:
        return [e for e in map(json.loads, f) if e["call"] == kind]


def alive(pid):
    """Whether the process runs. An ended child of the application is reaped by it; once the
    application has gone, by whoever inherits it, so a zombie counts as ended."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return False


def menu_entries(menu):
    """(id, label) of every entry of a tray menu (com.canonical.dbusmenu), separators left
    out."""
    _, (_, _, children) = menu.GetLayout(0, -1, [], dbus_interface=MENU_IFACE)
    return [(int(c[0]), str(c[1].get("label", ""))) for c in children
            if c[1].get("type", "") != "separator"]


def click_menu_entry(menu, prefix):
    item = next(i for i, label in menu_entries(menu) if label.startswith(prefix))
    menu.Event(item, "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
               dbus_interface=MENU_IFACE)
