"""Xfce's tray in a session test: the real xfce4-panel with its Status Tray
(which is the StatusNotifierWatcher), headless on Xvfb, with and without
xfwm4. The panel is read through xdotool (its windows, clicks, keys) and
its own error output; what it draws in its tooltips and menus stays inside
GTK."""

import re

from session_support import *

CHANNEL = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/><value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
"""

GEOMETRY = re.compile(r"Position: (-?\d+),(-?\d+).*Geometry: (\d+)x(\d+)", re.S)
BAD_MARKUP = "from markup due to error parsing markup"
PLUGIN = "wrapper-2.0"  # the Status Tray runs apart from the panel, and so do its tooltips and menus


class Busy:
    """Both cores kept busy, as a build would."""

    def __enter__(self):
        self.loops = [subprocess.Popen(["sh", "-c", "while :; do :; done"]) for _ in range(2)]
        return self

    def __exit__(self, *_):
        for loop in self.loops:
            loop.kill()
            loop.wait()


class XfcePanel(Session):
    """One top panel, 30 pixels high, with the Status Tray at its right end."""

    window_manager = True

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        try:
            cls.start_desktop()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def start_desktop(cls):
        start_xvfb(cls)
        channel = os.path.join(cls.base_env["XDG_CONFIG_HOME"], "xfce4", "xfconf",
                               "xfce-perchannel-xml")
        os.makedirs(channel)
        with open(os.path.join(channel, "xfce4-panel.xml"), "w") as f:
            f.write(CHANNEL)
        env = dict(cls.base_env, **cls.display_env)
        xfconfd = "/usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd"
        if not os.path.exists(xfconfd):
            raise RuntimeError("xfconfd is missing: run tools/install-deps.sh")
        cls.servers.append(subprocess.Popen([xfconfd], env=env))
        # Before anyone asks for it: the bus would start one that reads the real settings.
        cls.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        wait_for("xfconfd on the bus", lambda: cls.bus.call_sync(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", GLib.Variant("(s)", ("org.xfce.Xfconf",)), None,
            Gio.DBusCallFlags.NONE, 5000, None).unpack()[0])
        if cls.window_manager:
            cls.servers.append(subprocess.Popen([need("xfwm4"), "--compositor=off"], env=env,
                                                stderr=subprocess.DEVNULL))
        cls.panel_log = os.path.join(cls.home, "panel.log")
        with open(cls.panel_log, "w") as log:
            cls.servers.append(subprocess.Popen([need("xfce4-panel"), "--sm-client-disable"],
                                                env=env, stdout=subprocess.DEVNULL, stderr=log))
        cls.bar = wait_for("the panel bar",
                           lambda: cls.windows("xfce4-panel", lambda g: g[2] > 600))[0]

    @classmethod
    def xdotool(cls, *args):
        return subprocess.run([need("xdotool"), *args], env=dict(cls.base_env, **cls.display_env),
                              capture_output=True, text=True, timeout=30).stdout

    @classmethod
    def windows(cls, class_name, fits):
        """(x, y, width, height) of the visible windows of that class that fit."""
        found = []
        for w in cls.xdotool("search", "--onlyvisible", "--classname", class_name).split():
            m = GEOMETRY.search(cls.xdotool("getwindowgeometry", w))
            if m and fits(g := tuple(int(v) for v in m.groups())):
                found.append(g)
        return found

    def panels(self):
        return self.windows("ombrix", lambda g: g[2:] == (540, 470))

    def click(self, at, button=1):
        self.xdotool("mousemove", str(at[0]), str(at[1]), "click", str(button))

    def item(self):
        """Where our icon is: the tray's only item, at the bar's right end."""
        x, y, w, h = self.bar
        return x + w - h // 2, y + h // 2

    def registered(self):
        """Our item's bus name and path, once the panel's watcher holds it."""
        def held():
            try:
                return owned()
            except GLib.Error:
                return None  # the Status Tray not up yet, or our item still busy starting

        def owned():
            items = self.bus.call_sync(
                "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                "org.freedesktop.DBus.Properties", "Get",
                GLib.Variant("(ss)", ("org.kde.StatusNotifierWatcher",
                                      "RegisteredStatusNotifierItems")),
                None, Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]
            return [i for i in items if self.app.pid == self.bus.call_sync(
                "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "GetConnectionUnixProcessID", GLib.Variant("(s)", (i.split("/")[0],)),
                None, Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]]
        entry = wait_for("our item on the panel", held)[0]
        name, _, path = entry.partition("/")
        return name, "/" + (path or "StatusNotifierItem")

    def menu_labels(self, item):
        """The labels of the item's menu, as the panel reads them."""
        name, _ = item
        layout = self.bus.call_sync(name, "/MenuBar", "com.canonical.dbusmenu", "GetLayout",
                                    GLib.Variant("(iias)", (0, -1, [])), None,
                                    Gio.DBusCallFlags.NONE, 30000, None).unpack()[1]
        return [child[1].get("label", "") for child in layout[2]]

    def tooltip_shown(self):
        """Hovers the icon until the tray shows its tooltip, which also tells
        that the tray has drawn the item. GTK says so when it cannot read a
        tooltip's markup."""
        hovers = []

        def shown():
            if len(hovers) % 40 == 0:  # about every two seconds, the pointer comes in again
                self.xdotool("mousemove", "600", "600")
                self.xdotool("mousemove", *map(str, self.item()))
            hovers.append(1)
            return self.windows(PLUGIN, lambda g: g[1] >= self.bar[3] and 10 < g[3] < 100)
        wait_for("the tooltip", shown)
        self.xdotool("mousemove", "600", "600")
        with open(self.panel_log) as f:
            self.assertNotIn(BAD_MARKUP, f.read())

    def opens_and_stays(self, what):
        """A left click on the item opens the panel outside the bar, and it
        stays open until a click elsewhere."""
        self.click(self.item())
        panel = wait_for(what, self.panels, timeout=30)[0]
        self.assertGreaterEqual(panel[1], self.bar[1] + self.bar[3],
                                f"{what}: the panel covers the bar")
        settled = time.monotonic() + 1.5
        while time.monotonic() < settled:
            # A window read while the X server is busy can come back empty once.
            self.assertTrue(self.panels() or self.panels(), f"{what}: the panel closed by itself")
        self.click((self.bar[2] // 2, 600))
        wait_for(f"{what}: closed by a click elsewhere", lambda: not self.panels(), timeout=30)

    def quit_from_the_menu(self, app):
        self.click(self.item(), button=3)
        wait_for("the item's menu", lambda: self.windows(PLUGIN, lambda g: g[3] > 100))
        self.xdotool("key", "End", "Return")  # its last entry is Quit
        self.assertEqual(app.wait(30), 0)
        self.assertEqual(app.stderr.read().decode(), "")


class Xfce(XfcePanel):
    def test_item_tooltip_menu_panel_under_load_and_quit(self):
        home = os.environ.get("HOME", "")
        if not home.startswith("/"):
            self.skipTest("no home directory to build the project in")
        project = os.path.join(home, ".cache", "ombrix-tests", f"xfce-{os.getpid()}", "R&D <beta>")
        self.addCleanup(shutil.rmtree, os.path.dirname(project), ignore_errors=True)
        os.makedirs(project)
        open(os.path.join(project, "pubspec.yaml"), "w").close()
        app = self.start(1, cwd=project)
        item = self.registered()
        wait_for("the project in the menu", lambda: any(
            "\u00b7 R&D <beta> \u00b7" in label for label in self.menu_labels(item)))

        self.tooltip_shown()
        with Busy():
            for run in range(5):
                self.opens_and_stays(f"the panel, click {run + 1} under load")
            self.click(self.item(), button=2)
            wait_for("the main window from a middle click",
                     lambda: self.windows("ombrix", lambda g: g[2] >= 820), timeout=30)
        self.quit_from_the_menu(app)


class XfceWithoutWindowManager(XfcePanel):
    """Nothing keeps windows off the bar: the panel finds the bar itself."""

    window_manager = False

    def test_panel_opens_outside_the_bar(self):
        app = self.start()
        self.registered()
        self.tooltip_shown()
        self.opens_and_stays("the panel without a window manager")
        self.quit_from_the_menu(app)
