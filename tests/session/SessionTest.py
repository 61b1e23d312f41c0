"""The real ombrix in a real desktop session: an X server (Xvfb) or a Wayland
compositor (weston, headless), a D-Bus session and the accessibility bus, read
through AT-SPI as a screen reader reads it. Runs under dbus-run-session with
Debian's python3 (pyatspi); every server it needs it starts and stops itself.

usage: SessionTest.py [--reaper] <build dir> [unittest names...]

The suites of Ubuntu's tray (Gnome), Xfce's panel (Xfce) and of a growing
process (Growth) live in gnome_suite.py, xfce_suite.py and growth_suite.py;
what all of them share in
session_support.py.

With --reaper the script is pid 1 of a private pid namespace: it runs the
suite under its own session bus and reaps whatever the namespace leaves to it.
"""

import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

if __name__ == "__main__" and len(sys.argv) > 1 and sys.argv[1] == "--reaper":
    suite = os.fork()
    if suite == 0:
        os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable, "-B",
                                       os.path.abspath(__file__)] + sys.argv[2:])
    code = 1
    while True:  # the suite's own children, and every process adopted by pid 1
        try:
            pid, status = os.wait()
        except ChildProcessError:
            break
        if pid == suite:
            code = os.waitstatus_to_exitcode(status)
            break
    sys.exit(code)

import pyatspi
from gi.repository import Gio, GLib

import session_support

session_support.configure(sys.argv.pop(1))
from session_support import *
from gnome_suite import Gnome
from growth_suite import Growth
from xfce_suite import Xfce, XfceWithoutWindowManager


class SilentDaemon:
    """A tooling daemon that takes the connection and never answers."""

    def __init__(self):
        self.server = socket.create_server(("127.0.0.1", 0))
        self.connected = threading.Event()
        self.held = []
        threading.Thread(target=self._accept, daemon=True).start()

    def url(self):
        return f"ws://127.0.0.1:{self.server.getsockname()[1]}/secret"

    def _accept(self):
        while True:
            conn, _ = self.server.accept()
            self.held.append(conn)
            self.connected.set()


class BlackHoleNameServer:
    """A name server that takes every question and never answers, named in a
    resolv.conf that only the program started through wrap() sees."""

    HOST = "dtd.black-hole.test"

    def __init__(self, root):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.83.0.1", 53))
        self.sock.setblocking(False)
        self.conf = os.path.join(root, "resolv.conf")
        with open(self.conf, "w") as f:
            f.write("nameserver 127.83.0.1\n")

    def url(self):
        return f"ws://{self.HOST}:8181/secret"

    def asked(self):
        try:
            return self.sock.recv(512)
        except BlockingIOError:
            return None

    def wrap(self, argv):
        # Its own mount namespace; exec keeps the pid.
        return [need("unshare"), "--mount", "sh", "-c",
                'mount --bind "$0" /etc/resolv.conf && exec "$@"', self.conf] + argv

    def close(self):
        self.sock.close()


def ide_with_dart(root, daemon):
    """An IDE window (a shell named code) with one Dart child pointing at daemon."""
    ide = os.path.join(root, "share", "code", "code")
    os.makedirs(os.path.dirname(ide), exist_ok=True)
    shutil.copy(need("sh"), ide)
    dart = os.path.join(root, "bin", "dart")
    os.makedirs(os.path.dirname(dart), exist_ok=True)
    shutil.copy(need("sh"), dart)
    script = f'"{dart}" -c "sleep 600; :" dart --dtd-uri={daemon.url()} & wait'
    return subprocess.Popen([ide, "-c", script], cwd="/", start_new_session=True)


class FileManager(StandIn):
    """Stands in for the desktop's file manager on the session bus."""

    XML = """<node><interface name="org.freedesktop.FileManager1">
      <method name="ShowItems"><arg type="as" direction="in"/><arg type="s" direction="in"/>
      </method></interface></node>"""

    NAME = "org.freedesktop.FileManager1"
    PATH = "/org/freedesktop/FileManager1"

    def __init__(self):
        self.shown = []
        super().__init__()

    def _call(self, conn, sender, path, iface, method, params, invocation):
        self.shown.extend(params.unpack()[0])
        invocation.return_value(None)


class NoDisplay(unittest.TestCase):
    def test_one_clear_line_and_status_1(self):
        base = {k: v for k, v in os.environ.items()
                if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        with tempfile.TemporaryDirectory() as runtime:
            os.chmod(runtime, 0o700)
            cases = {
                "no display at all": {},
                "a display nobody serves": {"DISPLAY": ":7071"},
                "a wayland socket nobody serves": {"WAYLAND_DISPLAY": "nobody",
                                                   "QT_QPA_PLATFORM": "wayland",
                                                   "XDG_RUNTIME_DIR": runtime},
            }
            for name, extra in cases.items():
                with self.subTest(name):
                    run = subprocess.run([OMBRIX], env={**base, **extra}, capture_output=True,
                                         text=True, timeout=30)
                    self.assertEqual(run.returncode, 1, run.stderr)
                    lines = run.stderr.splitlines()
                    self.assertEqual(len(lines), 1, run.stderr)
                    self.assertIn("no display", lines[0])
                    self.assertIn("--dump", lines[0])


class X11(Session):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        start_xvfb(cls)

    def test_quiet_run_and_prompt_quit(self):
        daemon = SilentDaemon()
        ide = ide_with_dart(self.home, daemon)
        try:
            app = self.start(3)
            root = self.accessible_app()
            wait_for("our rows", lambda: len(self.shown(root, self.all_darts())) == 3)
            wait_for("a daemon query in flight", daemon.connected.is_set)
            took, status, err = self.finish(app)
        finally:
            os.killpg(ide.pid, signal.SIGKILL)  # the IDE and its Dart child
            ide.wait()
        self.assertEqual(status, 0)
        self.assertEqual(err, "", "a normal run prints nothing")
        print(f"quit took {took:.3f} s", file=sys.stderr)
        self.assertLess(took, 0.5)

    @unittest.skipUnless(os.geteuid() == 0, "needs root for a private mount namespace")
    def test_quit_with_a_host_lookup_in_flight(self):
        names = BlackHoleNameServer(self.home)
        ide = ide_with_dart(self.home, names)
        try:
            app = self.start(3, wrap=names.wrap)
            root = self.accessible_app()
            wait_for("our rows", lambda: len(self.shown(root, self.all_darts())) == 3)
            wait_for("the daemon's host name asked for", names.asked)
            took, status, err = self.finish(app)
        finally:
            os.killpg(ide.pid, signal.SIGKILL)
            ide.wait()
            names.close()
        self.assertEqual(status, 0)
        self.assertEqual(err, "")
        print(f"quit with a lookup in flight took {took:.3f} s", file=sys.stderr)
        self.assertLess(took, 0.5)

    def test_quit_from_the_tray_ends_the_process_at_once(self):
        tray = Tray(answers=False)
        daemon = SilentDaemon()
        ide = ide_with_dart(self.home, daemon)
        try:
            app = self.start(3)
            wait_for("the tray item", lambda: tray.items)
            wait_for("a daemon query in flight", daemon.connected.is_set)
            started = time.monotonic()
            tray.click_menu("Quit")
            status = app.wait(10)
            took = time.monotonic() - started
        finally:
            tray.close()
            os.killpg(ide.pid, signal.SIGKILL)  # the IDE and its Dart child
            ide.wait()
        print(f"tray quit took {took:.3f} s", file=sys.stderr)
        self.assertEqual(status, 0)
        self.assertEqual(app.stderr.read().decode(), "")
        self.assertLess(took, 0.5)

    def windows_shown(self):  # from X: Qt may join the accessibility bus only once one shows
        found = [need("xdotool"), "search", "--onlyvisible", "--pid", str(self.app.pid)]
        return subprocess.run(found, env=self.env(), capture_output=True, text=True).stdout.split()

    def test_stays_in_reach_while_the_panel_goes_and_comes_back(self):
        # Xvfb has no XEmbed tray: without a host the window is the way in.
        tray = Tray()
        try:
            app = self.start()
            wait_for("the item", lambda: tray.items)
            self.assertEqual(self.windows_shown(), [], "it lives in the tray")
            tray.set_host(False)  # the panel ended; its watcher stays
            wait_for("the window once no panel draws the item", self.windows_shown)
            tray.close()  # the extension disabled, then enabled
            tray = Tray()
            wait_for("the item back with the new watcher", lambda: tray.items)
            self.assertIn("Open Window", [text for _, text in tray.menu()])
        finally:
            tray.close()
        self.assertEqual(self.finish(app)[1:], (0, ""))

    def test_a_second_launch_raises_the_first_and_ends(self):
        tray = Tray()
        try:
            self.start()
            wait_for("the item", lambda: tray.items)
            self.assertEqual(self.windows_shown(), [])
            again = subprocess.run([OMBRIX], env=self.env(), capture_output=True, text=True,
                                   timeout=30)
            self.assertEqual((again.returncode, again.stderr), (0, ""))
            wait_for("the first window raised", self.windows_shown)
            self.assertEqual(len(tray.items), 1, "one icon")
        finally:
            tray.close()

    def test_a_screen_reader_sees_labels_a_list_and_a_link(self):
        # Not under the build tree, which may be under /tmp or /var: paths there
        # count as tooling, never as projects. The other end-to-end tests use it too.
        home = os.environ.get("HOME", "")
        if not home.startswith("/"):
            self.skipTest("no home directory to build the project in")
        tree = os.path.join(home, ".cache", "ombrix-tests", f"session-{os.getpid()}")
        self.addCleanup(shutil.rmtree, tree, ignore_errors=True)
        project = os.path.join(tree, "weather_app")
        os.makedirs(project, exist_ok=True)
        open(os.path.join(project, "pubspec.yaml"), "w").close()
        files = FileManager()
        self.start(3, cwd=project)
        root = self.accessible_app()
        pids = self.all_darts()
        wait_for("our rows", lambda: len(self.shown(root, pids)) == 3)
        labels = {n.name for n in self.nodes(root, "label")}
        for text in ("Dart Processes", "Total CPU", "PID", "dart"):
            self.assertIn(text, labels)
        self.assertTrue(any(n.startswith("Memory pressure ") and n.endswith(" percent")
                            for n in {n.name for n in self.nodes(root)}))
        rows = [pid.parent for pid in self.shown(root, pids)]
        for pid, row in zip(self.shown(root, pids), rows):
            self.assertEqual(pid.getRoleName(), "label")
            self.assertEqual(row.getRoleName(), "list item")
            self.assertEqual(row.parent.getRoleName(), "list")
            self.assertEqual(len(self.terminate_buttons(row)), 1)
            self.assertIn("percent", " ".join(n.name for n in self.nodes(row)))

        links = self.nodes(rows[0], "link")
        self.assertEqual(len(links), 1)
        self.assertTrue(links[0].name.startswith("weather_app"))
        self.assertTrue(links[0].getState().contains(pyatspi.STATE_FOCUSABLE))
        self.press(links[0], "Press")
        wait_for("the project shown in the file manager", lambda: files.shown)
        self.assertEqual(files.shown, ["file://" + project])

    def test_keyboard_alone_reaches_a_details_window_and_back(self):
        xdotool = need("xdotool")
        self.start(2, cwd="/")  # no project: a row's next stop is its button
        root = self.accessible_app()
        wait_for("our rows", lambda: len(self.shown(root, self.all_darts())) == 2)
        def key(name):
            subprocess.run([xdotool, "key", name], env=self.env(), check=True)
        def focused(role):
            return [n for n in self.nodes(self.accessible_app(), role)
                    if n.getState().contains(pyatspi.STATE_FOCUSED)]
        def after(name, role="list item"):
            key(name)
            return wait_for(f"the focus after {name}", lambda: focused(role), 10)[0]
        def top(node):
            return node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).y
        wait_for("a row reached with Tab", lambda: key("Tab") or focused("list item"))
        first = after("Home")
        tops = sorted(top(n) for n in self.nodes(first.parent, "list item"))
        self.assertEqual(top(first), tops[0])
        self.assertEqual(top(after("Down")), tops[1])
        self.assertEqual(top(after("End")), tops[-1])
        self.assertEqual(after("Home").name, first.name)
        self.assertEqual(after("Up").name, first.name)  # stays at the top
        key("Return")
        wait_for("the details window, active", lambda: [
            w for w in self.accessible_app() if w.name == first.name
            and w.getState().contains(pyatspi.STATE_ACTIVE)])
        self.assertEqual(after("Escape").name, first.name)
        button = after("Tab", "push button")  # Tab still reaches the row's button
        self.assertEqual((button.name, button.parent.name),
                         ("Quit process (SIGTERM)", first.name))

    def test_rows_leave_the_tree_cleanly_while_it_is_read(self):
        app = self.start()
        root = self.accessible_app()
        for _ in range(3):
            darts = Darts(25)
            self.darts.append(darts)
            wait_for("25 rows", lambda: len(self.shown(root, darts.pids())) == 25)
            bars = wait_for("the scroll bar 25 rows need", lambda: [
                b for b in self.nodes(root, "scroll bar")
                if b.getState().contains(pyatspi.STATE_SHOWING)])
            for bar in bars:
                value = bar.queryValue()
                value.currentValue = value.maximumValue
                self.nodes(root)
                value.currentValue = value.minimumValue
            # A screen reader follows the focus; Tab has brought it to a row.
            self.terminate_buttons(self.shown(root, darts.pids())[-1].parent)[0] \
                .queryComponent().grabFocus()
            pids = darts.pids()
            darts.end()

            def gone():
                self.assertIsNone(app.poll(), "ombrix died")
                return not self.shown(root, pids)
            wait_for("no rows", gone)
        self.assertIsNone(app.poll())


class Wayland(Session):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        runtime = cls.base_env["XDG_RUNTIME_DIR"]
        name = f"ombrix-test-{os.getpid()}"
        weston = subprocess.Popen([need("weston"), "--backend=headless-backend.so",
                                   f"--socket={name}", "--width=1280", "--height=800",
                                   "--idle-time=0"],
                                  env=cls.base_env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        cls.servers.append(weston)
        wait_for("weston's socket", lambda: os.path.exists(os.path.join(runtime, name)))
        cls.display_env = {"WAYLAND_DISPLAY": name, "QT_QPA_PLATFORM": "wayland"}

    def test_window_opens_with_its_rows_and_quits(self):
        app = self.start(3)
        root = self.accessible_app()
        wait_for("our rows", lambda: len(self.shown(root, self.all_darts())) == 3)
        for pid in self.shown(root, self.all_darts()):
            self.assertEqual(pid.parent.getRoleName(), "list item")
        # A tray that comes later gets the item, and the window stays.
        tray = Tray()
        try:
            wait_for("the item registered with the new tray", lambda: tray.items)
            self.assertIn("Open Window", [text for _, text in tray.menu()])
        finally:
            tray.close()
        took, status, err = self.finish(app)
        self.assertEqual(status, 0, err)
        self.assertEqual(err, "")

    def test_dump_is_unaffected(self):
        darts = Darts(2)
        self.darts.append(darts)
        run = subprocess.run([OMBRIX, "--dump"], env=self.env(), capture_output=True, text=True,
                             timeout=30)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stderr, "")
        listed = {int(line.split("\t")[0]) for line in run.stdout.splitlines()}
        self.assertTrue(set(darts.pids()) <= listed, run.stdout)

    def test_panel_opens_whole_on_screen(self):
        tray = Tray()
        try:
            app = self.start(3)
            wait_for("the tray item", lambda: tray.items)
            tray.activate(1270, 790)
            root = self.accessible_app()
            # Where it lands is the compositor's choice; it shows whole, at its size.
            panel = wait_for("the panel", lambda: [
                w for w in root if w.getState().contains(pyatspi.STATE_SHOWING)])
            self.assertEqual(len(panel), 1)
            extents = panel[0].queryComponent().getExtents(pyatspi.WINDOW_COORDS)
            self.assertEqual((extents.width, extents.height), (540, 470))
            wait_for("our rows", lambda: len(self.shown(panel[0], self.all_darts())) == 3)

            # A right click reads the same processes from the menu.
            # Other tests' Dart processes may be listed too.
            labels = [text for _, text in tray.menu()]
            listed = sum(text.startswith("Dart 600 \u00b7 ") for text in labels)
            self.assertGreaterEqual(listed, 3, labels)
            self.assertEqual(labels[-4:], ["Open Window", "Check for Updates\u2026", "", "Quit"])
            # A host that errs or floods gets errors or answers, and the sampling goes on.
            hostile = {"an unknown id": ("GetLayout", GLib.Variant("(iias)", (987654, -1, []))),
                       "wrong types": ("Event", GLib.Variant("(ssvu)", ("1", "clicked",
                                                                        GLib.Variant("i", 0), 0))),
                       "no such entry": ("GetProperty", GLib.Variant("(is)", (987654, "label")))}
            for name, (method, args) in hostile.items():
                with self.subTest(name), self.assertRaises(GLib.Error):
                    tray.menu_call(method, args)
            for _ in range(500):
                tray.menu()
            self.darts.append(Darts(1))
            wait_for("the menu to follow the next sample", lambda: sum(
                text.startswith("Dart 600 \u00b7 ") for _, text in tray.menu()) == listed + 1)
            self.assertIsNone(app.poll())
        finally:
            tray.close()


class Leftovers(Session):
    """Processes left behind by an IDE that ended, in a private pid namespace
    whose pid 1 (this script, --reaper) adopts them, as the user's session
    manager would."""

    @classmethod
    def setUpClass(cls):
        if not in_reaper():
            raise RuntimeError("run under SessionTest.py --reaper in its own pid namespace")
        super().setUpClass()
        start_xvfb(cls)

    def setUp(self):
        super().setUp()
        self.notices = Notifications()
        self.stray = []

    def tearDown(self):
        for pid in self.stray:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.notices.close()
        super().tearDown()

    def ide_that_ends(self):
        window, darts = ide_that_ends(self.home)
        self.stray.extend(darts)
        return window, darts

    def leftover_markers(self, root):
        return [n for n in self.nodes(root, "label")
                if n.name == "Leftover" and n.getState().contains(pyatspi.STATE_VISIBLE)]

    def button(self, root, name):
        found = [n for n in self.nodes(root, "push button") if n.name == name]
        self.assertEqual(len(found), 1, name)
        return found[0]

    def end_from_the_dialog(self, root):
        self.press(self.button(root, "End Leftovers\u2026"), "Press")
        dialog = wait_for("the End Leftovers dialog", lambda: [
            w for w in self.accessible_app() if w.name == "End Leftovers"])[0]
        self.press(self.button(dialog, "End Processes"), "Press")

    def test_leftovers_are_marked_told_and_ended(self):
        self.start()
        root = self.accessible_app()
        window, (obeys, deaf) = self.ide_that_ends()
        wait_for("both rows", lambda: len(self.shown(root, [obeys, deaf])) == 2)
        self.assertEqual(self.leftover_markers(root), [])
        window.kill()
        window.wait()

        markers = wait_for("two leftover markers",
                           lambda: len(found := self.leftover_markers(root)) == 2 and found)
        for marker in markers:
            self.assertEqual(marker.description, "Its parent has ended; nothing will stop it.")
        self.assertTrue(any(n.name.startswith("2 leftovers \u00b7 ")
                            for n in self.nodes(root, "label")))

        # One notice now, for the first; the second waits out the spacing.
        wait_for("a notification", lambda: self.notices.shown)
        time.sleep(2.5)  # a further notice would have come with the next sample
        self.assertEqual(len(self.notices.shown), 1, self.notices.shown)
        notice, summary, body, actions = self.notices.shown[0]
        self.assertTrue(summary.endswith(" was left running"), summary)
        told = int(body.split()[1]) if body.startswith("pid ") else None
        self.assertIn(told, (obeys, deaf), body)
        self.assertTrue(body.startswith(f"pid {told} \u00b7 "), body)
        self.assertEqual(actions, ["end", "End"])

        def ended(pid, since):
            if pid == deaf:  # it ignores SIGTERM: only the SIGKILL after the grace ends it
                time.sleep(2)
                self.assertTrue(running(deaf))
                wait_for("SIGKILL after the grace", lambda: not running(deaf), timeout=10)
                self.assertGreater(time.monotonic() - since, 4.5)
            else:
                wait_for("the leftover ended", lambda: not running(pid), timeout=10)

        self.notices.choose(notice, "end")
        ended(told, time.monotonic())
        self.assertTrue(running(obeys if told == deaf else deaf), "End ends that one alone")
        wait_for("one leftover left", lambda: len(self.leftover_markers(root)) == 1)

        self.end_from_the_dialog(root)
        ended(obeys if told == deaf else deaf, time.monotonic())
        wait_for("no leftovers shown", lambda: not self.leftover_markers(root))

    def test_a_pid_reused_during_the_grace_gets_nothing(self):
        self.start()
        root = self.accessible_app()
        window, (obeys, deaf) = self.ide_that_ends()
        wait_for("both rows", lambda: len(self.shown(root, [obeys, deaf])) == 2)
        window.kill()
        window.wait()
        wait_for("two leftover markers", lambda: len(self.leftover_markers(root)) == 2)
        os.kill(obeys, signal.SIGKILL)
        wait_for("one leftover", lambda: len(self.leftover_markers(root)) == 1)

        self.end_from_the_dialog(root)
        # The deaf one ends by itself within the grace, and its pid goes to a newcomer.
        os.kill(deaf, signal.SIGKILL)
        wait_for("the old process reaped", lambda: not os.path.exists(f"/proc/{deaf}"))
        newcomer = None
        for _ in range(20):
            with open("/proc/sys/kernel/ns_last_pid", "w") as f:
                f.write(str(deaf - 1))
            newcomer = subprocess.Popen(["sleep", "600"], preexec_fn=lambda: signal.signal(
                signal.SIGTERM, signal.SIG_IGN))
            if newcomer.pid == deaf:
                break
            newcomer.kill()
            newcomer.wait()
        self.assertEqual(newcomer.pid, deaf, "could not hand the pid to another process")
        self.stray.append(newcomer.pid)
        time.sleep(7)  # past the grace, when SIGKILL would have gone out
        self.assertIsNone(newcomer.poll(), "the signal reached the process that took the pid")
        newcomer.kill()
        newcomer.wait()

    def test_an_editor_and_two_agents_on_one_project(self):
        home = os.environ.get("HOME", "")
        if not home.startswith("/"):
            self.skipTest("no home directory to build the project in")
        tree = os.path.join(home, ".cache", "ombrix-tests", f"agents-{os.getpid()}")
        self.addCleanup(shutil.rmtree, tree, ignore_errors=True)
        project = os.path.join(tree, "weather_app")
        os.makedirs(project, exist_ok=True)
        open(os.path.join(project, "pubspec.yaml"), "w").close()
        # A Dart VM stand-in: "dart <script> mcp-server" starts an analyzer of
        # its own, deaf to SIGTERM, as an agent's MCP server does.
        tool = os.path.join(self.home, "tool.py")
        with open(tool, "w") as f:
            f.write("import signal, subprocess, sys, time\n"
                    "if sys.argv[1] == 'mcp-server':\n"
                    f"    subprocess.Popen(['dart', __file__, 'language-server', 'deaf'], executable={sys.executable!r})\n"
                    "if sys.argv[-1] == 'deaf':\n"
                    "    signal.signal(signal.SIGTERM, signal.SIG_IGN)\n"
                    "time.sleep(600)\n")
        starters = {}
        for name in ("code", "claude"):
            starters[name] = os.path.join(self.home, "bin", name)
            os.makedirs(os.path.dirname(starters[name]), exist_ok=True)
            shutil.copy(need("bash"), starters[name])
        python = sys.executable

        def run(starter, command):
            proc = subprocess.Popen([starters[starter], "-c",
                                     f'exec -a dart "{python}" "{tool}" {command} & wait'],
                                    cwd=project)
            self.stray.append(proc.pid)
            return proc
        editor = run("code", "language-server")
        agents = [run("claude", "mcp-server") for _ in range(2)]
        self.start()
        root = self.accessible_app()

        def names():
            return {int(pid.name): pid.parent for pid in self.nodes(root, "label")
                    if pid.name.isdigit() and running(int(pid.name))}
        def row_name(row):
            return [n.name for n in self.nodes(row, "label") if n.name.startswith(("Analyzer", "MCP"))]
        rows = wait_for("five rows", lambda: len(found := {
            pid: row_name(row)[0] for pid, row in names().items() if row_name(row)}) == 5 and found)
        self.assertEqual(sorted(rows.values()), ["Analyzer (Claude Code)"] * 2 + ["Analyzer (VS Code)"]
                         + ["MCP Server (Claude Code)"] * 2)
        self.stray.extend(rows)
        ide_analyzer = [pid for pid, name in rows.items() if name == "Analyzer (VS Code)"][0]
        servers = [pid for pid, name in rows.items() if name.startswith("MCP")]
        deaf = [pid for pid, name in rows.items() if name == "Analyzer (Claude Code)"]

        def marks(pid, text):
            row = self.shown(root, [pid])[0].parent
            return [m for m in self.nodes(row, "label")
                    if m.name == text and m.getState().contains(pyatspi.STATE_VISIBLE)]

        def marked(text):
            return sorted(pid for pid in rows if running(pid) and marks(pid, text))
        wait_for("two duplicates", lambda: marked("Duplicate") == sorted(deaf))
        tips = {m.description for pid in deaf for m in marks(pid, "Duplicate")}
        self.assertEqual(tips, {f"Also analyzed by Analyzer (VS Code) ({ide_analyzer})"})
        self.assertTrue(any(n.name.startswith("3 analyzers on weather_app \u00b7 ")
                            for n in self.nodes(root, "label")))

        for agent in agents:
            agent.kill()
            agent.wait()
        wait_for("two families of leftovers", lambda: marked("Leftover") == sorted(servers + deaf))
        self.assertTrue(any(n.name.startswith("4 leftovers \u00b7 ") for n in self.nodes(root, "label")))
        notice = wait_for("a notification", lambda: self.notices.shown)[0]
        self.assertEqual(notice[1], "MCP Server (Claude Code) was left running")
        self.assertIn("(with 1 more)", notice[2])

        self.press(self.button(root, "End Leftovers\u2026"), "Press")
        dialog = wait_for("the End Leftovers dialog", lambda: [
            w for w in self.accessible_app() if w.name == "End Leftovers"])[0]
        listed = {n.name for n in self.nodes(dialog)}
        self.assertTrue({str(pid) for pid in servers + deaf} <= listed, listed)
        self.assertNotIn(str(ide_analyzer), listed)
        self.press(self.button(dialog, "End Processes"), "Press")
        since = time.monotonic()
        wait_for("the servers ended at once", lambda: not any(map(running, servers)), timeout=4)
        wait_for("both deaf analyzers killed", lambda: not any(map(running, deaf)), timeout=15)
        self.assertGreater(time.monotonic() - since, 4.5)
        self.assertLess(time.monotonic() - since, 9, "one grace for all of them")
        self.assertTrue(running(editor.pid) and running(ide_analyzer), "nothing else is touched")

    def test_a_process_deaf_to_sigterm_can_be_force_quit(self):
        self.start()
        root = self.accessible_app()
        deaf = subprocess.Popen(["dart", "600"], executable=need("sleep"),
                                preexec_fn=lambda: signal.signal(signal.SIGTERM, signal.SIG_IGN))
        self.stray.append(deaf.pid)
        row = wait_for("its row", lambda: self.shown(root, [deaf.pid]))[0].parent
        self.press(self.terminate_buttons(row)[0], "Press")
        force = wait_for("the force quit button", lambda: [
            n for n in self.nodes(row, "push button")
            if n.name == "Force quit process (SIGKILL)"
            and n.getState().contains(pyatspi.STATE_SHOWING)], timeout=15)[0]
        self.assertEqual(force.description, "It did not stop after SIGTERM")
        self.assertIsNone(deaf.poll())
        self.press(force, "Press")
        self.assertEqual(deaf.wait(10), -signal.SIGKILL)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[1:], verbosity=2, warnings="ignore")
