"""Gallery of the drawer: one drawer on each side of a host window, in the light and dark themes.

With a display (``--interactive``, or DISPLAY/WAYLAND_DISPLAY set and Qt not
on the offscreen platform) ``main`` opens the gallery window: its buttons open
the drawer of each side and switch the theme. Otherwise it renders one PNG per
side and theme (``drawer-<anchor>-<theme>.png``) and prints their paths.

A gallery picture is the host window with the drawer window painted over it
at its place: the drawer is a top-level window of its own, so a grab of the
host window alone would not show it.
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Callable, Mapping, Sequence
from functools import partial
from pathlib import Path
from typing import TYPE_CHECKING, TypedDict

from qtpy.QtCore import QEventLoop, QPoint, QTimer
from qtpy.QtGui import QImage, QPainter, QRegion
from qtpy.QtWidgets import (
    QApplication,
    QHBoxLayout,
    QLabel,
    QListWidget,
    QMainWindow,
    QPushButton,
    QVBoxLayout,
    QWidget,
)

from zarnu.hooks.use_state import State
from zarnu.material.button import Button
from zarnu.material.drawer.drawer import Drawer
from zarnu.material.stack import Stack
from zarnu.material.styles import setTheme, theme_signal, toggleTheme, useTheme
from zarnu.material.typography import Typography

if TYPE_CHECKING:
    from zarnu.material.drawer.drawer import _Anchor as Anchor

WINDOW_SIZE = (800, 500)
DEFAULT_OUT = "demo-out"
ANCHORS: tuple[Anchor, ...] = ("left", "right", "top", "bottom")
THEMES = ("light", "dark")
SCENE_NAMES = [f"drawer-{anchor}-{theme}" for theme in THEMES for anchor in ANCHORS]


class SizeProps(TypedDict, total=False):
    minWidth: int
    maxWidth: int
    minHeight: int
    maxHeight: int


# The size props of each side's drawer. The panel's size comes from the
# drawer's splitter: ``minWidth`` is the panel's initial size against the
# overlay's 50 (50000 for "right"), the splitter shares the window in that
# ratio, and the limits that the side applies clamp the result.
DRAWER_SIZES: dict[Anchor, SizeProps] = {
    # "left" applies no limit, so the ratio alone decides: 25 : 50 gives the
    # panel a third of the window's width.
    "left": {"minWidth": 25},
    # "right" makes minWidth the panel's minimum width; against 50000 the
    # panel gets no more than that.
    "right": {"minWidth": 280, "maxWidth": 360},
    # "top" and "bottom" clamp the panel's height to minHeight..maxHeight.
    "top": {"minWidth": 300, "minHeight": 120, "maxHeight": 150},
    "bottom": {"minWidth": 300, "minHeight": 120, "maxHeight": 150},
}

NAV_ITEMS = ["Inbox", "Starred", "Sent", "Drafts", "Archive"]

# The drawer paints its panel white in every theme, so the panel's content
# keeps dark text on that white.
PANEL_STYLE = """
#drawerPanel QLabel { color: #1d1d22; }
#drawerPanel QLabel#caption { color: #5c5c66; }
#drawerPanel QPushButton {
    text-align: left; padding: 6px 10px; border: none; border-radius: 4px;
    background: transparent; color: #1d1d22;
}
#drawerPanel QPushButton:hover { background: rgba(0, 0, 0, 18); }
#drawerPanel QPushButton#action {
    text-align: center; background: #2f6fdb; color: white;
}
"""


def application() -> QApplication:
    """The QApplication, created on first use. Drawers find the host window
    through the application's ``mainWindow`` attribute."""
    app = QApplication.instance()
    if app is None:
        app = QApplication([sys.argv[0] if sys.argv else "zarnu-demo"])
    assert isinstance(app, QApplication)
    if not hasattr(app, "mainWindow"):
        setattr(app, "mainWindow", None)
    return app


def settle(app: QApplication, ms: int = 0) -> None:
    """Run the event loop for ``ms`` milliseconds (at least one pass)."""
    app.processEvents()
    if ms > 0:
        loop = QEventLoop()
        QTimer.singleShot(ms, loop.quit)
        loop.exec()
    app.processEvents()


def host_style(palette: Mapping[str, str]) -> str:
    """The host window's style sheet for a theme palette. Every rule is
    scoped to the page, so the drawers (child windows of the host) keep their
    own look."""
    p = palette
    return f"""
        QMainWindow, #page {{ background-color: {p['background']}; }}
        #page QLabel {{ color: {p['text']}; }}
        #page QLabel#muted {{ color: {p['textSecondary']}; }}
        #page QListWidget {{
            background-color: {p['paper']}; color: {p['text']};
            border: 1px solid {p['divider']}; border-radius: 6px; padding: 4px;
        }}
        #page QListWidget::item {{ padding: 6px; }}
        #page QListWidget::item:selected {{ background-color: {p['primary']}; color: {p['paper']}; }}
        #page QPushButton {{
            background-color: {p['primary']}; color: {p['paper']};
            border: none; border-radius: 4px; padding: 6px 14px;
        }}
        #page QPushButton#themeButton {{
            background-color: transparent; color: {p['primary']};
            border: 1px solid {p['primary']};
        }}
        QStatusBar {{ background-color: {p['paper']}; color: {p['textSecondary']}; }}
    """


def panel_content(anchor: Anchor, on_close: Callable[[], object],
                  on_theme: Callable[[], object]) -> QWidget:
    """The widgets of one drawer's panel: a title, navigation, and actions."""
    panel = QWidget()
    panel.setObjectName("drawerPanel")
    panel.setStyleSheet(PANEL_STYLE)
    sizes = ", ".join(f"{k}={v}" for k, v in DRAWER_SIZES[anchor].items())
    caption = Typography(f'anchor="{anchor}"  {sizes}', "caption")
    caption.setObjectName("caption")
    caption.setWordWrap(True)

    nav = [Button(item) for item in NAV_ITEMS]
    theme_button = Button("Switch theme", onClick=on_theme)
    close_button = Button("Close", onClick=on_close)
    close_button.setObjectName("action")

    layout = QVBoxLayout(panel)
    layout.setContentsMargins(8, 8, 8, 8)
    layout.addWidget(Typography("Mail", "h6"))
    layout.addWidget(caption)
    if anchor in ("top", "bottom"):
        # A short, wide panel: one row of navigation.
        layout.addWidget(Stack(nav + [theme_button, close_button], direction="row", spacing=4))
    else:
        layout.addWidget(Stack(nav, spacing=2))
        layout.addStretch(1)
        layout.addWidget(Stack([theme_button, close_button], direction="row", spacing=6))
    return panel


class GalleryWindow(QMainWindow):
    """The host window: a page of ordinary content, buttons that open the
    drawer of each side, and a theme switch. The drawers are made by
    ``add_drawers`` once the window is the application's ``mainWindow``."""

    def __init__(self) -> None:
        super().__init__()
        self.setWindowTitle("zarnu drawer gallery")
        self.states: dict[Anchor, State] = {}
        self.drawers: dict[Anchor, Drawer] = {}
        self.open_buttons: dict[Anchor, QPushButton] = {}

        page = QWidget()
        page.setObjectName("page")
        column = QVBoxLayout(page)

        toolbar = QHBoxLayout()
        for anchor in ANCHORS:
            button = QPushButton(f"Open {anchor}")
            button.clicked.connect(lambda _=False, a=anchor: self.open_drawer(a))
            toolbar.addWidget(button)
            self.open_buttons[anchor] = button
        toolbar.addStretch(1)
        self.theme_button = QPushButton()
        self.theme_button.setObjectName("themeButton")
        self.theme_button.clicked.connect(lambda _=False: toggleTheme())
        toolbar.addWidget(self.theme_button)
        column.addLayout(toolbar)

        row = QHBoxLayout()
        folders = QListWidget()
        folders.addItems(NAV_ITEMS)
        folders.setCurrentRow(0)
        folders.setMaximumWidth(200)
        row.addWidget(folders)
        body = QVBoxLayout()
        body.addWidget(QLabel("<h2>Inbox</h2>"))
        text = QLabel(
            "Each button above opens a drawer on that side of this window. "
            "The drawer is a window of its own laid over this one: a white "
            "panel with a drop shadow, and a transparent overlay over the rest."
        )
        text.setWordWrap(True)
        text.setObjectName("muted")
        body.addWidget(text)
        body.addStretch(1)
        row.addLayout(body, 1)
        column.addLayout(row, 1)

        self.setCentralWidget(page)
        status = self.statusBar()
        assert status is not None
        status.showMessage(f"{Drawer.__module__}.{Drawer.__name__}")
        self.resize(*WINDOW_SIZE)
        theme_signal.changed.connect(self.restyle)
        self.restyle()

    def restyle(self) -> None:
        """Follow the library's current theme (the slot of its ``changed`` signal)."""
        theme = useTheme()
        self.setStyleSheet(host_style(theme.palette))
        other = "light" if theme.mode == "dark" else "dark"
        self.theme_button.setText(f"Switch to {other}")

    def add_drawers(self) -> None:
        """Make one hidden drawer per side. Its ``open`` state opens it; the
        panel's Close button calls ``_close``, whose ``onClose`` puts the state
        back to False so that the next True opens the drawer again."""
        for anchor in ANCHORS:
            state = State(False)
            close = self._closer(anchor)
            drawer = Drawer(
                self,
                title=f"Drawer {anchor}",
                anchor=anchor,
                open=state,
                onClose=partial(state.set, False),
                children=[panel_content(anchor, close, toggleTheme)],
                **DRAWER_SIZES[anchor],
            )
            self.states[anchor] = state
            self.drawers[anchor] = drawer

    def _closer(self, anchor: Anchor) -> Callable[[], None]:
        return lambda: self.drawers[anchor]._close()

    def open_drawer(self, anchor: Anchor) -> None:
        self.states[anchor].value = True

    def close_drawer(self, anchor: Anchor) -> None:
        self.drawers[anchor]._close()


def build_gallery() -> GalleryWindow:
    """The gallery window, installed as the application's ``mainWindow``,
    with its four drawers."""
    app = application()
    window = GalleryWindow()
    setattr(app, "mainWindow", window)
    window.add_drawers()
    return window


def composite(window: QWidget, drawer: Drawer) -> QImage:
    """The host window with the drawer window painted over it at its place."""
    image = QImage(window.size(), QImage.Format.Format_ARGB32_Premultiplied)
    painter = QPainter(image)
    try:
        window.render(painter, QPoint(0, 0))
        offset = drawer.mapToGlobal(QPoint(0, 0)) - window.mapToGlobal(QPoint(0, 0))
        # A drawer with a window mask paints only the masked part, and render() puts the
        # top-left corner of what it paints at the offset it is given.
        painted = QRegion(drawer.rect())
        if not drawer.mask().isEmpty():
            painted = painted.intersected(drawer.mask())
        drawer.render(painter, offset + painted.boundingRect().topLeft())
    finally:
        painter.end()
    return image


def render_gallery(out_dir: Path, names: Sequence[str] | None = None) -> list[Path]:
    """Render the chosen scenes (all by default) to ``out_dir/<name>.png``.

    Each scene opens one drawer through its state in one theme, paints the
    window and the drawer into one picture and closes the drawer again. The
    theme current before the call is restored afterwards."""
    app = application()
    previous_main = getattr(app, "mainWindow", None)
    previous_theme = useTheme()
    window = build_gallery()
    window.show()
    settle(app)
    out_dir.mkdir(parents=True, exist_ok=True)
    paths: list[Path] = []
    try:
        for theme in THEMES:
            setTheme(theme)
            for anchor in ANCHORS:
                name = f"drawer-{anchor}-{theme}"
                if names is not None and name not in names:
                    continue
                window.open_drawer(anchor)
                settle(app, 30)
                path = out_dir / f"{name}.png"
                if not composite(window, window.drawers[anchor]).save(str(path)):
                    raise OSError(f"could not write {path}")
                paths.append(path)
                window.close_drawer(anchor)
                settle(app)
    finally:
        setTheme(previous_theme)
        for drawer in window.drawers.values():
            drawer.hide()
        window.close()
        window.deleteLater()
        setattr(app, "mainWindow", previous_main)
        settle(app)
    return paths


def display_available(environ: Mapping[str, str]) -> bool:
    """Whether Qt will show windows on a screen: a display server is named
    and Qt is not told to use a platform without one."""
    platform = environ.get("QT_QPA_PLATFORM", "").split(":")[0]
    if platform in ("offscreen", "minimal", "vnc"):
        return False
    return bool(environ.get("DISPLAY") or environ.get("WAYLAND_DISPLAY"))


def main(argv: list[str] | None = None) -> int:
    assert __doc__ is not None
    parser = argparse.ArgumentParser(prog="python -m zarnu.demo", description=__doc__.splitlines()[0])
    parser.add_argument("--out", type=Path, default=Path(DEFAULT_OUT),
                        help=f"directory for the PNG files (default: ./{DEFAULT_OUT})")
    parser.add_argument("--scene", action="append", choices=SCENE_NAMES,
                        help="render only this scene (repeatable)")
    mode = parser.add_mutually_exclusive_group()
    mode.add_argument("--interactive", action="store_true",
                      help="open the gallery window even when no display is detected")
    mode.add_argument("--render", action="store_true",
                      help="render the PNG files even when a display is present")
    args = parser.parse_args(argv)

    interactive = args.interactive or (not args.render and display_available(os.environ))
    app = application()
    if interactive:
        window = build_gallery()
        window.show()
        return app.exec()
    for path in render_gallery(args.out, args.scene):
        print(path.resolve(), flush=True)
    return 0
