"""The real GNOME Shell top bar, headless, for the session tests: GNOME Shell
with the AppIndicator extension (Ubuntu's tray) on the caller's session bus,
and a small extension of ours that evaluates JavaScript in the shell, so that
the top bar can be read and clicked as a user would.

What GNOME Shell 43 needs in a container: a system bus (it aborts without one
where /run/systemd/seats exists), its settings in a keyfile inside a private
home, an X11 socket directory it may use (mode 1777), and, since its own Eval
is refused outside unsafe mode, an extension that answers Eval instead.
"""

import json
import os
import shutil
import subprocess
import time

from gi.repository import Gio, GLib

APPINDICATOR = "ubuntu-appindicators@ubuntu.com"
PROBE = "ombrix-test-probe@ombrix.app"
PROBE_NAME = "app.ombrix.TestProbe"
PROBE_PATH = "/app/ombrix/TestProbe"

PROBE_JS = """
const { Clutter, Gio, GLib, Meta, St } = imports.gi;
const Main = imports.ui.main;
const IFACE = `<node><interface name="app.ombrix.TestProbe">
  <method name="Eval"><arg type="s" direction="in"/><arg type="b" direction="out"/>
    <arg type="s" direction="out"/></method></interface></node>`;
class Probe {
    async EvalAsync([code], invocation) {
        let ok = true, out;
        try {
            out = JSON.stringify(await eval(code)) ?? '';
        } catch (e) {
            ok = false;
            out = `${e}`;
        }
        invocation.return_value(new GLib.Variant('(bs)', [ok, out]));
    }
}
let exported = null, owner = 0;
function init() {}
function enable() {
    exported = Gio.DBusExportedObject.wrapJSObject(IFACE, new Probe());
    exported.export(Gio.DBus.session, '%(path)s');
    owner = Gio.bus_own_name_on_connection(Gio.DBus.session, '%(name)s',
                                           Gio.BusNameOwnerFlags.NONE, null, null);
}
function disable() {
    Gio.bus_unown_name(owner);
    exported.unexport();
}
""" % {"path": PROBE_PATH, "name": PROBE_NAME}

# Our item in the top bar: what it shows, and its menu when open.
ITEM_JS = """
(() => {
    for (const ind of Object.values(Main.panel.statusArea)) {
        const item = ind && ind._indicator;
        if (!item || item.id !== %(id)s)
            continue;
        const texts = [];
        const walk = a => {
            if (!a.visible) return;
            if (a instanceof Clutter.Text && a.text) texts.push(a.text);
            a.get_children().forEach(walk);
        };
        walk(ind);
        const [x, y] = ind.get_transformed_position();
        const [w, h] = ind.get_transformed_size();
        const place = a => {
            const [ax, ay] = a.get_transformed_position();
            const [aw, ah] = a.get_transformed_size();
            return aw > 0 && ah > 0 ? [ax + aw / 2, ay + ah / 2] : [null, null];
        };
        const menu = ind.menu._getMenuItems().map(m => ({
            label: m.label?.text || '---', sensitive: m.sensitive !== false,
            at: place(m instanceof Clutter.Actor ? m : m.actor) }));
        return { text: texts.join(' '), status: item.status, visible: ind.is_mapped(),
                 at: w > 0 && h > 0 ? [x + w / 2, y + h / 2] : [null, null], open: ind.menu.isOpen, menu };
    }
    return null;
})()
"""

# A press and release of `button` at (x, y), with a pointer of the shell's own.
CLICK_JS = """
(async () => {
    const pause = ms => new Promise(r => GLib.timeout_add(GLib.PRIORITY_DEFAULT, ms, () => {
        r(); return GLib.SOURCE_REMOVE; }));
    const seat = Clutter.get_default_backend().get_default_seat();
    global.ombrixPointer ??= seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
    const p = global.ombrixPointer;
    p.notify_absolute_motion(GLib.get_monotonic_time(), %(x)f, %(y)f);
    await pause(60);
    p.notify_button(GLib.get_monotonic_time(), %(button)d, Clutter.ButtonState.PRESSED);
    await pause(40);
    p.notify_button(GLib.get_monotonic_time(), %(button)d, Clutter.ButtonState.RELEASED);
    await pause(60);
    p.notify_absolute_motion(GLib.get_monotonic_time(), global.screen_width / 2,
                             global.screen_height - 1);
    return true;
})()
"""


class GnomeShell:
    """gnome-shell --headless on the session bus of the environment `env`,
    with Xwayland; stop() ends all of it."""

    def __init__(self, env, home):
        self.home = home
        self.procs = []
        data = os.path.join(home, "data")
        probe = os.path.join(data, "gnome-shell", "extensions", PROBE)
        os.makedirs(probe, exist_ok=True)
        with open(os.path.join(probe, "metadata.json"), "w") as f:
            json.dump({"uuid": PROBE, "name": "Ombrix test probe", "description": "Eval",
                       "shell-version": ["43"]}, f)
        with open(os.path.join(probe, "extension.js"), "w") as f:
            f.write(PROBE_JS)
        settings = os.path.join(home, "config", "glib-2.0", "settings")
        os.makedirs(settings, exist_ok=True)
        with open(os.path.join(settings, "keyfile"), "w") as f:
            f.write(f"[org/gnome/shell]\nenabled-extensions=['{APPINDICATOR}', '{PROBE}']\n"
                    "disable-user-extensions=false\nwelcome-dialog-last-shown-version='999'\n"
                    "[org/gnome/desktop/interface]\nenable-animations=false\n")
        os.makedirs(os.path.join(data, "gnome-shell"), exist_ok=True)
        open(os.path.join(data, "gnome-shell", "lock-warning-shown"), "w").close()

        runtime = env["XDG_RUNTIME_DIR"]
        system = os.path.join(home, "system-bus.conf")
        with open(system, "w") as f:
            f.write(f"""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>system</type><listen>unix:path={runtime}/system_bus</listen>
<auth>EXTERNAL</auth><policy context="default"><allow send_destination="*"/>
<allow receive_sender="*"/>
<allow own="*"/></policy></busconfig>""")
        self.procs.append(subprocess.Popen(["dbus-daemon", f"--config-file={system}", "--nofork",
                                            "--nopidfile"], stderr=subprocess.DEVNULL))
        while not os.path.exists(os.path.join(runtime, "system_bus")):
            if self.procs[0].poll() is not None:
                raise RuntimeError("the private system bus did not start")
            time.sleep(0.05)
        self.wayland = "ombrix-gnome-0"
        shell_env = dict(env, HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                         XDG_DATA_HOME=data, GSETTINGS_BACKEND="keyfile",
                         DBUS_SYSTEM_BUS_ADDRESS=f"unix:path={runtime}/system_bus",
                         XDG_SESSION_TYPE="wayland", XDG_CURRENT_DESKTOP="GNOME")
        self.log = open(os.path.join(home, "shell.log"), "w")
        self.procs.append(subprocess.Popen(
            [shutil.which("gnome-shell"), "--headless", "--wayland", "--virtual-monitor",
             "1280x800", f"--wayland-display={self.wayland}"],
            env=shell_env, stdout=self.log, stderr=subprocess.STDOUT))
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        deadline = time.monotonic() + 60
        while not self._ready():
            if self.procs[-1].poll() is not None or time.monotonic() > deadline:
                self.stop()
                with open(os.path.join(home, "shell.log")) as f:
                    raise RuntimeError("gnome-shell did not start:\n" + f.read()[-3000:])
            time.sleep(0.1)
        self.eval("Main.overview.hide(); Main.messageTray.getSources().forEach(s => s.destroy())")
        self.x11 = {"DISPLAY": self.eval("GLib.getenv('DISPLAY')"),
                    "XAUTHORITY": self.eval("GLib.getenv('XAUTHORITY')")}

    def _ready(self):
        try:
            return self.eval("!Main.layoutManager._startingUp && "
                             f"Main.extensionManager.lookup('{APPINDICATOR}')?.state === 1 && "
                             "!!GLib.getenv('DISPLAY')")
        except GLib.Error:
            return False

    def eval(self, code):
        ok, out = self.bus.call_sync(PROBE_NAME, PROBE_PATH, PROBE_NAME, "Eval",
                                     GLib.Variant("(s)", (code,)), GLib.VariantType("(bs)"),
                                     Gio.DBusCallFlags.NONE, 10000, None).unpack()
        if not ok:
            raise RuntimeError(f"shell eval failed: {out}")
        return json.loads(out) if out else None

    def item(self, item_id):
        """Our item as the top bar shows it, or None."""
        return self.eval(ITEM_JS % {"id": json.dumps(item_id)})

    def click(self, at, button=1):
        self.eval(CLICK_JS % {"x": at[0], "y": at[1], "button": button})

    def extension(self, enabled):
        verb = "enableExtension" if enabled else "disableExtension"
        self.eval(f"Main.extensionManager.{verb}('{APPINDICATOR}')")

    def windows(self):
        """Titles of the windows on screen."""
        return self.eval("global.get_window_actors().filter(a => a.visible)"
                         ".map(a => a.meta_window.get_title())")

    def close(self, title):
        """Closes the window `title` as its title bar's close button does."""
        self.eval(f"global.get_window_actors().map(a => a.meta_window)"
                  f".find(w => w.get_title() === {json.dumps(title)})"
                  ".delete(global.get_current_time())")

    def screenshot(self, path, area):
        return self.eval(f"""(async () => {{
            const file = Gio.File.new_for_path({json.dumps(path)});
            const stream = file.replace(null, false, Gio.FileCreateFlags.NONE, null);
            const shooter = new imports.gi.Shell.Screenshot();
            await new Promise((resolve, reject) => shooter.screenshot_area(
                {area[0]}, {area[1]}, {area[2]}, {area[3]}, stream, (o, res) => {{
                    try {{ o.screenshot_area_finish(res); resolve(); }} catch (e) {{ reject(e); }}
                }}));
            stream.close(null);
            return true;
        }})()""")

    def stop(self):
        for proc in reversed(self.procs):
            proc.terminate()
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        self.procs = []
        self.log.close()
