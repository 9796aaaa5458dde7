"""The drawer program that the real-display tests run in a child process (see desktop.py).

It reads one JSON string a line from stdin, runs it as Python in one namespace kept for the
whole run, and writes back ``{"result": _}`` (or ``{"error": traceback}``) as one JSON line.
The namespace holds ``build(**props)``, which makes the host as the README's example does (a
main window installed as ``app.mainWindow``, an ``open`` State, ``onClose`` putting it back) with
a page button under the drawer that counts its clicks, and small helpers.
"""

import json
import os
import sys
import traceback
from functools import partial

from qtpy.QtCore import QEventLoop, QPoint, QSocketNotifier, Qt, QTimer
from qtpy.QtWidgets import QApplication, QLabel, QLineEdit, QMainWindow, QPushButton, QWidget

from zarnu.hooks.use_state import State
from zarnu.material.drawer.drawer import Drawer

app = QApplication([sys.argv[0]])
ns = {"app": app, "State": State, "Drawer": Drawer, "QWidget": QWidget, "QPoint": QPoint, "QLineEdit": QLineEdit}


def settle(ms=150):
    app.processEvents()
    loop = QEventLoop()
    QTimer.singleShot(ms, loop.quit)
    loop.exec()
    app.processEvents()


def rect(widget):
    p = widget.mapToGlobal(QPoint(0, 0))
    return [p.x(), p.y(), widget.width(), widget.height()]


def wid(widget):
    return int(widget.winId())


def inside(widget, x=None, y=None):
    """The point (x, y) of ``widget`` (its centre by default) in its window's coordinates."""
    x = widget.width() // 2 if x is None else x
    y = widget.height() // 2 if y is None else y
    p = widget.mapTo(widget.window(), QPoint(x, y))
    return [p.x(), p.y()]


def click(x, y):
    """A left click at (x, y) of the host's window, handed to Qt as the window system's are."""
    from qtpy.QtTest import QTest

    QTest.mouseClick(ns["window"].windowHandle(), Qt.MouseButton.LeftButton, Qt.KeyboardModifier.NoModifier,
                     QPoint(x, y))


def build(geometry=(200, 150, 640, 420), anchor="right", anchor_on_page=False, parented=False, **props):
    window = QMainWindow()
    window.setWindowTitle("host")
    window.setGeometry(*geometry)
    app.mainWindow = window
    page = QPushButton("page")
    page.clicked.connect(lambda: clicks.append("page"))
    window.setCentralWidget(page)
    window.show()
    clicks, closes = [], []
    state = State(False)

    def on_close():
        closes.append(1)
        state.set(False)

    if parented:
        props["parent"] = window
    props.setdefault("minWidth", 280)
    props.setdefault("children", [QLabel("Settings")])
    drawer = ns["Drawer"](anchor=anchor, open=state, onClose=on_close, anchorEl=page if anchor_on_page else None, **props)
    ns.update(window=window, page=page, drawer=drawer, state=state, clicks=clicks, closes=closes)
    settle(300)
    return {"window": wid(window), "page": rect(page)}


ns.update(settle=settle, rect=rect, wid=wid, inside=inside, click=click, build=build, partial=partial)

buffer = b""


def on_input():
    global buffer
    chunk = os.read(0, 65536)
    if not chunk:
        app.quit()
        return
    buffer += chunk
    while b"\n" in buffer:
        line, buffer = buffer.split(b"\n", 1)
        code = json.loads(line)
        try:
            ns.pop("_", None)
            exec(code, ns)
            reply = {"result": ns.get("_")}
        except BaseException:  # noqa: BLE001 - reported to the test
            reply = {"error": traceback.format_exc()}
        sys.stdout.write(json.dumps(reply) + "\n")
        sys.stdout.flush()


notifier = QSocketNotifier(0, QSocketNotifier.Type.Read)
notifier.activated.connect(on_input)
sys.stdout.write(json.dumps({"result": app.platformName()}) + "\n")
sys.stdout.flush()
sys.exit(app.exec())
