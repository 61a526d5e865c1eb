#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The real application on a private desktop against the test sshd with real ssh children, set
up as a new user would: a ~/.ssh/config that names only the host, its port and a key, the
server's key in known_hosts, key-file mode and reconnection on. Its tunnels must come back by
themselves from a peer that stops answering and from an outage of the server, a forward that
cannot listen must fail with ssh's reason, and a second launch must leave the first alone.

One run of the application serves every case, in the order of their names. It is read as a
user sees it, through its accessibility tree on an accessibility bus of the test's own (the
table's status cells, the status line, the alerts); services are started from its tray menu.

    real_app_test.py APP TEST_SSHD      (under with-test-home and with-private-desktop)
"""
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import dbus

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "desktop"))
from private_desktop import (HOME, LOGIN, alive, calls, click_menu_entry,  # noqa: E402
                             menu_entries, wait_until, write_data_files)

APP = TEST_SSHD = None
HOST = "tunnelhost"  # the alias of the plain ~/.ssh/config
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
FAILURE_ALERT = (
    "It appears a tunnel service has failed. Check your password and/or internet connection. "
    "If you have not connected via ssh before you will need to do so and generate the key file "
    "before this app will work. If you don't have a RSK key for the server you will need to use "
    "a command line utility to manage the passwords like sshpass.")
SOCKS, LOCAL, REVERSE, LOCAL2, BLOCKED = range(5)  # the rows
RUNNING_ROWS = (SOCKS, LOCAL, REVERSE, LOCAL2)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def own_process(argv, **kwargs):
    """A child that gets SIGTERM when this test dies, however it dies."""
    return subprocess.Popen(["setpriv", "--pdeathsig", "TERM", *argv], **kwargs)


def stop_process(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def children(pid):
    """Of every thread: a child belongs to the thread that started it."""
    out = []
    try:
        for task in os.listdir("/proc/%d/task" % pid):
            out += [int(p) for p in read("/proc/%d/task/%s/children" % (pid, task)).split()]
    except OSError:
        pass  # ended
    return out


def descendants(pid):
    found = children(pid)
    return found + [d for child in found for d in descendants(child)]


def ssh_children(pid):
    def comm(child):
        try:
            return read("/proc/%d/comm" % child).strip()
        except OSError:
            return b""
    return {child for child in children(pid) if comm(child) == b"ssh"}


def apps_on_this_desktop():
    """Processes of the application binary on this private desktop (other tests run theirs)."""
    mine = ("DBUS_SESSION_BUS_ADDRESS=" + os.environ["DBUS_SESSION_BUS_ADDRESS"]).encode()
    out = []
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            if (os.path.realpath("/proc/%s/exe" % entry) == os.path.realpath(APP) and
                    mine in read("/proc/%s/environ" % entry).split(b"\0")):
                out.append(int(entry))
        except OSError:
            pass
    return out


class TestServer:
    """qb-test-sshd: the sshd, commanded over its standard input. It ends the server and every
    connection when its input closes, also when this test dies."""

    def __init__(self):
        self.process = subprocess.Popen([TEST_SSHD, "--plain-client", HOST],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        word, _, rest = self.process.stdout.readline().strip().partition(" ")
        if word == "skip":
            self.close()
            raise unittest.SkipTest(rest)
        if word != "ready":
            self.close()
            raise AssertionError("the test sshd did not start: " + word + " " + rest)

    def __call__(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        lines = []
        while True:
            line = self.process.stdout.readline()
            if not line or line.startswith("error"):
                raise AssertionError("the test sshd, %s: %s" % (command, line.strip()))
            if line.startswith("ok"):
                return lines, line[2:].strip()
            lines.append(line[2:].rstrip("\n"))

    def close(self):
        self.process.stdin.close()  # it ends every connection and the server
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()


class EchoServer:
    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return  # closed
            threading.Thread(target=self.echo, args=(connection,), daemon=True).start()

    @staticmethod
    def echo(connection):
        with connection:
            connection.settimeout(60)
            try:
                while data := connection.recv(65536):
                    connection.sendall(data)
            except OSError:
                pass

    def close(self):
        self.listener.close()


def receive(connection, size):
    data = b""
    while len(data) < size and (chunk := connection.recv(size - len(data))):
        data += chunk
    return data


def round_trip(port, socks_target=None, size=64 * 1024):
    """Sends bytes through 127.0.0.1:port (speaking SOCKS5 first when given a target) to the
    echo server and reads them back. The reason when they do not come back, else None."""
    payload = bytes((i * 7 + i // 251) % 256 for i in range(size))
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            if socks_target:
                s.sendall(b"\x05\x01\x00")  # no authentication
                if receive(s, 2) != b"\x05\x00":
                    return "the SOCKS greeting was refused"
                s.sendall(b"\x05\x01\x00\x01\x7f\x00\x00\x01" + struct.pack(">H", socks_target))
                reply = receive(s, 10)
                if reply[:2] != b"\x05\x00":
                    return "SOCKS CONNECT refused: %r" % reply
            s.sendall(payload)
            back = receive(s, size)
            return None if back == payload else "%d of %d bytes came back" % (len(back), size)
    except OSError as e:
        return str(e) or type(e).__name__


class SshStarts:
    """Counts the ssh children that a process starts while watched: its children are listed
    every few milliseconds, and an ssh lives that long at least, refused at once or not."""

    def __init__(self, pid):
        self.pid, self.seen, self.watching = pid, set(), True
        self.before = ssh_children(pid)
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()

    def watch(self):
        while self.watching:
            self.seen |= ssh_children(self.pid)
            time.sleep(0.003)

    def stop(self):
        self.watching = False
        self.thread.join()
        return len(self.seen - self.before)


ACC, TEXT, ACTION, TABLE = ("org.a11y.atspi." + i for i in ("Accessible", "Text", "Action",
                                                              "Table"))
ROLE_ALERT, ROLE_LABEL, ROLE_PUSH_BUTTON, ROLE_TABLE, ROLE_TEXT = 2, 29, 43, 55, 61
STATE_SHOWING = 25


class Accessibility:
    """An accessibility bus of the test's own on the private session bus, and the application's
    tree on it (Qt serves it when the bus says accessibility is on)."""

    def __init__(self, env):
        self.launcher = own_process([LAUNCHER, "--launch-immediately"], env=env,
                                    stderr=subprocess.DEVNULL)
        session = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
        wait_until("the accessibility bus", lambda: session.name_has_owner("org.a11y.Bus"))
        status = session.get_object("org.a11y.Bus", "/org/a11y/bus")
        status.Set("org.a11y.Status", "IsEnabled", True, dbus_interface=dbus.PROPERTIES_IFACE)
        self.address = status.GetAddress(dbus_interface="org.a11y.Bus")

    def close(self):
        spawned = descendants(self.launcher.pid)  # its bus and what the bus started
        stop_process(self.launcher)
        for pid in filter(alive, spawned):
            os.kill(pid, signal.SIGTERM)
        wait_until("the accessibility bus to end", lambda: not any(map(alive, spawned)))


def retried(read):
    """A read of the tree that meets an object being replaced (a row reloading) tries again."""
    def again(*args):
        for _ in range(10):
            try:
                return read(*args)
            except dbus.DBusException:
                time.sleep(0.1)
        return read(*args)
    return again


class AppView:
    """One application's accessible tree, found by its process id."""

    def __init__(self, accessibility, pid):
        self.bus = dbus.bus.BusConnection(accessibility.address)
        self.root = wait_until("the application on the accessibility bus",
                               lambda: self.find_application(pid), timeout=30)
        self.table = self.status = None

    def find_application(self, pid):
        daemon = self.bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
        try:
            registry = self.obj(("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"))
            for ref in registry.GetChildren(dbus_interface=ACC):
                if daemon.GetConnectionUnixProcessID(
                        ref[0], dbus_interface=dbus.BUS_DAEMON_IFACE) == pid:
                    return ref
        except dbus.DBusException:
            pass  # not there yet
        return None

    def obj(self, ref):
        return self.bus.get_object(ref[0], ref[1], introspect=False)

    def children(self, ref):
        return self.obj(ref).GetChildren(dbus_interface=ACC)

    def role(self, ref):
        return int(self.obj(ref).GetRole(dbus_interface=ACC))

    def name(self, ref):
        return str(self.obj(ref).Get(ACC, "Name", dbus_interface=dbus.PROPERTIES_IFACE))

    def text(self, ref):
        return str(self.obj(ref).GetText(0, -1, dbus_interface=TEXT))

    def find(self, ref, role, name=None):
        """The first of `ref` and what it holds (depth first) with this role (and name)."""
        if self.role(ref) == role and (name is None or self.name(ref) == name):
            return ref
        for child in self.children(ref):
            found = self.find(child, role, name)
            if found:
                return found
        return None

    @retried
    def statuses(self):
        """The Status column, one text a row."""
        if self.table is None:
            found = self.find(self.root, ROLE_TABLE)
            if not found:
                return []  # no window yet
            table = self.obj(found)
            columns = int(table.Get(TABLE, "NColumns", dbus_interface=dbus.PROPERTIES_IFACE))
            self.column = next(c for c in range(columns) if self.name(
                table.GetColumnHeader(c, dbus_interface=TABLE)) == "Status")
            self.table = table
        rows = int(self.table.Get(TABLE, "NRows", dbus_interface=dbus.PROPERTIES_IFACE))
        return [self.name(self.table.GetAccessibleAt(row, self.column, dbus_interface=TABLE))
                for row in range(rows)]

    @retried
    def status_line(self):
        if self.status is None:
            self.status = self.find(self.root, ROLE_TEXT, "Status")
        return self.text(self.status)

    def alerts(self):
        """The alerts on screen: (headline, message, detail) each."""
        out = []
        for ref in self.children(self.root):
            try:
                state = self.obj(ref).GetState(dbus_interface=ACC)
                if self.role(ref) != ROLE_ALERT or not state[0] & (1 << STATE_SHOWING):
                    continue
                labels = [self.name(c) for c in self.children(ref) if self.role(c) == ROLE_LABEL]
                detail = self.find(ref, ROLE_TEXT)
                out.append((self.name(ref), labels[-1] if len(labels) > 1 else "",
                            self.text(detail) if detail else ""))
            except dbus.DBusException:
                pass  # closed while we looked
        return out

    def dismiss_alerts(self):
        """Presses OK on every alert, also on those that were waiting for their turn."""
        pressed = set()

        def none_left():
            alerts = [ref for ref in self.children(self.root) if self.role(ref) == ROLE_ALERT]
            # Once each: a press is a click after 100 ms, and a second press starts them anew.
            for ref in set(alerts) - pressed:
                try:
                    ok = self.find(ref, ROLE_PUSH_BUTTON, "OK")
                    self.obj(ok).DoAction(0, dbus_interface=ACTION)
                except dbus.DBusException:
                    pass  # closing already
                pressed.add(ref)
            return not alerts
        wait_until("the alerts to close", none_left)


class AlertWatch:
    """The most alerts seen on screen at once since the last reset, looked at every 0.2 s on
    a connection of its own."""

    def __init__(self, accessibility, pid):
        self.view = AppView(accessibility, pid)
        self.most, self.seen = 0, set()
        self.running = True
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()

    def watch(self):
        while self.running:
            try:
                alerts = self.view.alerts()
            except dbus.DBusException:
                alerts = []
            self.most = max(self.most, len(alerts))
            self.seen.update(alerts)
            time.sleep(0.2)

    def reset(self):
        self.most, self.seen = 0, set()

    def close(self):
        self.running = False
        self.thread.join()


class RealAppTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.mkdtemp(prefix="real-app.", dir=os.environ.get("QB_TEST_ROOT"))
        cls.addClassCleanup(shutil.rmtree, cls.dir, ignore_errors=True)
        cls.server = TestServer()
        cls.addClassCleanup(cls.server.close)
        cls.echo = EchoServer()
        cls.addClassCleanup(cls.echo.close)
        cls.ports = [free_port() for _ in range(5)]
        # The blocked row's port is held on both loopback addresses that ssh binds for it.
        cls.holders = [socket.create_server(("127.0.0.1", cls.ports[BLOCKED]))]
        try:
            cls.holders.append(socket.create_server(("::1", cls.ports[BLOCKED]),
                                                    family=socket.AF_INET6))
        except OSError:
            pass  # no IPv6 loopback: ssh binds none either
        for holder in cls.holders:
            cls.addClassCleanup(holder.close)
        target = "127.0.0.1:%d" % cls.echo.port
        kinds = ["SOCKS", target, "Reverse Tunnel: " + target, target, target]
        write_data_files([(HOST, str(port), "qbe2e", "", kind)
                          for port, kind in zip(cls.ports, kinds)], "keys", reconnect=True)
        cls.list_file = os.path.join(HOME, ".QuillboreSSH.lst")

        # Nothing of the developer's session: no agent (the application empties the agent at
        # its end), no askpass program, a runtime folder of the test's own.
        cls.env = {k: v for k, v in os.environ.items()
                   if k not in ("SSH_AUTH_SOCK", "SSH_AGENT_PID", "SSH_ASKPASS",
                                "SSH_ASKPASS_REQUIRE")}
        cls.env["XDG_RUNTIME_DIR"] = os.path.join(cls.dir, "runtime")
        os.mkdir(cls.env["XDG_RUNTIME_DIR"], 0o700)
        cls.accessibility = Accessibility(cls.env)
        cls.addClassCleanup(cls.accessibility.close)
        registered = len(calls("RegisterStatusNotifierItem"))
        cls.out = open(os.path.join(cls.dir, "app.out"), "w+")
        cls.addClassCleanup(cls.out.close)
        cls.app = own_process([APP], env=cls.env, stdout=cls.out, stderr=subprocess.STDOUT)
        cls.addClassCleanup(cls.end_app)
        cls.addClassCleanup(cls.report)
        tray = wait_until("the tray icon", lambda: calls("RegisterStatusNotifierItem")[registered:],
                          timeout=30)[0]["sender"]
        session = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
        menu_path = session.get_object(tray, "/StatusNotifierItem").Get(
            "org.kde.StatusNotifierItem", "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
        cls.menu = session.get_object(tray, menu_path)
        cls.view = AppView(cls.accessibility, cls.app.pid)
        cls.alert_watch = AlertWatch(cls.accessibility, cls.app.pid)
        cls.addClassCleanup(cls.alert_watch.close)
        wait_until("the five rows", lambda: len(cls.view.statuses()) == 5)
        for row in RUNNING_ROWS:
            cls.click(row)

    @classmethod
    def report(cls):
        """For a failed run: the statuses, the end of the server's log and of the output."""
        try:
            print("\nstatuses:", cls.view.statuses(), file=sys.stderr)
            print("--- sshd log ---\n" + "\n".join(cls.server("log")[0][-40:]), file=sys.stderr)
        except (AttributeError, AssertionError, dbus.DBusException) as e:
            print("no statuses or log:", e, file=sys.stderr)
        cls.out.seek(0)
        print("--- application output ---\n" + cls.out.read()[-4000:], file=sys.stderr)

    @classmethod
    def end_app(cls):
        children = ssh_children(cls.app.pid)
        stop_process(cls.app)
        wait_until("the ssh children to end with the application",
                   lambda: not any(map(alive, children)), timeout=5)

    @classmethod
    def click(cls, row):
        """A user's Start (or Stop) of one service, from its tray menu entry."""
        listen = " :%d  " % cls.ports[row]  # "server  tunnel :port  status"
        click_menu_entry(cls.menu, next(label for _, label in menu_entries(cls.menu)
                                        if listen in label))

    def carries(self, row):
        """None when bytes go through the row's tunnel right now, else why not."""
        if row == SOCKS:
            return round_trip(self.ports[SOCKS], socks_target=self.echo.port)
        return round_trip(self.ports[row])  # for the reverse one, its port on the server

    def wait_carrying(self, rows, timeout):
        """The rows of `rows` that have not carried bytes within `timeout`, with the reason."""
        waiting, reasons = set(rows), {}
        deadline = time.monotonic() + timeout
        while waiting and time.monotonic() < deadline:
            for row in sorted(waiting):
                reasons[row] = self.carries(row)
                if reasons[row] is None:
                    waiting.discard(row)
            time.sleep(0.5)
        return {row: reasons.get(row) for row in waiting}

    def setUp(self):
        # Every case starts from the four services running and carrying bytes. A tunnel carries
        # bytes before its start's first check: until then a drop is that start failing.
        left = self.wait_carrying(RUNNING_ROWS, 60)
        self.assertEqual(left, {}, "before the case, not carrying bytes (statuses %s)"
                         % self.view.statuses())
        wait_until("the four rows running", lambda: all(
            self.view.statuses()[row] == "Running..." for row in RUNNING_ROWS), timeout=10)
        if self.view.alerts():
            print("left open by the case before:", self.view.alerts(), file=sys.stderr)
            self.view.dismiss_alerts()
        self.alert_watch.reset()

    def check(self, what, ok, detail=""):
        """A check that does not end the case: each one that fails is reported."""
        with self.subTest(what):
            self.assertTrue(ok, detail)

    def test_1_a_second_launch_leaves_the_running_application_alone(self):
        list_before = read(self.list_file)
        starts = SshStarts(self.app.pid)
        second = own_process([APP], env=self.env, stdout=self.out, stderr=subprocess.STDOUT)
        self.addCleanup(stop_process, second)
        its_starts = SshStarts(second.pid)
        try:
            status = second.wait(timeout=10)
        except subprocess.TimeoutExpired:
            status = "still running after 10 s"
        time.sleep(2)  # a start caused by it would show by now
        self.check("the second launch exits 0", status == 0, status)
        apps = apps_on_this_desktop()
        self.check("one application process", apps == [self.app.pid], apps)
        self.check("the list file unchanged", read(self.list_file) == list_before)
        started = (starts.stop(), its_starts.stop())
        self.check("no service started twice", started == (0, 0), "ssh started: %s" % (started,))

    def test_2_a_local_forward_that_cannot_listen_fails_with_the_reason(self):
        self.click(BLOCKED)
        try:
            deadline = time.monotonic() + 20
            while self.view.statuses()[BLOCKED] != "Failed..." and time.monotonic() < deadline:
                time.sleep(0.2)
            time.sleep(2)  # a second alert would show by now
            statuses, alerts = self.view.statuses(), self.view.alerts()
            self.check("the row reads Failed...", statuses[BLOCKED] == "Failed...", statuses)
            self.check("one alert", len(alerts) == 1 and self.alert_watch.most == 1, alerts)
            for headline, message, detail in alerts[:1]:
                self.check("the failure alert", (headline, message) == (
                    "Hey , " + LOGIN, FAILURE_ALERT), (headline, message))
                self.check("ssh's reason in its detail", re.search(
                    "Address already in use|cannot listen", detail), detail)
        finally:
            if self.view.statuses()[BLOCKED] not in ("Failed...", "Idle..."):
                self.click(BLOCKED)  # still running: stopped for the cases after this one
            self.view.dismiss_alerts()

    def test_3_a_dead_peer_is_left_for_a_new_connection(self):
        try:
            _, frozen = self.server("freeze")
            self.assertGreaterEqual(int(frozen), len(RUNNING_ROWS), "sessions frozen")
            left = self.wait_carrying((SOCKS, LOCAL), 75)
            self.check("SOCKS and local back within 75 s of the freeze", not left,
                       "%s (statuses %s)" % (left, self.view.statuses()))
        finally:
            self.server("kill")  # the frozen sessions end: the reverse port is free again
        left = self.wait_carrying((REVERSE,), 40)
        self.check("reverse back within 40 s of the frozen sessions' end", not left,
                   "%s (statuses %s)" % (left, self.view.statuses()))

    def test_4_after_an_outage_every_service_comes_back(self):
        self.server("stop")
        try:
            time.sleep(10)
            starts = SshStarts(self.app.pid)
            time.sleep(10)
            started = starts.stop()
        finally:
            self.server("start")
        left = self.wait_carrying(RUNNING_ROWS, 60)
        statuses = self.view.statuses()
        print("ssh started in the last 10 s of the outage: %d" % started, file=sys.stderr)
        self.check("all back within 60 s of the server's return", not left,
                   "%s (statuses %s)" % (left, statuses))
        self.check("no row stopped", not {"Error...", "Failed..."} & {
                   statuses[row] for row in RUNNING_ROWS} and
                   self.view.status_line() == "%d Tunneling services are running..."
                   % len(RUNNING_ROWS), (statuses, self.view.status_line()))
        self.check("never more than one alert", self.alert_watch.most <= 1,
                   self.alert_watch.seen)
        # Four services retrying with a growing delay start a handful of ssh in 10 s.
        self.check("a handful of ssh started in the last 10 s of the outage",
                   started <= 3 * len(RUNNING_ROWS), started)


def missing():
    for tool in (LAUNCHER, shutil.which("setpriv")):
        if not tool or not os.access(tool, os.X_OK):
            return "%s is missing (at-spi2-core, util-linux)" % (tool or "setpriv")
    return None


if __name__ == "__main__":
    APP, TEST_SSHD = sys.argv.pop(1), sys.argv.pop(1)
    if missing():
        print("SKIPPED: " + missing())
        sys.exit(77)
    result = unittest.main(verbosity=2, exit=False).result
    if result.skipped and result.wasSuccessful():
        print("SKIPPED: %s" % result.skipped[0][1])
        sys.exit(77)
    sys.exit(0 if result.wasSuccessful() else 1)
