"""Ubuntu's tray in a session test: the real GNOME top bar (gnome_shell.py)
and ombrix as its Wayland and its X11 client."""

import re

import gnome_shell
from session_support import *

BYTES = re.compile(r"[0-9.,]+ (bytes|KB|MB|GB)")


class Gnome(Session):
    """Ubuntu's tray: the real GNOME Shell with its AppIndicator extension,
    headless, in a private pid namespace (leftovers need its pid 1) with an X11
    socket directory of its own. One path through the top bar per kind of
    client."""

    @classmethod
    def setUpClass(cls):
        if not in_reaper():
            raise RuntimeError("run under SessionTest.py --reaper in its own pid namespace")
        super().setUpClass()
        subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=1777", "tmpfs", "/tmp/.X11-unix"],
                       check=True)
        cls.shell = gnome_shell.GnomeShell(cls.base_env, os.path.join(cls.home, "gnome"))

    @classmethod
    def tearDownClass(cls):
        cls.shell.stop()
        subprocess.run(["umount", "/tmp/.X11-unix"])
        super().tearDownClass()

    def item(self, condition, what):
        """Our item once `condition` holds for it."""
        return wait_for(what, lambda: (i := self.shell.item("ombrix")) and condition(i) and i)

    def open_menu(self):
        """A single left click on the item; the entries of the menu it drops.
        Just after the item (re)appears the shell may not have placed it yet, or
        may let the first click go by: it is clicked again until the menu is open."""
        def placed(at):
            return None not in at

        for attempt in range(3):
            item = self.item(lambda i: i["visible"] and placed(i["at"]), "the item in place")
            if not item["open"]:
                self.shell.click(item["at"])
            try:
                return wait_for("the menu dropped by one click", lambda: (
                    (i := self.shell.item("ombrix")) and i["open"]
                    and all(placed(m["at"]) for m in i["menu"]) and i["menu"]), timeout=5)
            except AssertionError:
                if attempt == 2:
                    raise

    def choose(self, label):
        """The menu entry `label`, chosen with the pointer."""
        menu = self.open_menu()
        self.shell.click(next(m["at"] for m in menu if m["label"] == label))

    def top_bar_path(self, client):
        self.display_env = client
        app = self.start()
        self.item(lambda i: i["visible"] and i["text"] == "Zero KB", "the total as the label")
        self.darts.append(Darts(2))
        self.item(lambda i: BYTES.fullmatch(i["text"]) and i["text"] != "Zero KB",
                  "the label to follow the total")

        menu = self.open_menu()
        labels = [m["label"] for m in menu]
        self.assertEqual(sum(label.startswith("Dart 600 \u00b7 ") for label in labels), 2, labels)
        self.assertEqual(labels[-4:], ["Open Window", "Check for Updates\u2026", "---", "Quit"])
        self.shell.click(next(m["at"] for m in menu if m["label"] == "Open Window"))
        wait_for("the main window", lambda: "Ombrix" in self.shell.windows())

        window, darts = ide_that_ends(self.home)
        try:
            self.item(lambda i: sum(m["label"].startswith("Dart 600") for m in i["menu"]) == 4,
                      "the IDE's processes in the menu")
            self.assertEqual(self.shell.item("ombrix")["status"], "Active")
            window.kill()
            window.wait()
            self.item(lambda i: i["status"] == "NeedsAttention", "the item wanting attention")
            self.item(lambda i: sum(m["label"].endswith(" \u00b7 Leftover") for m in i["menu"]) == 2
                      and "End Leftovers\u2026" in [m["label"] for m in i["menu"]],
                      "the leftovers' entries")
        finally:
            for pid in darts:
                os.kill(pid, signal.SIGKILL)

        # Put away, the window stays away until no top bar can reach the program.
        self.shell.close("Ombrix")
        wait_for("the window put away", lambda: "Ombrix" not in self.shell.windows())
        self.shell.extension(False)
        wait_for("the item gone with the extension", lambda: self.shell.item("ombrix") is None)
        wait_for("the window back as the way in", lambda: "Ombrix" in self.shell.windows())
        self.shell.extension(True)
        self.item(lambda i: i["visible"] and BYTES.fullmatch(i["text"]),
                  "the item back with its label")

        self.choose("Quit")
        self.assertEqual(app.wait(10), 0)
        self.assertEqual(app.stderr.read().decode(), "")

    def test_as_a_wayland_client(self):
        self.top_bar_path({"WAYLAND_DISPLAY": self.shell.wayland, "QT_QPA_PLATFORM": "wayland"})

    def test_as_an_x11_client(self):
        self.top_bar_path(dict(self.shell.x11, QT_QPA_PLATFORM="xcb"))
