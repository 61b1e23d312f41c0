"""A process whose memory floor rises, in a session test: the test-only
build whose growth rule watches seconds."""

import subprocess
import sys

import session_support
from session_support import *

GROWER = """
import sys, time
held = []
for _ in range(24):
    held.append(bytearray(b"\\x01") * (8 << 20))  # written, so resident
    time.sleep(1)
time.sleep(600)
"""


class Growth(Session):
    """A real process whose memory floor rises, watched by the program built
    with a growth rule of seconds (16 s watched, two 8 s windows, 32 MiB)."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        start_xvfb(cls)

    def clipboard(self):
        read = subprocess.run(
            [sys.executable, "-c", "import gi; gi.require_version('Gtk', '3.0'); "
             "from gi.repository import Gtk, Gdk; "
             "print(Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD).wait_for_text() or '', end='')"],
            env=self.env(), capture_output=True, text=True, timeout=30)
        return read.stdout

    def test_a_growing_process_is_marked_told_once_and_detailed(self):
        notices = Notifications()
        self.addCleanup(notices.close)
        self.start(program=session_support.OMBRIX_GROWTH)
        root = self.accessible_app()
        grower = subprocess.Popen(["dart", "-c", GROWER], executable=sys.executable, cwd="/")
        self.addCleanup(grower.wait)
        self.addCleanup(grower.kill)
        row = wait_for("its row", lambda: self.shown(root, [grower.pid]))[0].parent

        def markers():
            return [n for n in self.nodes(row, "label") if n.name == "Growing"
                    and n.getState().contains(pyatspi.STATE_VISIBLE)]
        marker = wait_for("the Growing marker", markers)[0]
        self.assertRegex(marker.description, r"^Grew by .+ in 16 seconds$")
        told = wait_for("a notification", lambda: [n for n in notices.shown
                                                   if n[1].endswith(" is growing")])
        _, summary, body, actions = told[0]
        self.assertTrue(body.startswith(f"pid {grower.pid} \u00b7 "), body)
        self.assertRegex(body, r"\(\+.+ in 16 seconds\)$")
        self.assertEqual(actions, ["details", "Details"])

        self.press(row, "ShowMenu")
        item = wait_for("the row's menu", lambda: [
            n for n in self.nodes(self.accessible_app(), "menu item") if n.name == "Details\u2026"])
        self.press(item[0], "Press")
        name = summary[:-len(" is growing")]
        title = f"{name} ({grower.pid})"
        window = wait_for("the details window", lambda: [
            w for w in self.accessible_app() if w.name == title])[0]
        # What a screen reader announces as a window, as the main window is.
        self.assertEqual(window.getRoleName(), "frame")
        copy = [n for n in self.nodes(window, "push button") if n.name == "Copy Details"]
        self.assertEqual(len(copy), 1)
        self.press(copy[0], "Press")
        text = wait_for("the details on the clipboard",
                        lambda: (t := self.clipboard()).startswith(title + "\n") and t)
        self.assertIn("\nStatus: Running\n", text)
        self.assertIn("\nGrowing: Grew by ", text)
        self.assertIn("Memory at one-minute steps", text)

        wait_for("the marker gone once the floor is flat", lambda: not markers(), timeout=90)
        self.assertEqual(len([n for n in notices.shown if n[1].endswith(" is growing")]), 1,
                         notices.shown)
        self.assertIsNone(self.app.poll())
