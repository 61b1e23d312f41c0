"""What the session tests share: finding programs, waiting for conditions,
stand-in Dart processes and desktop services on the session bus, the base
class that starts and reads one ombrix per test, and the helpers for private
pid namespaces. configure() names the build directory before any test runs.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import pyatspi
from gi.repository import Gio, GLib

BUILD = OMBRIX = OMBRIX_GROWTH = None


def configure(build):
    """The build directory whose programs the tests run."""
    global BUILD, OMBRIX, OMBRIX_GROWTH
    BUILD = os.path.abspath(build)
    OMBRIX = os.path.join(BUILD, "src", "app", "ombrix")
    # The test-only build whose growth rule watches seconds (tests/session.cmake).
    OMBRIX_GROWTH = os.path.join(BUILD, "tests", "growth", "ombrix")


def need(program):
    path = shutil.which(program)
    if path is None:
        raise RuntimeError(f"{program} is missing: run tools/install-deps.sh")
    return path


def wait_for(what, condition, timeout=60.0):
    """Polls until condition() gives a true value, which it returns."""
    deadline = time.monotonic() + timeout
    while True:
        while GLib.MainContext.default().iteration(False):
            pass
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


class Darts:
    """Processes the monitor takes for Dart VMs (argv[0] is "dart")."""

    def __init__(self, count, cwd=None):
        self.procs = [subprocess.Popen(["dart", "600"], executable=need("sleep"), cwd=cwd)
                      for _ in range(count)]

    def pids(self):
        return sorted(p.pid for p in self.procs)

    def end(self):
        for p in self.procs:
            p.kill()
        for p in self.procs:
            p.wait()
        self.procs = []


class StandIn:
    """One object of a desktop service, on the session bus under the service's
    name; subclasses give XML, NAME, PATH and _call (and _get for properties)."""

    def __init__(self):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        info = Gio.DBusNodeInfo.new_for_xml(self.XML).interfaces[0]
        self.registration = self.bus.register_object(self.PATH, info, self._call,
                                                     getattr(self, "_get", None), None)
        self.owner = Gio.bus_own_name_on_connection(self.bus, self.NAME,
                                                    Gio.BusNameOwnerFlags.NONE, None, None)

    def close(self):
        Gio.bus_unown_name(self.owner)
        self.bus.unregister_object(self.registration)


class Tray(StandIn):
    """A StatusNotifier tray on the session bus, as KDE and GNOME's extension
    offer: items register with it and their menus are reached over D-Bus."""

    XML = """<node><interface name="org.kde.StatusNotifierWatcher">
      <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
      <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
      <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
      <property name="ProtocolVersion" type="i" access="read"/>
      <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
      <signal name="StatusNotifierHostRegistered"/>
      <signal name="StatusNotifierHostUnregistered"/>
      </interface></node>"""

    NAME = "org.kde.StatusNotifierWatcher"
    PATH = "/StatusNotifierWatcher"

    def __init__(self, answers=True, host=True):
        self.items = []
        self.answers = answers
        self.host = host
        self.unanswered = []
        super().__init__()

    def _call(self, conn, sender, path, iface, method, params, invocation):
        if method == "RegisterStatusNotifierItem":
            item = params.unpack()[0]
            self.items.append((sender, item if item.startswith("/") else "/StatusNotifierItem"))
            if not self.answers:
                self.unanswered.append(invocation)  # a host that never answers
                return
        invocation.return_value(None)

    def _get(self, conn, sender, path, iface, name):
        return {"IsStatusNotifierHostRegistered": GLib.Variant("b", self.host),
                "ProtocolVersion": GLib.Variant("i", 0),
                "RegisteredStatusNotifierItems": GLib.Variant("as", [])}[name]

    def set_host(self, host):
        """A panel that draws the items starts (True) or ends (False)."""
        self.host = host
        self.bus.emit_signal(None, self.PATH, self.NAME, "StatusNotifierHost" +
                             ("Registered" if host else "Unregistered"), None)

    def activate(self, x, y):
        """A left click on the item at (x, y)."""
        sender, path = self.items[-1]
        self.bus.call_sync(sender, path, "org.kde.StatusNotifierItem", "Activate",
                           GLib.Variant("(ii)", (x, y)), None, Gio.DBusCallFlags.NONE, 5000, None)

    def menu_call(self, method, args):
        """Calls `method` of the registered item's dbusmenu, as a tray does."""
        sender, path = self.items[-1]
        menu = self.bus.call_sync(sender, path, "org.freedesktop.DBus.Properties", "Get",
                                  GLib.Variant("(ss)", ("org.kde.StatusNotifierItem", "Menu")),
                                  None, Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
        return self.bus.call_sync(sender, menu, "com.canonical.dbusmenu", method, args, None,
                                  Gio.DBusCallFlags.NONE, 5000, None).unpack()

    def menu(self):
        """The entries of the item's menu: (id, label) for each, "" for a separator."""
        layout = self.menu_call("GetLayout", GLib.Variant("(iias)", (0, -1, [])))[1]
        return [(child[0], child[1].get("label", "")) for child in layout[2]]

    def click_menu(self, label):
        """Chooses an entry of the registered item's menu, as the tray does."""
        ids = [i for i, text in self.menu() if text == label]
        assert len(ids) == 1, self.menu()
        self.menu_call("Event", GLib.Variant("(isvu)", (ids[0], "clicked", GLib.Variant("i", 0), 0)))


class Notifications(StandIn):
    """Stands in for the desktop's notification service on the session bus."""

    XML = """<node><interface name="org.freedesktop.Notifications">
      <method name="GetCapabilities"><arg type="as" direction="out"/></method>
      <method name="Notify"><arg type="s" direction="in"/><arg type="u" direction="in"/>
        <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="s" direction="in"/>
        <arg type="as" direction="in"/><arg type="a{sv}" direction="in"/>
        <arg type="i" direction="in"/><arg type="u" direction="out"/></method>
      <method name="CloseNotification"><arg type="u" direction="in"/></method>
      <method name="GetServerInformation"><arg type="s" direction="out"/>
        <arg type="s" direction="out"/><arg type="s" direction="out"/>
        <arg type="s" direction="out"/></method>
      <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
      <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
      </interface></node>"""
    NAME = "org.freedesktop.Notifications"
    PATH = "/org/freedesktop/Notifications"

    def __init__(self):
        self.shown = []  # (id, summary, body, actions)
        super().__init__()

    def _call(self, conn, sender, path, iface, method, params, invocation):
        if method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (["actions", "body"],)))
        elif method == "Notify":
            _, _, _, summary, body, actions, _, _ = params.unpack()
            self.shown.append((len(self.shown) + 1, summary, body, actions))
            invocation.return_value(GLib.Variant("(u)", (len(self.shown),)))
        elif method == "GetServerInformation":
            invocation.return_value(GLib.Variant("(ssss)", ("stand-in", "ombrix", "1", "1.2")))
        else:
            invocation.return_value(None)

    def choose(self, notification, action):
        """The user picks an action of a notification, as the desktop reports it."""
        self.bus.emit_signal(None, self.PATH, self.NAME, "ActionInvoked",
                             GLib.Variant("(us)", (notification, action)))


class Session(unittest.TestCase):
    """One display server per test class; one ombrix per test."""

    display_env = {}

    @classmethod
    def setUpClass(cls):
        cls.home = tempfile.mkdtemp(prefix="ombrix-session-")
        runtime = os.path.join(cls.home, "runtime")
        os.mkdir(runtime, 0o700)
        cls.base_env = dict(os.environ)
        for key in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            cls.base_env.pop(key, None)
        cls.base_env.update({
            "XDG_CONFIG_HOME": os.path.join(cls.home, "config"),
            "XDG_RUNTIME_DIR": runtime,
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        })
        cls.servers = []

    @classmethod
    def tearDownClass(cls):
        for server in reversed(cls.servers):
            server.terminate()
            try:
                server.wait(5)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
        shutil.rmtree(cls.home, ignore_errors=True)

    def setUp(self):
        self.darts = []
        self.app = None

    def tearDown(self):
        for d in self.darts:
            d.end()
        if self.app is not None and self.app.poll() is None:
            self.app.kill()
            self.app.wait()

    def env(self):
        env = dict(self.base_env)
        env.update(self.display_env)
        return env

    def start(self, *darts_count, cwd=None, wrap=lambda argv: argv, program=None):
        for count in darts_count:
            self.darts.append(Darts(count, cwd))
        self.app = subprocess.Popen(wrap([program or OMBRIX]), env=self.env(), stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE)
        return self.app

    # --- reading the accessibility tree ---------------------------------------
    def accessible_app(self):
        def find():
            self.assertIsNone(self.app.poll(), "ombrix ended")
            for a in pyatspi.Registry.getDesktop(0):
                if a is not None and a.get_process_id() == self.app.pid:
                    return a
            return None
        return wait_for("ombrix on the accessibility bus", find)

    @staticmethod
    def nodes(root, role=None):
        """Every node under root (depth first), or those with the given role name."""
        found = []

        def walk(node):
            try:
                if node is None:
                    return
                if role is None or node.getRoleName() == role:
                    found.append(node)
                for child in node:
                    walk(child)
            except GLib.GError:
                pass  # left the tree while being read, as rows do
        walk(root)
        return found

    def terminate_buttons(self, root):
        return [n for n in self.nodes(root, "push button") if n.name == "Quit process (SIGTERM)"]

    def shown(self, root, pids):
        """The nodes that show these pids (other Dart processes may run beside ours)."""
        wanted = {str(p) for p in pids}
        return [n for n in self.nodes(root) if n.name in wanted]

    def all_darts(self):
        return [p for d in self.darts for p in d.pids()]

    def press(self, node, action):
        actions = node.queryAction()
        names = [actions.getName(i) for i in range(actions.nActions)]
        self.assertIn(action, names, f"{node.getRoleName()} {node.name!r}")
        actions.doAction(names.index(action))

    def quit_from_menu(self, root):
        quit_item = [n for n in self.nodes(root, "menu item") if n.name == "Quit"]
        self.assertEqual(len(quit_item), 1)
        self.press(quit_item[0], "Press")

    def finish(self, app):
        """Quits through the menu; returns (seconds to exit, status, stderr)."""
        root = self.accessible_app()
        started = time.monotonic()
        try:
            self.quit_from_menu(root)
        except GLib.GError:
            pass  # it may end before its answer to the press goes out
        status = app.wait(10)
        took = time.monotonic() - started
        return took, status, app.stderr.read().decode()


def start_xvfb(cls):
    read, write = os.pipe()
    xvfb = subprocess.Popen([need("Xvfb"), "-displayfd", str(write), "-screen", "0",
                             "1280x800x24", "-nolisten", "tcp"], pass_fds=[write],
                            stderr=subprocess.DEVNULL)
    cls.servers.append(xvfb)
    os.close(write)
    with os.fdopen(read) as r:
        number = r.readline().strip()
    if not number:
        raise RuntimeError("Xvfb did not start")
    cls.display_env = {"DISPLAY": ":" + number, "QT_QPA_PLATFORM": "xcb"}


def children(parent, name):
    """Pids of the processes whose parent is `parent` and whose name is `name`."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except (OSError, ValueError):
            continue
        comm = stat[stat.index("(") + 1:stat.rindex(")")]
        if comm == name and int(stat[stat.rindex(")") + 2:].split()[1]) == parent:
            found.append(int(entry))
    return sorted(found)


def running(pid):
    """Whether pid is a live process (not gone, not a zombie waiting for pid 1)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            stat = f.read()
    except OSError:
        return False
    return stat[stat.rindex(")") + 2] != "Z"


def ide_that_ends(home):
    """An IDE window (a shell named code) with two Dart children, the second
    deaf to SIGTERM; the caller kills the window once ombrix lists both."""
    ide = os.path.join(home, "share", "code", "code")
    dart = os.path.join(home, "bin", "dart")
    for path, source in ((ide, "sh"), (dart, "sleep")):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copy(need(source), path)
    window = subprocess.Popen([ide, "-c", f'"{dart}" 600 & trap "" TERM; "{dart}" 600 & wait'],
                              cwd="/")
    darts = wait_for("the window's Dart children",
                     lambda: len(found := children(window.pid, "dart")) == 2 and found)
    return window, darts


def in_reaper():
    with open("/proc/1/cmdline", "rb") as f:
        return b"--reaper" in f.read()
