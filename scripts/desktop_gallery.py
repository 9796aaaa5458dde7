"""Pictures of the demo gallery on a real X desktop, with and without a compositor, and on a
Wayland one.

    .venv/bin/python scripts/desktop_gallery.py [OUT_DIR]    (default: docs/gallery)

Starts Xvfb with openbox (and xcompmgr for the composited pictures) as the real-display tests
do, runs the demo gallery on the xcb platform, opens one drawer at a time through its button and
takes a screenshot of the host window with its frame. Writes desktop-<anchor>-<desktop>.png,
<desktop> being "composited" or "plain", then the same on a headless sway as
desktop-<anchor>-wayland.png (the drawers opened through Qt, as a Wayland desktop here has no
pointer), and prints the paths.
"""

import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests"))

from desktop import Desktop, WaylandDesktop, missing_tools  # noqa: E402

ANCHORS = ("right", "bottom")


def on_x(desktop, app):
    """Places the gallery; returns its frame and how a drawer's button is pressed."""
    app.do("g.move(120, 90); g.show(); settle(500)")
    x, y, w, h = app.do("_ = rect(g)")

    def press(anchor):
        bx, by = app.do(f"b = g.open_buttons[{anchor!r}]; "
                        "p = b.mapToGlobal(QPoint(b.width() // 2, b.height() // 2)); _ = [p.x(), p.y()]")
        desktop.click(bx, by)
        app.do("settle(600)")
        desktop.tool("xdotool", "mousemove", "--sync", "2", "2")

    return (x - 12, y - 32, w + 24, h + 44), press  # the window manager's frame, and some desktop


def on_wayland(desktop, app):
    """The compositor places the gallery (moved where the X pictures have it); a headless sway
    has no pointer, so the buttons are pressed through Qt."""
    app.do("g.show(); settle(500)")
    desktop.swaymsg(f"[pid={app.proc.pid}]", "floating enable, move position 120 90")
    app.do("settle(300)")
    (_, (x, y, w, h)), = desktop.windows(app.proc.pid)

    def press(anchor):
        app.do(f"g.open_buttons[{anchor!r}].click(); settle(600)")

    return (x - 12, y - 37, w + 24, h + 49), press  # the compositor's title bar, and some desktop


DESKTOPS = {
    "composited": (lambda: Desktop(compositor=True), on_x),
    "plain": (lambda: Desktop(compositor=False), on_x),
    "wayland": (WaylandDesktop, on_wayland),
}


def pictures(out):
    out.mkdir(parents=True, exist_ok=True)
    paths = []
    for name, (make, place) in DESKTOPS.items():
        desktop = make().start()
        try:
            app = desktop.app()
            try:
                app.do("from zarnu import demo; g = demo.build_gallery()")
                frame, press = place(desktop, app)
                for anchor in ANCHORS:
                    press(anchor)
                    app.do("settle(300)")
                    path = out / f"desktop-{anchor}-{name}.png"
                    desktop.screenshot().save(path, frame)
                    paths.append(path)
                    app.do(f"g.close_drawer({anchor!r}); settle(300)")
            finally:
                app.stop()
        finally:
            desktop.stop()
    return paths


def main(argv):
    missing = missing_tools()
    if missing:
        sys.exit(f"needs {', '.join(missing)} (scripts/bootstrap.sh setup installs them)")
    for path in pictures(Path(argv[0]) if argv else ROOT / "docs" / "gallery"):
        print(path)


if __name__ == "__main__":
    main(sys.argv[1:])
