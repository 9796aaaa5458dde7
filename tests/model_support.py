"""Helpers of the reliability tests (leaks, misuse, fuzzing).

- ``load_model()``: the plain-Python model of the drawer (tests/model/drawer.py), the oracle
  that the compiled module is compared with.
- ``delete_cpp(obj)`` / ``is_deleted(obj)``: the binding's own deletion of a wrapper's C++ object.
- ``flush_deletions()``: runs the deletions queued by ``deleteLater``.
- ``run_child(path, function, *args)``: calls ``function`` of the test module at ``path`` in a
  fresh interpreter, so that a crash fails one test instead of the whole run; the function prints
  its result as JSON on the last line of stdout.
- ``Normalizer``: turns objects into plain data that compares equal across the two
  implementations (labels for known objects, tuples for Qt value types, no addresses).
"""

import enum
import json
import os
import re
import signal
import subprocess
import sys

import qtpy
from qtpy.QtCore import QCoreApplication, QEvent, QObject, QPoint, QPointF, QRect, QSize
from qtpy.QtGui import QColor

def load_model():
    from model import drawer

    return drawer


def _sip():
    if qtpy.PYQT5:
        from PyQt5 import sip
    else:
        from PyQt6 import sip
    return sip


def delete_cpp(obj):
    if qtpy.PYSIDE6:
        import shiboken6

        shiboken6.delete(obj)
    else:
        _sip().delete(obj)


def is_deleted(obj):
    if qtpy.PYSIDE6:
        import shiboken6

        return not shiboken6.isValid(obj)
    return _sip().isdeleted(obj)


def flush_deletions():
    QCoreApplication.sendPostedEvents(None, QEvent.Type.DeferredDelete)


def child_env():
    return dict(os.environ, QT_QPA_PLATFORM="offscreen", PYTHONPATH=os.pathsep.join(p for p in sys.path if p))


def run_child(path, function, *args, timeout=120, env=None):
    """Runs ``function(*args)`` from the module file ``path`` in a new interpreter (plus ``env``).

    Returns ``(result, process)``; ``result`` is the JSON value printed last, or None when the
    child did not get that far (crashed, raised).
    """
    code = (
        "import importlib.util, json, sys\n"
        f"spec = importlib.util.spec_from_file_location('reliability_child', {str(path)!r})\n"
        "module = importlib.util.module_from_spec(spec)\n"
        "spec.loader.exec_module(module)\n"
        f"result = getattr(module, {function!r})(*json.loads(sys.argv[1]))\n"
        "sys.stdout.flush()\n"
        "print('\\nRESULT ' + json.dumps(result))\n"
    )
    proc = subprocess.Popen([sys.executable, "-X", "faulthandler", "-c", code, json.dumps(args)],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=child_env() | (env or {}))
    try:
        stdout, stderr = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        proc.send_signal(signal.SIGABRT)   # the fault handler prints where it hangs
        stdout, stderr = proc.communicate()
        stderr += f"\n(timed out after {timeout} s)"
    proc = subprocess.CompletedProcess(proc.args, proc.returncode, stdout, stderr)
    result = None
    for line in proc.stdout.splitlines():
        if line.startswith("RESULT "):
            result = json.loads(line[len("RESULT "):])
    return result, proc


def describe_failure(proc):
    status = proc.returncode
    how = f"killed by signal {-status}" if status < 0 else f"exit status {status}"
    return f"child {how}\n--- stdout\n{proc.stdout[-4000:]}\n--- stderr\n{proc.stderr[-6000:]}"


# Addresses, also the tail of one left by a shortened repr ("...7f3a1c2b4e10)").
_ADDRESS = re.compile(r"0x[0-9a-fA-F]+|(?<=\.\.\.)[0-9a-fA-F]{4,}\b")


def clean_text(text):
    """Removes what differs between runs and bindings' object identities: addresses."""
    return _ADDRESS.sub("0x?", text)


def outcome(fn, *args, **kwargs):
    """``("ok", result)`` or ``("raised", type name, message)`` of a call."""
    try:
        return ("ok", fn(*args, **kwargs))
    except Exception as exc:  # noqa: BLE001 - the exception is the observation
        return ("raised", type(exc).__name__, clean_text(str(exc)))


class Normalizer:
    """Plain, comparable data for the objects a drawer holds or passes around.

    Objects registered with ``label`` are shown by their label; the drawer itself is "self".
    Everything else that has no value semantics is shown by its type name only.
    """

    def __init__(self):
        self.labels = {}
        self.keep = []  # keeps labelled objects alive so that their ids stay unique

    def label(self, obj, name):
        self.labels[id(obj)] = name
        self.keep.append(obj)
        return obj

    def __call__(self, value, depth=0):
        try:
            return self._normalize(value, depth)
        except Exception as exc:  # noqa: BLE001 - objects built to fail any inspection
            return f"<{type(value).__name__}: {type(exc).__name__}>"

    def _normalize(self, value, depth):
        if depth > 6:
            return "..."
        known = self.labels.get(id(value))
        if known is not None:
            return known
        if value is None or isinstance(value, (bool, int, float)):
            if isinstance(value, enum.Enum):
                return f"{type(value).__name__}.{value.name or value.value}"
            return value
        if isinstance(value, str):
            return clean_text(value)
        if isinstance(value, enum.Enum):
            return f"{type(value).__name__}.{value.name or value.value}"
        if isinstance(value, (list, tuple)):
            return [type(value).__name__] + [self(v, depth + 1) for v in value]
        if isinstance(value, dict):
            return ["dict"] + [[self(k, depth + 1), self(v, depth + 1)] for k, v in value.items()]
        if isinstance(value, (QPoint, QPointF)):
            return ["QPoint", value.x(), value.y()]
        if isinstance(value, QSize):
            return ["QSize", value.width(), value.height()]
        if isinstance(value, QRect):
            return ["QRect", value.x(), value.y(), value.width(), value.height()]
        if isinstance(value, QColor):
            return ["QColor", value.red(), value.green(), value.blue(), value.alpha()]
        if isinstance(value, BaseException):
            return ["raised", type(value).__name__, clean_text(str(value))]
        if isinstance(value, QObject):
            return f"<{type(value).__name__}>"
        if hasattr(value, "mode") and hasattr(value, "components"):
            return f"<theme {value.mode}>"
        return f"<{type(value).__name__}>"


_MISSING = object()


class Host:
    """A main window (installed as the application's ``mainWindow``) with an anchor widget.

    ``make(cls, **props)`` builds a drawer (``open`` a fresh ``State(False)`` and ``minWidth``
    300 unless given) and keeps it for ``close()``, which deletes everything made here and
    puts the theme and the language back.
    """

    def __init__(self):
        from qtpy.QtWidgets import QApplication, QMainWindow, QWidget

        self.app = QApplication.instance() or QApplication([])
        self.norm = Normalizer()
        self.main = QMainWindow()
        self.main.setGeometry(100, 80, 800, 600)
        self.central = QWidget()
        self.main.setCentralWidget(self.central)
        self.anchor = QWidget(self.central)
        self.anchor.setGeometry(30, 20, 500, 400)
        self.main.show()
        self.previous = getattr(self.app, "mainWindow", _MISSING)
        self.app.mainWindow = self.main
        self.norm.label(self.main, "main")
        self.norm.label(self.central, "central")
        self.norm.label(self.anchor, "anchor")
        self.made = []
        QCoreApplication.sendPostedEvents()

    def make(self, cls, *args, **props):
        if not args:
            from zarnu.hooks.use_state import State

            props.setdefault("open", State(False))
            props.setdefault("minWidth", 300)
        drawer = cls(*args, **props)
        self.made.append(drawer)
        return drawer

    def keep(self, obj):
        self.made.append(obj)
        return obj

    def close(self):
        from zarnu.i18n.use_translation import i18n
        from zarnu.material import styles

        for obj in self.made + [self.main]:
            try:
                if not is_deleted(obj):
                    if hasattr(obj, "hide"):
                        obj.hide()
                    obj.deleteLater()
            except RuntimeError:
                pass
        self.made.clear()
        flush_deletions()
        if self.previous is _MISSING:
            if hasattr(self.app, "mainWindow"):
                del self.app.mainWindow
        else:
            self.app.mainWindow = self.previous
        styles.setTheme("light")
        i18n.setLanguage("en")


def snapshot(drawer, norm):
    """What can be observed of a drawer: its attributes in order and its Qt state."""
    for attr, name in (("_frm_content", "content"), ("_overlay", "overlay"), ("_contentLayout", "layout")):
        obj = drawer.__dict__.get(attr)
        if obj is not None:
            norm.label(obj, name)
    norm.label(drawer, "self")
    data = {"vars": [[k, norm(v)] for k, v in vars(drawer).items()]}
    if is_deleted(drawer):
        data["deleted"] = True
        return data
    try:
        data.update(
            visible=drawer.isVisible(),
            geometry=norm(drawer.geometry()) if drawer.isVisible() else None,
            style=drawer.styleSheet(),
            sizes=drawer.sizes() if drawer.isVisible() else drawer.count(),
            orientation=norm(drawer.orientation()),
            panes=[norm(drawer.widget(i)) for i in range(drawer.count())],
            margins=[drawer.contentsMargins().left(), drawer.contentsMargins().top(),
                     drawer.contentsMargins().right(), drawer.contentsMargins().bottom()],
            name=drawer.objectName(),
            flags=norm(drawer.windowFlags()),
        )
    except RuntimeError as exc:  # a half-built drawer whose base class was never initialised
        data["qt"] = norm(exc)
        return data
    content = drawer.__dict__.get("_frm_content")
    if content is not None and not is_deleted(content):
        effect = content.graphicsEffect()
        data["effect"] = None if effect is None else [
            effect.blurRadius(), norm(effect.offset()), norm(effect.color())]
        data["content_limits"] = [content.minimumWidth(), content.maximumWidth(),
                                  content.minimumHeight(), content.maximumHeight()]
        layout = drawer.__dict__.get("_contentLayout")
        if layout is not None and not is_deleted(layout):
            data["children"] = [norm(layout.itemAt(i).widget()) for i in range(layout.count())]
    return data
