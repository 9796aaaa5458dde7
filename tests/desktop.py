"""Real desktops for the tests: an X desktop (Xvfb, a window manager and optionally a
compositor) and a Wayland desktop (a headless Wayland compositor).

``Desktop(compositor=True)`` starts Xvfb on a free display (``-displayfd``), openbox, and
xcompmgr when asked; ``stop()`` ends exactly the processes it started, newest first. It queries
the window system as a user would see it, through the X tools: the window manager's stacking
order, WM_TRANSIENT_FOR, whether a window is viewable, where a click lands (the program that
gets it reports it), and the pixels of a screenshot of the root window.

``WaylandDesktop().start()`` starts sway with its headless backend on a socket of its own (as
the unprivileged user ``nobody`` when run as root, which sway refuses to run as). It is queried
through the compositor: where it has put each client's windows (``swaymsg -t get_tree``), a
screenshot (``grim``), and keys typed by a virtual keyboard (``wtype``).

``Desktop.app()`` starts the drawer program (``desktop_app.py``) on the desktop's platform
(``xcb`` or ``wayland``) in a child process; ``App.do(code)`` runs ``code`` there and returns
the JSON value it leaves in ``_``.

``require_tools()`` says which tools are missing; the tests skip with that reason outside CI
and fail under ``CI=true``.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

TOOLS = ["Xvfb", "openbox", "xcompmgr", "xdotool", "xprop", "xwininfo", "wmctrl", "import", "sway", "swaymsg",
         "grim", "wtype", "setpriv"]
HERE = Path(__file__).resolve().parent
SIZE = (1280, 800)


def missing_tools():
    return [tool for tool in TOOLS if shutil.which(tool) is None]


def wait_for(predicate, timeout=10.0, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out waiting for {what}")
        time.sleep(0.05)


class _Session:
    """What the two desktops share: the processes they started, and the drawer program."""

    platform = None

    def __init__(self):
        self.processes = []  # (name, Popen), in start order
        self.env = None  # the desktop's own programs'
        self.client_env = None  # the drawer program's additions

    def start(self):
        try:
            return self._start()
        except BaseException:
            self.stop()  # what did start, so that nothing is left behind
            raise

    @staticmethod
    def _own_env():
        """This environment without another desktop's variables, and without a preloaded sanitizer
        runtime: the desktop's programs are not ours."""
        return {k: v for k, v in os.environ.items()
                if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "I3SOCK", "LD_PRELOAD")}

    def _spawn(self, name, argv):
        proc = subprocess.Popen(argv, env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append((name, proc))
        return proc

    def _check_running(self):
        for name, proc in self.processes:
            if proc.poll() is not None:
                raise RuntimeError(f"{name} exited with status {proc.returncode}")

    def stop(self):
        for _, proc in reversed(self.processes):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        self.processes.clear()

    def app(self, *argv):
        return App(self, argv)

    def tool(self, *argv, check=True):
        return subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=30, check=check).stdout


class Desktop(_Session):
    platform = "xcb"

    def __init__(self, compositor=True):
        super().__init__()
        self.compositor = compositor
        self.display = None

    # --- life cycle -----------------------------------------------------------------------------

    def _start(self):
        self.env = self._own_env()
        read, write = os.pipe()
        try:
            xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write), "-screen", "0", f"{SIZE[0]}x{SIZE[1]}x24", "-nolisten", "tcp",
                 "-noreset"],
                pass_fds=(write,), env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.processes.append(("Xvfb", xvfb))
            os.close(write)
            write = None
            number = b""
            while not number.endswith(b"\n"):
                chunk = os.read(read, 16)
                if not chunk:
                    raise RuntimeError("Xvfb exited before naming its display")
                number += chunk
        finally:
            os.close(read)
            if write is not None:
                os.close(write)
        self.display = ":" + number.decode().strip()
        self.env["DISPLAY"] = self.display
        self.client_env = {"DISPLAY": self.display}
        self._spawn("openbox", ["openbox", "--sm-disable"])
        wait_for(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.xprop("-root", "_NET_SUPPORTING_WM_CHECK"),
                 what="the window manager")
        if self.compositor:
            self._spawn("xcompmgr", ["xcompmgr"])
            time.sleep(0.5)
        self._check_running()
        return self

    # --- queries ----------------------------------------------------------------------------------

    def xprop(self, *argv):
        return self.tool("xprop", *argv, check=False)

    def stacking(self):
        """Client windows from bottom to top, as the window manager stacks them."""
        out = self.xprop("-root", "_NET_CLIENT_LIST_STACKING")
        if "#" not in out:
            return []
        return [int(w, 16) for w in out.split("#", 1)[1].replace(",", " ").split()]

    def transient_for(self, window):
        out = self.xprop("-id", str(window), "WM_TRANSIENT_FOR")
        return int(out.rsplit("#", 1)[1], 16) if "window id #" in out else None

    def viewable(self, window):
        out = self.tool("xwininfo", "-id", str(window), check=False)
        return "IsViewable" in out

    def window_types(self, window):
        return self.xprop("-id", str(window), "_NET_WM_WINDOW_TYPE")

    def click(self, x, y):
        self.tool("xdotool", "mousemove", "--sync", str(x), str(y), "click", "1")

    def wm_close(self, window):
        """The window manager's close, as its title-bar button or Alt+F4 asks for it."""
        self.tool("wmctrl", "-i", "-c", hex(window))

    def screenshot(self):
        """The screen as shown. ImageMagick reads each window with its own visual: a plain read of
        the root window leaves the drawer's 32-bit window undefined."""
        raw = subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env,
                             capture_output=True, timeout=30, check=True).stdout
        return Screenshot(raw, *SIZE)


class WaylandDesktop(_Session):
    platform = "wayland"

    def _start(self):
        self.home = Path(tempfile.mkdtemp(prefix="zarnu-wayland-"))
        self.home.chmod(0o755)
        config = self.home / "config"
        config.write_text(f"output HEADLESS-1 resolution {SIZE[0]}x{SIZE[1]}\nxwayland disable\n")
        config.chmod(0o644)
        # The compositor's runtime directory, its own; the drawer program gets another one.
        runtime = self.home / "compositor"
        runtime.mkdir(mode=0o700)
        client_runtime = self.home / "client"
        client_runtime.mkdir(mode=0o700)
        argv = ["sway", "-c", str(config)]
        if os.geteuid() == 0:
            os.chown(runtime, 65534, 65534)
            argv = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", *argv]
        self.env = self._own_env()
        self.env.update(XDG_RUNTIME_DIR=str(runtime), WLR_BACKENDS="headless", WLR_LIBINPUT_NO_DEVICES="1",
                        WLR_RENDERER="pixman")
        self._spawn("sway", argv)

        def sockets():
            self._check_running()
            names = os.listdir(runtime)
            display = [n for n in names if n.startswith("wayland-") and not n.endswith(".lock")]
            ipc = [n for n in names if n.startswith("sway-ipc.")]
            return display and ipc and (display[0], ipc[0])

        display, ipc = wait_for(sockets, what="the Wayland compositor")
        # Absolute socket paths, so that root and the compositor's user each keep their own
        # runtime directory.
        self.env.update(WAYLAND_DISPLAY=str(runtime / display), SWAYSOCK=str(runtime / ipc),
                        XDG_RUNTIME_DIR=str(client_runtime))
        self.client_env = {"WAYLAND_DISPLAY": self.env["WAYLAND_DISPLAY"], "XDG_RUNTIME_DIR": str(client_runtime)}
        return self

    def stop(self):
        super().stop()
        if getattr(self, "home", None):
            shutil.rmtree(self.home, ignore_errors=True)

    # --- queries ----------------------------------------------------------------------------------

    def swaymsg(self, *argv):
        return self.tool("swaymsg", *argv)

    def windows(self, pid):
        """The windows of process ``pid`` as the compositor has placed them: their titles and
        their client areas (x, y, width, height) on the screen."""
        found = []

        def walk(node):
            if node.get("pid") == pid:
                r, w = node["rect"], node["window_rect"]
                found.append((node.get("name"), [r["x"] + w["x"], r["y"] + w["y"], w["width"], w["height"]]))
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)

        walk(json.loads(self.swaymsg("-t", "get_tree", "-r")))
        return found

    def type(self, text):
        # A client takes a new virtual keyboard's key map with its first key: a shift pressed and
        # released first, so that no letter is lost to it.
        self.tool("wtype", "-M", "shift", "-m", "shift", "-s", "100", text)

    def screenshot(self):
        out = subprocess.run(["grim", "-t", "ppm", "-"], env=self.env, capture_output=True, timeout=30,
                             check=True).stdout
        # P6, width, height, maximum value, each ended by one whitespace byte, then the pixels.
        header = re.match(rb"P6\s(\d+)\s(\d+)\s255\s", out)
        return Screenshot(out[header.end():], int(header[1]), int(header[2]))


class Screenshot:
    def __init__(self, raw, width, height):
        assert len(raw) == width * height * 3, len(raw)
        self.raw, self.width, self.height = raw, width, height

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.raw[i:i + 3])

    def save(self, path, rect):
        """Writes the part ``rect`` (x, y, w, h) of the picture as a PNG."""
        from qtpy.QtGui import QImage

        image = QImage(self.raw, self.width, self.height, self.width * 3, QImage.Format.Format_RGB888)
        x, y, w, h = rect
        if not image.copy(x, y, w, h).save(str(path)):
            raise OSError(f"could not write {path}")


class App:
    """The drawer program in a child process on this desktop."""

    def __init__(self, desktop, argv):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        env.update(desktop.client_env, QT_QPA_PLATFORM=desktop.platform,
                   PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
        self.proc = subprocess.Popen([sys.executable, "-X", "faulthandler", str(HERE / "desktop_app.py"), *argv],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True, env=env)
        self.ready = self._reply()

    def _reply(self):
        line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError(f"the drawer program ended (status {self.proc.wait()}):\n{self.proc.stderr.read()}")
        reply = json.loads(line)
        if "error" in reply:
            raise RuntimeError(reply["error"])
        return reply["result"]

    def do(self, code):
        self.proc.stdin.write(json.dumps(code) + "\n")
        self.proc.stdin.flush()
        return self._reply()

    def exited(self, timeout=5):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        for stream in (self.proc.stdin, self.proc.stdout, self.proc.stderr):
            stream.close()
