"""Fixtures shared by the drawer tests.

- ``main_window``: a shown QMainWindow, installed as ``QApplication.instance().mainWindow``
  (the attribute every drawer reads) for the duration of one test.
- ``make_drawer(*args, cls=Drawer, **props)``: builds a drawer; without positional
  arguments ``open`` defaults to a fresh ``State(False)`` and ``minWidth`` to 300, the
  least a drawer can be built with. Every drawer made here is deleted after the test,
  so no connection of an old drawer outlives it.
- ``State``: the library's reactive value holder class.
- ``run_python(code)``: runs ``code`` in a fresh interpreter that sees the same
  packages as this one, offscreen, and returns the completed process.
"""

import os
import subprocess
import sys

import pytest

# qtpy and pytest-qt must load the same binding: QT_API (qtpy's variable) chooses, else
# PYTEST_QT_API, else PySide6. pytest-qt reads its variable after this file is loaded and
# prefers it to the ini's qt_api; qtpy would otherwise prefer any PyQt it finds installed.
os.environ["QT_API"] = os.environ["PYTEST_QT_API"] = (
    os.environ.get("QT_API") or os.environ.get("PYTEST_QT_API") or "pyside6")

from qtpy.QtCore import QCoreApplication, QEvent
from qtpy.QtWidgets import QMainWindow, QWidget

from zarnu.hooks.use_state import State as _State
from zarnu.material.drawer.drawer import Drawer

_MISSING = object()


def flush_deletions():
    """Run the deletions queued by ``deleteLater`` now."""
    QCoreApplication.sendPostedEvents(None, QEvent.Type.DeferredDelete)


@pytest.fixture
def State():
    return _State


@pytest.fixture
def main_window(qapp):
    window = QMainWindow()
    window.resize(800, 600)
    window.show()
    previous = getattr(qapp, "mainWindow", _MISSING)
    qapp.mainWindow = window
    yield window
    if previous is _MISSING:
        del qapp.mainWindow
    else:
        qapp.mainWindow = previous
    window.close()
    window.deleteLater()
    flush_deletions()


@pytest.fixture
def make_drawer(main_window):
    made = []

    def make(*args, cls=Drawer, **props):
        if not args:
            props.setdefault("open", _State(False))
            props.setdefault("minWidth", 300)
        drawer = cls(*args, **props)
        made.append(drawer)
        return drawer

    yield make
    for drawer in made:
        try:
            drawer.hide()
            drawer.deleteLater()
        except RuntimeError:  # already deleted with its Qt parent
            pass
    made.clear()
    flush_deletions()


@pytest.fixture
def anchor_widget(main_window):
    """A visible child widget of the main window, away from its top-left corner."""
    central = QWidget()
    main_window.setCentralWidget(central)
    widget = QWidget(central)
    widget.setGeometry(37, 23, 520, 380)
    central.show()
    widget.show()
    return widget


@pytest.fixture
def run_python():
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", PYTHONPATH=os.pathsep.join(sys.path))

    def run(code, timeout=120):
        return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                              env=env, timeout=timeout)

    return run
