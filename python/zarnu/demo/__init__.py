"""Demo scenes for the drawer, each rendered to one PNG file.

A scene is a name plus a function that fills a freshly built host main
window. ``render_scene`` shows that window, lets Qt settle, grabs it and
writes ``<out>/<name>.png``. ``main`` renders every scene (or the ones named
with ``--scene``) and prints the path of each PNG.
"""

from __future__ import annotations

import argparse
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Callable

from qtpy.QtCore import QEventLoop, QTimer
from qtpy.QtWidgets import (
    QApplication,
    QHBoxLayout,
    QLabel,
    QListWidget,
    QMainWindow,
    QVBoxLayout,
    QWidget,
)

from zarnu.material.drawer.drawer import Drawer

WINDOW_SIZE = (1000, 700)
DEFAULT_OUT = "demo-out"


@dataclass(frozen=True)
class Scene:
    name: str
    title: str
    setup: Callable[[QMainWindow], object]
    # Time given to the event loop before the grab, for animated scenes.
    settle_ms: int = 0


def application() -> QApplication:
    """The QApplication, created on first use. The drawer finds the host
    window through the application's ``mainWindow`` attribute."""
    app = QApplication.instance()
    if app is None:
        app = QApplication([sys.argv[0] if sys.argv else "zarnu-demo"])
    if not hasattr(app, "mainWindow"):
        app.mainWindow = None
    return app


def build_main_window(title: str) -> QMainWindow:
    """A host window with some ordinary content for drawers to cover."""
    window = QMainWindow()
    window.setWindowTitle(title)

    central = QWidget()
    row = QHBoxLayout(central)

    nav = QListWidget()
    nav.addItems(["Inbox", "Starred", "Sent", "Drafts", "Archive", "Trash"])
    nav.setCurrentRow(0)
    nav.setMaximumWidth(220)
    row.addWidget(nav)

    body = QVBoxLayout()
    heading = QLabel(f"<h2>{title}</h2>")
    text = QLabel(
        "The drawer slides in from an edge of this window. Its content "
        "sits above the page, which stays visible behind the backdrop."
    )
    text.setWordWrap(True)
    body.addWidget(heading)
    body.addWidget(text)
    body.addStretch(1)
    row.addLayout(body, 1)

    window.setCentralWidget(central)
    window.statusBar().showMessage(f"{Drawer.__module__}.{Drawer.__name__}")
    window.resize(*WINDOW_SIZE)
    return window


def settle(app: QApplication, ms: int) -> None:
    """Run the event loop for ``ms`` milliseconds (at least one pass)."""
    app.processEvents()
    if ms > 0:
        loop = QEventLoop()
        QTimer.singleShot(ms, loop.quit)
        loop.exec()
    app.processEvents()


def render_scene(scene: Scene, out_dir: Path) -> Path:
    """Build the host window, apply the scene, and save a PNG of it."""
    app = application()
    previous = app.mainWindow
    if previous is not None:
        previous.close()
    window = build_main_window(scene.title)
    app.mainWindow = window
    window.show()
    settle(app, 0)
    # Whatever the scene returns (its drawers, say) lives as long as the window.
    window.demo_scene_objects = scene.setup(window)
    settle(app, scene.settle_ms)

    out_dir.mkdir(parents=True, exist_ok=True)
    path = out_dir / f"{scene.name}.png"
    if not window.grab().save(str(path)):
        raise OSError(f"could not write {path}")
    return path


def _host_only(window: QMainWindow) -> None:
    return None


SCENES: list[Scene] = [
    Scene("host-window", "Host window", _host_only),
]


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m zarnu.demo", description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=Path(DEFAULT_OUT),
                        help=f"directory for the PNG files (default: ./{DEFAULT_OUT})")
    parser.add_argument("--scene", action="append", choices=[s.name for s in SCENES],
                        help="render only this scene (repeatable)")
    parser.add_argument("--interactive", action="store_true",
                        help="keep the last window open afterwards (needs a display)")
    args = parser.parse_args(argv)

    app = application()
    chosen = [s for s in SCENES if args.scene is None or s.name in args.scene]
    for scene in chosen:
        print(render_scene(scene, args.out).resolve(), flush=True)
    if args.interactive:
        return app.exec()
    return 0
