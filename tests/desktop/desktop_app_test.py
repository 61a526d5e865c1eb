#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The real application on a private desktop (run under with-test-home and with-private-desktop):
its tray icon registers with the StatusNotifierWatcher, also one that comes later, and its
menu starts and stops services, a dropped tunnel gives one notice, a resume from sleep or a
real change of the network renews the children of running services once and only with
reconnection on, a second launch hands over to the running one, the command line acts on the
running application, a launch starts the services that ran at the last end when the preference
asks for it, Stop all and closing the window end the askpass mode's chain of starts, and the
two data files stay byte for byte as they were.

The services run the own-command mode with a stand-in for ssh that records its pid and
sleeps, so that a tunnel child is a real, long-lived process. In askpass mode, where the real
ssh runs, the stand-in is its ProxyCommand: ssh waits for a server greeting that never comes.

    desktop_app_test.py APP
"""
import configparser
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import dbus

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from private_desktop import (HOME, alive, calls, click_menu_entry, data_files, menu_entries,
                             wait_until, write_data_files)

APP = None
SNI_IFACE = "org.kde.StatusNotifierItem"


def write_home(services, command, reconnect, askpass=False):
    write_data_files([(server, port, "tester", password, "SOCKS")
                      for server, port, password in services],
                     "askpass" if askpass else "command", reconnect, command, "%u@%h")


def focused_window_name():
    """The name of the window that has the X input focus, "" for none."""
    done = subprocess.run(["xdotool", "getwindowfocus", "getwindowname"], capture_output=True,
                          text=True)
    return done.stdout.strip() if done.returncode == 0 else ""


def visible_windows(*criteria):
    done = subprocess.run(["xdotool", "search", "--onlyvisible", *criteria],
                          capture_output=True, text=True)
    return done.stdout.split()


def visible_main_windows():
    return visible_windows("--name", "\\./QuillboreSSH$")


def app_processes():
    """Pids of the application started by this test run (other tests may run it too)."""
    target, mine = os.path.realpath(APP), "QB_TEST_ROOT=" + os.environ["QB_TEST_ROOT"]
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.path.realpath("/proc/%s/exe" % pid) != target or not alive(int(pid)):
                continue
            with open("/proc/%s/environ" % pid) as f:
                if mine in f.read().split("\0"):
                    found.append(int(pid))
        except OSError:
            pass
    return found


def alert_windows():
    """The application's other shown windows: an alert's title is not found by name."""
    return [w for w in visible_windows("--classname", "quillbore-ssh")
            if w not in visible_main_windows()]


def keys_to(window, *keys):
    subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "--clearmodifiers", *keys],
                   check=True, capture_output=True, timeout=15)


def flip_start_last_running(to):
    """Opens the preferences with Ctrl+, on the main window, flips the box of the services
    that ran at the last end and saves. Alt+D puts the focus on the desktop section's first
    box (keep running in the tray: there is a tray); Tab goes on to start at login, then to
    this one."""
    main = wait_until("the main window", visible_main_windows)[0]
    keys_to(main, "ctrl+comma")
    prefs = wait_until("the preferences window", lambda: visible_windows("--name", "^Preferences$"))
    keys_to(prefs[0], "alt+d", "Tab", "Tab", "space", "Return")
    wait_until("the preferences window to close",
               lambda: not visible_windows("--name", "^Preferences$"))
    # Written right after the window has closed.
    wait_until("the preference to be saved", lambda: desktop_settings().get(
        "General", "startLastRunning", fallback="") == ("true" if to else "false"), timeout=5)


def desktop_settings():
    """desktop.conf as QSettings writes it: [General] and one section per array."""
    settings = configparser.ConfigParser(interpolation=None)
    settings.optionxform = str
    settings.read(os.path.join(os.environ["XDG_CONFIG_HOME"], "QuillboreSSH", "desktop.conf"))
    return settings


def remembered_services():
    if not desktop_settings().has_section("lastRunning"):
        return None
    array = desktop_settings()["lastRunning"]
    return [tuple(array["%d\\%s" % (i, key)] for key in ("server", "port", "tunnel"))
            for i in range(1, int(array["size"]) + 1)]


def main_window_on_top_of(name):
    """Whether the main window is stacked above the named one (no window manager: the
    top-level windows are the root's children, which xwininfo lists from the top down)."""
    done = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True)
    names = [line.split('"')[1] for line in done.stdout.splitlines() if line.count('"') >= 2]
    mains = [i for i, n in enumerate(names) if n.endswith("./QuillboreSSH")]
    return bool(mains) and name in names and mains[0] < names.index(name)


def focus_another_window(test):
    other = subprocess.Popen(["xmessage", "-title", "another window", "another window"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    test.addCleanup(other.wait)
    test.addCleanup(other.terminate)
    subprocess.run(["xdotool", "search", "--sync", "--name", "another window",
                    "windowfocus", "--sync"], check=True, capture_output=True, timeout=15)
    test.assertEqual(focused_window_name(), "another window")
    return other


def fake_watcher(bus):
    """The fake StatusNotifierWatcher, reachable also while its name is released."""
    owner = bus.get_name_owner("org.freedesktop.Notifications")  # the same connection
    return bus.get_object(owner, "/StatusNotifierWatcher")


def light_of(pixmaps):
    """The colour of the light drawn in the lower right corner of the 32-pixel picture."""
    w, h, data = next(p for p in pixmaps if p[0] == 32)
    data = bytes(data)
    r = g = b = n = 0
    for y in range(20, 25):
        for x in range(20, 25):
            a_, r_, g_, b_ = data[4 * (y * w + x):4 * (y * w + x) + 4]  # ARGB, network order
            if a_ > 200:
                r, g, b, n = r + r_, g + g_, b + b_, n + 1
    r, g, b = r / n, g / n, b / n
    if max(r, g, b) - min(r, g, b) < 30:
        return "grey"
    if g > r + 40:
        return "green"
    if r > 150 and g > 150:
        return "yellow"
    if r > g + 60:
        return "red"
    return "rgb(%d,%d,%d)" % (r, g, b)


class App:
    """One run of the real application, seen through its tray icon."""

    def __init__(self, test, args=(), tray=True):
        self.bus = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
        self.system = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
        before = len(calls("RegisterStatusNotifierItem"))
        self.out = open(os.path.join(test.dir, "app.out"), "w")
        self.process = subprocess.Popen([APP, *args], stdout=self.out, stderr=subprocess.STDOUT)
        test.addCleanup(self.kill)
        if tray:
            self.find_tray_icon(before)

    def find_tray_icon(self, registrations_before):
        reg = wait_until("the tray icon to register",
                         lambda: calls("RegisterStatusNotifierItem")[registrations_before:])[0]
        self.item = self.bus.get_object(reg["sender"], "/StatusNotifierItem")
        menu_path = self.prop("Menu")
        self.menu = self.bus.get_object(reg["sender"], menu_path)

    def prop(self, name):
        return self.item.Get(SNI_IFACE, name, dbus_interface=dbus.PROPERTIES_IFACE)

    def tooltip(self):
        return str(self.prop("ToolTip")[2])

    def light(self):
        return light_of(self.prop("IconPixmap"))

    def entries(self):
        return menu_entries(self.menu)

    def wait_for(self, server, status="Running..."):
        wait_until("%s to read %s" % (server, status),
                   lambda: self.label(server).endswith(status))

    def label(self, prefix):
        return next(label for _, label in self.entries() if label.startswith(prefix))

    def click(self, prefix):
        click_menu_entry(self.menu, prefix)

    def sleep_and_resume(self):
        login = self.system.get_object("org.freedesktop.login1", "/org/freedesktop/login1")
        login.EmitPrepareForSleep(True, dbus_interface="org.quillbore.Test")
        login.EmitPrepareForSleep(False, dbus_interface="org.quillbore.Test")

    def network_down_and_up(self):
        """A short drop; it comes back as a new primary connection, as NetworkManager's do."""
        set_network_state(self.system, 20)  # disconnected
        set_network_state(self.system, 70)  # connected, global

    def network_check_fails_and_passes(self):
        set_network_state(self.system, 60)  # connected, but the connectivity check failed
        set_network_state(self.system, 70)

    def switch_connection(self):
        nm = self.system.get_object("org.freedesktop.NetworkManager",
                                    "/org/freedesktop/NetworkManager")
        nm.SwitchConnection(dbus_interface="org.quillbore.Test")

    def quit_from_tray(self):
        self.click("Quit")
        return self.process.wait(timeout=20)

    def kill(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=20)
        self.out.close()


def set_network_state(system, state):
    nm = system.get_object("org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager")
    nm.SetState(dbus.UInt32(state), dbus_interface="org.quillbore.Test")


class DesktopAppTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="desktop-app.", dir=os.environ.get("QB_TEST_ROOT"))
        self.pids_file = os.path.join(self.dir, "children")
        self.command = os.path.join(self.dir, "fake-ssh")
        with open(self.command, "w") as f:
            f.write("#!/bin/sh\necho $$ >> '%s'\nexec sleep 100000\n" % self.pids_file)
        os.chmod(self.command, 0o755)

    def need(self, *tools):
        for tool in tools:
            if shutil.which(tool) is None:
                self.skipTest(tool + " is missing")

    def children(self):
        try:
            with open(self.pids_file) as f:
                return [int(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def start(self, services, reconnect, args=(), tray=True, askpass=False):
        write_home(services, self.command, reconnect, askpass)
        self.files_before = data_files()
        return App(self, args, tray)

    def finish(self, app):
        self.assertEqual(app.quit_from_tray(), 0)
        self.assertEqual(data_files(), self.files_before, "the data files changed")
        for pid in self.children():
            # They were signalled before the application exited; ending takes a moment.
            wait_until("child %d to end with the application" % pid, lambda: not alive(pid),
                       timeout=5)

    def test_tray_icon_registers_and_its_menu_starts_and_stops_one_service(self):
        app = self.start([("tray.example", "1080", "pw-tray-1"),
                          ("other.example", "1081", "pw-tray-2")], reconnect=False)
        self.assertEqual(app.tooltip(), "QuillboreSSH: 0 of 2 services running")
        self.assertEqual(app.light(), "grey")
        labels = [label for _, label in app.entries()]
        self.assertEqual(labels[2:], ["Start all", "Stop all", "Show window", "Lock", "Quit"])
        self.assertEqual(labels[0], "tray.example  SOCKS :1080  Idle...")

        app.click("tray.example")
        wait_until("one child", lambda: len(self.children()) == 1)
        app.wait_for("tray.example")
        wait_until("the tool tip to count it",
                   lambda: app.tooltip() == "QuillboreSSH: 1 of 2 services running")
        self.assertEqual(app.light(), "green")
        self.assertTrue(app.label("other.example").endswith("Idle..."))

        app.click("tray.example")
        app.wait_for("tray.example", "Idle...")
        wait_until("the child to end", lambda: not alive(self.children()[0]))
        self.assertEqual(app.light(), "grey")
        self.finish(app)

    def test_a_dropped_tunnel_gives_exactly_one_notice(self):
        notices_before = len(calls("Notify"))
        app = self.start([("drop.example", "1090", "pw-drop-secret")], reconnect=False,
                         args=["--hidden"])
        app.click("drop.example")
        app.wait_for("drop.example")
        self.assertEqual(calls("Notify")[notices_before:], [], "a notice without a change")

        os.kill(self.children()[0], signal.SIGTERM)
        wait_until("the row to read closed",
                   lambda: app.label("drop.example").endswith("Connection Closed..."))
        wait_until("a notice", lambda: calls("Notify")[notices_before:])
        self.assertEqual(app.light(), "red")
        # Nothing else changes, so nothing else may be said: watch for a while.
        time.sleep(1.5)
        notices = calls("Notify")[notices_before:]
        self.assertEqual(len(notices), 1, notices)
        self.assertEqual(notices[0]["summary"], "drop.example  SOCKS :1090")
        self.assertEqual(notices[0]["body"], "Connection Closed...")
        self.assertNotIn("pw-drop-secret", json.dumps(notices))
        self.finish(app)

    def test_notices_only_while_another_window_is_active(self):
        """A click on the icon shows the window and gives it the focus: a drop then is seen
        there and not announced. With another window active, the next drop is."""
        self.need("xdotool", "xmessage")
        notices_before = len(calls("Notify"))
        app = self.start([("seen.example", "1095", "pw-seen")], reconnect=False,
                         args=["--hidden"])
        app.click("seen.example")
        app.wait_for("seen.example")
        self.assertNotIn("QuillboreSSH", focused_window_name())
        app.item.Activate(dbus.Int32(0), dbus.Int32(0), dbus_interface=SNI_IFACE)
        wait_until("the main window to have the focus",
                   lambda: focused_window_name().endswith("QuillboreSSH"))
        os.kill(self.children()[0], signal.SIGTERM)
        wait_until("the row to read closed",
                   lambda: app.label("seen.example").endswith("Connection Closed..."))
        time.sleep(1.0)  # watch for a notice that should not come
        self.assertEqual(calls("Notify")[notices_before:], [])

        focus_another_window(self)
        app.click("seen.example")
        app.wait_for("seen.example")
        os.kill(self.children()[1], signal.SIGTERM)
        notice = wait_until("a notice", lambda: calls("Notify")[notices_before:])
        self.assertEqual([(n["summary"], n["body"]) for n in notice],
                         [("seen.example  SOCKS :1095", "Connection Closed...")])
        self.finish(app)

    def test_the_tray_locks_and_while_locked_starts_nothing(self):
        app = self.start([("locked.example", "1096", "pw-locked")], reconnect=False,
                         args=["--hidden"])
        app.click("Lock")
        wait_until("the menu to say locked",
                   lambda: [l for _, l in app.entries() if l == "Locked"])
        app.click("locked.example")
        app.click("Start all")
        time.sleep(1.0)  # a start would have launched a child at once
        self.assertEqual(self.children(), [])
        self.assertTrue(app.label("locked.example").endswith("Idle..."))
        self.finish(app)

    def test_a_hidden_start_without_a_tray_shows_the_window(self):
        self.need("xdotool")
        write_home([("plain.example", "1097", "pw-plain")], self.command, False)
        # A session bus of its own, without a StatusNotifierWatcher: no tray.
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                "--address=unix:path=" + os.path.join(self.dir, "bus"),
                                "--print-address=1"], stdout=subprocess.PIPE, text=True,
                               stderr=subprocess.DEVNULL)
        self.addCleanup(bus.wait)
        self.addCleanup(bus.terminate)
        self.addCleanup(bus.stdout.close)
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus.stdout.readline().strip())
        self.assertNotIn("QuillboreSSH", focused_window_name())
        app = subprocess.Popen([APP, "--hidden"], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        try:
            wait_until("the main window to be shown and have the focus",
                       lambda: focused_window_name().endswith("QuillboreSSH"))
        finally:
            app.terminate()
            self.assertEqual(app.wait(timeout=20), 0)

    # At login the panel may come up after the application: a hidden start waits for it a
    # while, and stays hidden in the tray that comes.
    def test_a_tray_that_comes_after_the_application_gets_the_icon(self):
        watcher = fake_watcher(dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"]))
        watcher.Stop(dbus_interface="org.quillbore.Test")
        self.addCleanup(watcher.Start, dbus_interface="org.quillbore.Test")
        before = len(calls("RegisterStatusNotifierItem"))
        app = self.start([("late.example", "1098", "pw-late")], reconnect=False,
                         args=("--hidden",), tray=False)
        time.sleep(1.0)
        self.assertEqual(calls("RegisterStatusNotifierItem")[before:], [])
        self.assertEqual(visible_main_windows(), [])

        watcher.Start(dbus_interface="org.quillbore.Test")
        app.find_tray_icon(before)
        self.assertEqual(app.tooltip(), "QuillboreSSH: 0 of 1 service running")
        time.sleep(5.0)  # past the wait for a tray
        self.assertEqual(visible_main_windows(), [], "shown although a tray came")
        # A panel that restarts: the icon is registered with the new watcher too.
        before = len(calls("RegisterStatusNotifierItem"))
        watcher.Stop(dbus_interface="org.quillbore.Test")
        watcher.Start(dbus_interface="org.quillbore.Test")
        app.find_tray_icon(before)
        app.click("late.example")
        app.wait_for("late.example")
        self.finish(app)

    def test_a_second_launch_shows_the_window_of_the_first_and_starts_nothing(self):
        self.need("xdotool", "xmessage")
        app = self.start([("once.example", "1110", "pw-once")], reconnect=False,
                         args=["--hidden"])
        app.click("once.example")
        app.wait_for("once.example")
        self.assertEqual(visible_main_windows(), [])
        # What a save of the first one in progress looks like: a start would remove it.
        saving = os.path.join(HOME, ".QuillboreSSH.lst.qbtmp-Ab12Cd")
        with open(saving, "w") as f:
            f.write("half a save")
        registrations = len(calls("RegisterStatusNotifierItem"))

        second = subprocess.run([APP], capture_output=True, text=True, timeout=10)
        self.assertEqual((second.returncode, second.stderr), (0, ""))
        wait_until("the hidden window to be shown and have the focus",
                   lambda: focused_window_name().endswith("QuillboreSSH"))
        self.assertEqual(app_processes(), [app.process.pid])
        self.assertTrue(os.path.exists(saving), "the second launch removed a temporary file")
        os.remove(saving)
        self.assertEqual(len(calls("RegisterStatusNotifierItem")), registrations)
        self.assertEqual(len(self.children()), 1)
        self.assertTrue(app.label("once.example").endswith("Running..."))
        self.finish(app)

    def test_with_and_without_a_session_bus_a_killed_first_launch_blocks_no_later_one(self):
        """A second launch raises the window of the first; without a session bus a lock file
        stands in for the bus name, and the one that a killed application left is taken over."""
        self.need("xdotool", "xmessage", "xwininfo")
        write_home([("kill.example", "1111", "pw-kill")], self.command, False)
        no_bus = "unix:path=" + os.path.join(self.dir, "no-bus")
        for name, bus in (("session bus", os.environ["DBUS_SESSION_BUS_ADDRESS"]),
                          ("lock file", no_bus)):
            with self.subTest(name):
                env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus)
                launched = []

                def launch():
                    launched.append(subprocess.Popen([APP], env=env, stdout=subprocess.DEVNULL,
                                                     stderr=subprocess.DEVNULL))
                    return launched[-1]
                try:
                    first = launch()
                    wait_until("the first window", visible_main_windows)
                    launched.append(focus_another_window(self))
                    self.assertFalse(main_window_on_top_of("another window"))
                    second = subprocess.run([APP], env=env, capture_output=True, text=True,
                                            timeout=10)
                    self.assertEqual((second.returncode, second.stderr), (0, ""))
                    wait_until("the first window to be raised",
                               lambda: main_window_on_top_of("another window"))
                    self.assertEqual(app_processes(), [first.pid])

                    first.kill()
                    first.wait()
                    wait_until("the killed window to go", lambda: not visible_main_windows())
                    third = launch()
                    wait_until("a window after the kill", visible_main_windows)
                    self.assertEqual(app_processes(), [third.pid])
                    third.terminate()
                    self.assertEqual(third.wait(timeout=20), 0)
                finally:
                    for process in launched:
                        if process.poll() is None:
                            process.kill()
                            process.wait()

    def running_pair(self, reconnect):
        app = self.start([("a.example", "1100", "pw-a"), ("b.example", "1101", "pw-b")],
                         reconnect=reconnect, args=["--hidden"])
        for server in ("a.example", "b.example"):
            app.click(server)
        for server in ("a.example", "b.example"):
            app.wait_for(server)
        self.assertEqual(len(self.children()), 2)
        return app

    def renewed(self, app, old_count, what):
        """Waits for one new child per running service, the old ones gone, all running again."""
        wait_until("two new children after " + what,
                   lambda: len(self.children()) == old_count + 2, timeout=5)
        for pid in self.children()[old_count - 2:old_count]:
            wait_until("the old child to be gone", lambda: not alive(pid))
        for server in ("a.example", "b.example"):
            app.wait_for(server)
        return len(self.children())

    def assert_not_renewed(self, count, what):
        # A renewal comes once the network has been quiet for a second, and its children
        # within the next: watch for longer than that.
        time.sleep(3.0)
        self.assertEqual(len(self.children()), count, "renewed after " + what)

    def test_a_resume_replaces_every_running_child_once_with_reconnection_on(self):
        app = self.running_pair(reconnect=True)
        resumed = time.monotonic()
        app.sleep_and_resume()
        wait_until("two new children", lambda: len(self.children()) == 4, timeout=5)
        took = time.monotonic() - resumed
        self.assertLess(took, 2.5, "the children were replaced %.1f s after the resume" % took)
        count = self.renewed(app, 2, "the resume")
        # The network catching up after the resume is part of it, not a second renewal.
        app.network_down_and_up()
        self.assert_not_renewed(count, "the network came back from the resume")
        self.finish(app)

    def test_the_network_renews_on_real_changes_only(self):
        app = self.running_pair(reconnect=True)
        app.network_check_fails_and_passes()
        self.assert_not_renewed(2, "a failed connectivity check")
        app.switch_connection()
        count = self.renewed(app, 2, "a change of the primary connection")
        app.network_down_and_up()
        self.renewed(app, count, "the network came back")
        self.finish(app)

    def test_a_network_offline_at_the_start_that_connects_replaces_every_running_child(self):
        system = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
        set_network_state(system, 20)  # the state the application asks for when it starts
        try:
            app = self.running_pair(reconnect=True)
            old = self.children()
            set_network_state(system, 70)
            wait_until("two new children", lambda: len(self.children()) == 4, timeout=5)
            for pid in old:
                wait_until("the old child to be gone", lambda: not alive(pid))
            self.finish(app)
        finally:
            set_network_state(system, 70)

    def test_a_resume_leaves_the_children_alone_with_reconnection_off(self):
        app = self.running_pair(reconnect=False)
        old = self.children()
        app.sleep_and_resume()
        wait_until("the resume to be sent", lambda: calls("PrepareForSleep"))
        # A replacement would come within about a second: watch for twice that.
        time.sleep(2.0)
        self.assertEqual(self.children(), old)
        for pid in old:
            self.assertTrue(alive(pid))
        for server in ("a.example", "b.example"):
            self.assertTrue(app.label(server).endswith("Running..."))
        self.finish(app)

    def run_command(self, *args, env=None):
        """The command line of a later launch: (exit status, standard output, standard error)."""
        done = subprocess.run([APP, *args], capture_output=True, text=True, timeout=40, env=env)
        return done.returncode, done.stdout, done.stderr

    def status_rows(self, env=None):
        status, out, err = self.run_command("--status", env=env)
        self.assertEqual((status, err), (0, ""))
        return [line.split("\t") for line in out.splitlines()]

    def test_the_command_line_lists_starts_and_stops_the_services_of_the_running_one(self):
        app = self.start([("cli.example", "1120", "pw-cli-1"), ("cli.example", "1121", "pw-cli-2")],
                         reconnect=False, args=["--hidden"])

        def as_in_the_tray(want):
            """The rows, once they have the wanted status texts and the tray's entries read
            the same: server, tunnel, listen port and status."""
            rows = self.status_rows()
            tray = [label for _, label in app.entries()][:len(rows)]
            return ([r[4] for r in rows] == want and
                    ["%s  %s :%s  %s" % (r[1], r[3], r[2], r[4]) for r in rows] == tray and rows)

        rows = wait_until("the status to agree with the tray",
                          lambda: as_in_the_tray(["Idle...", "Idle..."]))
        self.assertEqual(rows, [["1", "cli.example", "1120", "SOCKS", "Idle..."],
                                ["2", "cli.example", "1121", "SOCKS", "Idle..."]])
        self.assertEqual(self.run_command("--start", "1"), (0, "", ""))
        wait_until("one child", lambda: len(self.children()) == 1)
        self.assertEqual(self.run_command("--start", "cli.example:1121"), (0, "", ""))
        wait_until("a second child", lambda: len(self.children()) == 2)
        wait_until("both to run", lambda: as_in_the_tray(["Running...", "Running..."]))
        self.assertEqual(self.run_command("--start", "1"), (
            1, "", "Service is already running. Maybe do a stop and then try to start it.\n"))

        self.assertEqual(self.run_command("--stop", "cli.example:1120"), (0, "", ""))
        wait_until("the first child to end", lambda: not alive(self.children()[0]))
        wait_until("the first to be idle", lambda: as_in_the_tray(["Idle...", "Running..."]))
        for usage in (["--stop", "cli.example"], ["--start", "1", "--start", "2"]):
            status, out, err = self.run_command(*usage)
            self.assertEqual((status, out), (2, ""), usage)
            self.assertIn("--help", err, usage)

        app.click("Lock")
        wait_until("the menu to say locked", lambda: [l for _, l in app.entries() if l == "Locked"])
        for refused in (["--stop", "2"], ["--start-all"]):
            self.assertEqual(self.run_command(*refused), (1, "", "This application is locked. "
                             "You must authenticate before using this feature.\n"), refused)
        self.assertTrue(alive(self.children()[1]))
        self.assertEqual(len(self.children()), 2)
        self.assertEqual([r[4] for r in self.status_rows()], ["Idle...", "Running..."])
        self.finish(app)

    def test_with_none_running_the_status_reads_the_file_and_a_command_starts_the_application(self):
        write_home([("off.example", "1130", "pw-off-1"), ("off.example", "1131", "pw-off-2")],
                   self.command, False)
        before = data_files()
        no_bus = "unix:path=" + os.path.join(self.dir, "no-bus")
        for name, bus in (("session bus", os.environ["DBUS_SESSION_BUS_ADDRESS"]),
                          ("lock file", no_bus)):
            with self.subTest(name):
                env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=bus)
                self.addCleanup(self.end_started_applications)
                children = len(self.children())
                self.assertEqual(self.run_command("--status", env=env), (
                    0, "1\toff.example\t1130\tSOCKS\tIdle...\n"
                       "2\toff.example\t1131\tSOCKS\tIdle...\n", ""))
                self.assertEqual(app_processes(), [])

                self.assertEqual(self.run_command("--start", "2", env=env), (0, "", ""))
                self.assertEqual(len(app_processes()), 1)
                wait_until("its child", lambda: len(self.children()) == children + 1)
                wait_until("the status to say it runs", lambda: [
                    r[4] for r in self.status_rows(env)] == ["Idle...", "Running..."])
                self.end_started_applications()
                wait_until("the child to end with it", lambda: not alive(self.children()[-1]))
        self.assertEqual(data_files(), before)

    def end_started_applications(self):
        """Ends the applications that a command started; they are no children of the test."""
        for pid in app_processes():
            os.kill(pid, signal.SIGTERM)
        wait_until("the started application to end", lambda: not app_processes(), timeout=20)


    def test_a_launch_starts_the_services_that_ran_at_the_last_end_while_asked_to(self):
        self.need("xdotool")
        conf = os.path.join(os.environ["XDG_CONFIG_HOME"], "QuillboreSSH", "desktop.conf")
        self.addCleanup(lambda: os.path.exists(conf) and os.remove(conf))  # the tests share it
        app = self.start([("one.example", "1120", "pw-one"), ("two.example", "1121", "pw-two"),
                          ("three.example", "1122", "pw-three")], reconnect=False)
        flip_start_last_running(to=True)
        self.files_before = data_files()  # Save writes the preferences file
        app.click("one.example")
        app.click("three.example")
        for server in ("one.example", "three.example"):
            app.wait_for(server)
        self.finish(app)
        self.assertEqual(remembered_services(), [("one.example", "1120", "SOCKS"),
                                                 ("three.example", "1122", "SOCKS")])
        with open(conf) as f:
            self.assertNotRegex(f.read(), "tester|pw-")

        # Remembered again at each end, so the --hidden launch after it starts them too.
        for args in ((), ("--hidden",)):
            with self.subTest(args=args):
                before = len(self.children())
                app = App(self, args)
                for server in ("one.example", "three.example"):
                    app.wait_for(server)
                self.assertTrue(app.label("two.example").endswith("Idle..."))
                self.assertEqual(len(self.children()), before + 2)
                # A second launch hands over before it could start anything.
                second = subprocess.run([APP, *args], capture_output=True, timeout=10)
                self.assertEqual(second.returncode, 0)
                time.sleep(0.5)  # a child of it would have written its pid by now
                self.assertEqual(len(self.children()), before + 2)
                if args:
                    app.click("Show window")
                    flip_start_last_running(to=False)
                    self.assertIsNone(remembered_services(), "kept after it was turned off")
                    self.files_before = data_files()
                self.finish(app)

        # Off: nothing is remembered at the end and nothing starts.
        self.assertIsNone(remembered_services())
        before = len(self.children())
        app = App(self)
        time.sleep(1.0)  # a start at launch would have written its pid by now
        self.assertEqual(len(self.children()), before)
        for server in ("one.example", "two.example", "three.example"):
            self.assertTrue(app.label(server).endswith("Idle..."), server)
        self.finish(app)

    def askpass_chain(self):
        """Four services in askpass mode, Start all from the tray. Answers once the first ssh
        runs and the delay alert on the main window has been closed with Return, which must
        work while the chain goes on."""
        self.need("xdotool")
        # ssh ends without a word to its ProxyCommand when it is stopped this early: the
        # stand-in ends with the end of what ssh sends it.
        proxy = os.path.join(self.dir, "fake-proxy")
        with open(proxy, "w") as f:
            f.write("#!/bin/sh\necho $$ >> '%s'\nexec cat >/dev/null\n" % self.pids_file)
        os.chmod(proxy, 0o755)
        ssh = os.path.join(HOME, ".ssh")
        os.makedirs(ssh, mode=0o700, exist_ok=True)
        config = os.path.join(ssh, "config")
        with open(os.open(config, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as f:
            f.write("Host *.example\n    ProxyCommand %s\n" % proxy)
        self.addCleanup(os.remove, config)
        self.servers = ["chain%d.example" % i for i in range(1, 5)]
        app = self.start([(server, str(1130 + i), "pw-chain")
                          for i, server in enumerate(self.servers)],
                         reconnect=False, askpass=True)
        wait_until("the main window", visible_main_windows)
        app.click("Start all")
        wait_until("the first ssh", self.children)
        alert = wait_until("the delay alert", alert_windows)
        keys_to(alert[0], "Return")
        wait_until("the alert to close", lambda: not alert_windows())
        self.assertLess(len(self.children()), len(self.servers),
                        "the window answered only at the end of the chain")
        return app

    def test_stop_all_from_the_tray_ends_the_askpass_chain(self):
        app = self.askpass_chain()
        wait_until("the second ssh", lambda: len(self.children()) >= 2)
        app.click("Stop all")
        wait_until("every service to be stopped",
                   lambda: app.tooltip() == "QuillboreSSH: 0 of 4 services running")
        started = len(self.children())
        self.assertLess(started, len(self.servers))
        time.sleep(2 * 2.0 + 1.0)  # two more starts of the chain would have come
        self.assertEqual(len(self.children()), started, "a start after Stop all")
        self.assertEqual(app.tooltip(), "QuillboreSSH: 0 of 4 services running")
        self.finish(app)

    def test_closing_the_window_ends_the_application_and_the_askpass_chain(self):
        close = os.environ.get("QB_X11_CLOSE", "")
        if not close:
            self.skipTest("qb-x11-close was not built (no Xlib)")
        app = self.askpass_chain()
        # Right after a start: the next one is a whole spacing away.
        seen = len(self.children())
        wait_until("another ssh", lambda: len(self.children()) > seen)
        started = len(self.children())
        subprocess.run([close, visible_main_windows()[0]], check=True, timeout=15)
        self.assertEqual(app.process.wait(timeout=20), 0)
        self.assertEqual(data_files(), self.files_before, "the data files changed")
        time.sleep(1.0)  # what the application started last has written its pid by now
        self.assertEqual(len(self.children()), started, "a start after the window closed")
        for pid in self.children():
            wait_until("child %d to end with the application" % pid, lambda: not alive(pid),
                       timeout=5)


if __name__ == "__main__":
    APP = sys.argv.pop(1)
    unittest.main(verbosity=2)
