"""Misuse: whatever a host does with a drawer ends in the specified behaviour or an exception.

Every case runs against the compiled module and against the plain-Python model of the same
class, and both must give the same observations: results, exceptions (type and message),
attributes and Qt state. Cases that could bring the interpreter down (deleted C++ objects,
half-built drawers, re-entrant deletion, replaced library names) run in a child interpreter,
so that a crash fails that case alone.
"""

import gc
import inspect
import sys
import weakref

import pytest
from qtpy.QtCore import QEvent, QPoint, QPointF, QSize, Qt
from qtpy.QtGui import QMouseEvent, QMoveEvent, QResizeEvent
from qtpy.QtWidgets import QApplication, QLabel, QPushButton, QSlider, QSplitter, QWidget

from zarnu.hooks.use_state import State
from zarnu.i18n.use_translation import i18n
from zarnu.material import styles
import zarnu.material.drawer.drawer as cpp_module

from model_support import (Host, clean_text, delete_cpp, describe_failure, flush_deletions, is_deleted,
                           load_model, outcome, run_child, snapshot)

MODULES = {"cpp": cpp_module, "model": load_model()}

PROPS = ["title", "anchor", "anchorEl", "children", "classes", "elevation", "hideBackdrop", "ModalProps",
         "onClose", "open", "PaperProps", "SlideProps", "slotProps", "slots", "sx", "transitionDuration",
         "variant", "minWidth", "maxWidth", "minHeight", "maxHeight"]


def mouse(kind):
    t = QEvent.Type.MouseButtonPress if kind == "press" else QEvent.Type.MouseButtonRelease
    return QMouseEvent(t, QPointF(2, 2), QPointF(2, 2), Qt.MouseButton.LeftButton, Qt.MouseButton.LeftButton,
                       Qt.KeyboardModifier.NoModifier)


def resize_event():
    return QResizeEvent(QSize(40, 30), QSize(20, 10))


def operations(host, drawer):
    """Every public and private operation once, each with its outcome."""
    norm = host.norm
    ops = [
        ("showDrawer", lambda: drawer.showDrawer()),
        ("_show(True)", lambda: drawer._show(True)),
        ("_show(True) again", lambda: drawer._show(True)),
        ("_show(0)", lambda: drawer._show(0)),
        ("_close", lambda: drawer._close()),
        ("update_position", lambda: drawer.update_position()),
        ("setShadowEffect", lambda: drawer.setShadowEffect(12, [1, 2])),
        ("_set_stylesheet", lambda: drawer._set_stylesheet()),
        ("reTranslation", lambda: drawer.reTranslation()),
        ("filter resize anchor", lambda: drawer.eventFilter(drawer.__dict__.get("_anchorEl"), resize_event())),
        ("filter press", lambda: drawer.eventFilter(host.main, mouse("press"))),
        ("filter release", lambda: drawer.eventFilter(drawer, mouse("release"))),
        ("handle", lambda: drawer.handle(1)),
    ]
    ops += [(f"_get_{p}", lambda p=p: getattr(drawer, "_get_" + p)()) for p in PROPS]
    ops += [("_set_sx", lambda: drawer._set_sx("color: red;")), ("_get_sx after", lambda: drawer._get_sx())]
    return [[name, norm(outcome(op))] for name, op in ops]


def both(case, make_host=Host):
    """The observations of ``case(module, host)`` for both implementations.

    Exceptions that escape into Qt (a slot or the event filter raising during a delivery) reach
    ``sys.excepthook``; they are recorded as observations too. A hook of our own also keeps
    sip-based bindings from aborting on them.
    """
    results = {}
    previous = sys.excepthook
    for name, module in MODULES.items():
        caught = []
        sys.excepthook = lambda kind, value, tb: caught.append([kind.__name__, clean_text(str(value))])
        host = make_host()
        try:
            steps = case(module, host)
        finally:
            host.close()
            sys.excepthook = previous
        results[name] = steps + [["escaped into Qt", caught]]
    return results


def assert_same(results):
    cpp, model = results["cpp"], results["model"]
    if cpp != model and len(cpp) == len(model):
        differences = [f"step {i}:\n  compiled: {a!r}\n  model:    {b!r}"
                       for i, (a, b) in enumerate(zip(cpp, model)) if a != b]
        pytest.fail(f"{len(differences)} steps differ from the model:\n" + "\n".join(differences[:12]),
                    pytrace=False)
    assert cpp == model


# --- child runs ------------------------------------------------------------------------------

def child_case(name):
    """Entry point of the child interpreter: runs one case of ISOLATED for both modules."""
    from qtpy.QtWidgets import QApplication

    app = QApplication.instance() or QApplication([])
    results = both(ISOLATED[name])
    app.processEvents()
    flush_deletions()
    return results


def run_isolated(name):
    results, proc = run_child(__file__, "child_case", name)
    assert proc.returncode == 0 and results is not None, describe_failure(proc)
    return results


# --- deleted C++ objects -------------------------------------------------------------------------

def deleted_drawer(module, host):
    """Every operation on a drawer whose C++ object the binding deleted; then the signals."""
    closed = []
    state = State(False)
    drawer = host.make(module.Drawer, open=state, anchorEl=host.anchor, onClose=lambda: closed.append(1))
    drawer.showDrawer()
    delete_cpp(drawer)
    steps = operations(host, drawer)
    # The connections and filters of a deleted drawer are gone with it.
    for emit in (lambda: setattr(state, "value", True), styles.toggleTheme, lambda: i18n.setLanguage("fr"),
                 lambda: host.anchor.resize(222, 111), lambda: host.main.resize(640, 480),
                 lambda: QApplication.sendEvent(host.main, mouse("press"))):
        steps.append(host.norm(outcome(emit)))
    steps.append(closed)
    steps.append(snapshot(drawer, host.norm))
    return steps


def deleted_parts(module, host):
    """The drawer lives on while its content frame, anchor element or open state is deleted."""
    state = State(False)
    drawer = host.make(module.Drawer, open=state, anchorEl=host.anchor, children=[QLabel("a")])
    steps = []
    delete_cpp(drawer._frm_content)   # takes the layout, the children and the effect with it
    steps += [host.norm(outcome(drawer.setShadowEffect)), host.norm(outcome(drawer._set_stylesheet))]
    steps.append(host.norm(outcome(styles.toggleTheme)))
    delete_cpp(host.anchor)
    steps += operations(host, drawer)
    delete_cpp(state)
    steps.append(host.norm(outcome(setattr, state, "value", True)))
    steps.append(host.norm(outcome(drawer._get_open)))
    delete_cpp(host.main)
    steps.append(host.norm(outcome(drawer._set_anchorEl, None)))
    steps.append(host.norm(outcome(drawer.update_position)))
    steps.append(snapshot(drawer, host.norm))
    return steps


def deleted_while_delivering(module, host):
    """A drawer deleted by code that runs inside its own methods."""
    steps = []

    class DeletingRefresh(module.Drawer):
        def refresh(self):
            delete_cpp(self)

    drawer = host.make(DeletingRefresh)
    drawer.eventFilter(drawer, mouse("press"))
    steps.append(host.norm(outcome(drawer.eventFilter, drawer, mouse("release"))))
    steps.append(snapshot(drawer, host.norm))

    class DeletingPlacement(module.Drawer):
        def update_position(self):
            delete_cpp(self)

    drawer = host.make(DeletingPlacement)
    steps.append(host.norm(outcome(drawer.showDrawer)))
    drawer = host.make(DeletingPlacement)
    steps.append(host.norm(outcome(drawer._show, True)))
    return steps


# --- half-built drawers --------------------------------------------------------------------------

class Boom(Exception):
    pass


def half_built(step):
    """A case whose drawer's construction raises at ``step``; then every operation on it."""

    def case(module, host):
        made = []

        class Failing(module.Drawer):
            def __init__(self, *args, **kwargs):
                made.append(self)
                super().__init__(*args, **kwargs)

        def fail(self, *args):
            raise Boom(step)

        if step in PROPS:
            setattr(Failing, "_set_" + step, fail)
        elif step == "handle":
            Failing.handle = lambda self, index: None
        else:
            method = {"_init_ui": "_init_ui", "stylesheet": "setStyleSheet", "base": "setObjectName"}[step]
            setattr(Failing, method, fail)

        parent = host.keep(QWidget())   # keeps the half-built drawer alive after the failure
        steps = [host.norm(outcome(Failing, parent, anchorEl=host.anchor, open=State(False), minWidth=300))]
        drawer = made[0]
        host.keep(drawer)
        steps.append(snapshot(drawer, host.norm))
        steps += operations(host, drawer)
        # Whatever got connected or filtered before the failure still reaches the drawer.
        for emit in (styles.toggleTheme, lambda: i18n.setLanguage("vi"),
                     lambda: host.anchor.resize(300, 200), lambda: QApplication.sendEvent(host.main, mouse("press"))):
            steps.append(host.norm(outcome(emit)))
        steps.append(snapshot(drawer, host.norm))
        return steps

    return case


def never_initialised(module, host):
    """A drawer made with ``__new__`` only, and one whose ``__init__`` is called again."""
    drawer = module.Drawer.__new__(module.Drawer)
    steps = operations(host, drawer)
    steps.append(host.norm(outcome(drawer.__init__, open=State(False), minWidth=300)))
    host.keep(drawer)
    steps.append(snapshot(drawer, host.norm))
    return steps


# --- re-entrancy ---------------------------------------------------------------------------------

def close_deletes(module, host):
    steps = []
    for how in ("delete", "deleteLater", "close again"):
        calls = []

        def on_close():
            calls.append(how)
            if how == "delete":
                delete_cpp(drawer)
            elif how == "deleteLater":
                drawer.deleteLater()
                flush_deletions()
            elif len(calls) == 1:
                drawer._close()   # re-entered once

        drawer = host.make(module.Drawer, onClose=on_close)
        drawer.showDrawer()
        steps.append(host.norm(outcome(drawer._close)))
        steps.append(calls)
        steps.append(host.norm(outcome(drawer.showDrawer)))
        steps.append(snapshot(drawer, host.norm))
    return steps


def open_state_reentry(module, host):
    """The open state set again from inside the drawer's own reaction to it."""
    steps = []

    class Reentrant(module.Drawer):
        def update_position(self):
            super().update_position()
            self._open.value = False        # while _show(True) runs

    drawer = host.make(Reentrant, open=State(False))
    drawer._open.value = True
    steps.append(snapshot(drawer, host.norm))

    class Flip(module.Drawer):
        def setVisible(self, visible):
            super().setVisible(visible)
            if visible:
                self._open.value = not self._open.value

    drawer = host.make(Flip, open=State(False))
    drawer._open.value = True
    steps.append([drawer.isVisible(), drawer._get_open()])
    steps.append(host.norm(outcome(drawer.showDrawer)))
    steps.append([drawer.isVisible(), drawer._get_open()])

    # another slot of the same state, connected after the drawer's, undoes the change
    state = State(False)
    drawer = host.make(module.Drawer, open=state)
    state.valueChanged.connect(lambda value: value and setattr(state, "value", False))
    state.value = True
    steps.append([drawer.isVisible(), state.value])

    # a slot connected before the drawer's deletes the drawer: its own slot must not run
    state = State(False)
    state.valueChanged.connect(lambda value: delete_cpp(host.made[-1]) if value else None)
    drawer = host.make(module.Drawer, open=state)
    steps.append(host.norm(outcome(setattr, state, "value", True)))
    steps.append(is_deleted(drawer))
    return steps


def theme_during_construction(module, host):
    """The theme changes while a drawer is being built, at each of its theme look-ups."""
    steps = []
    original = module.useTheme
    other = host.make(module.Drawer)          # a live drawer restyled by each change
    for at in (1, 2, 3, 4):
        calls = []

        def use_theme():
            calls.append(1)
            if len(calls) == at:
                styles.toggleTheme()
            return original()

        module.useTheme = use_theme
        try:
            drawer = host.make(module.Drawer, sx=lambda: i18n.setLanguage(["fr", "en"][len(calls) % 2]) or "a: b;")
        finally:
            module.useTheme = original
        steps.append([len(calls), snapshot(drawer, host.norm)])
    steps.append(snapshot(other, host.norm))
    return steps


def raising_state_values(module, host):
    """A State whose ``value`` raises, one that pretends to be a State, one whose class check fails."""

    class Raising(State):
        @property
        def value(self):
            raise Boom("value")

    class Pretender:
        __class__ = State
        value = "pretended"

    class BadClass:
        @property
        def __class__(self):
            raise Boom("class")

    steps = []
    drawer = host.make(module.Drawer, open=Raising(False), title=Raising("t"), sx=Raising("s"))
    for prop in ("open", "title", "sx", "anchor"):
        steps.append(host.norm(outcome(getattr(drawer, "_get_" + prop))))
    drawer._open.valueChanged.emit(True)       # the slot gets the value from the emission
    steps.append(drawer.isVisible())
    for odd in (Pretender(), BadClass()):
        drawer._set_children(odd)
        steps.append(host.norm(outcome(drawer._get_children)))
    steps.append(host.norm(outcome(module.Drawer, open=Pretender(), minWidth=300)))
    steps.append(snapshot(drawer, host.norm))
    return steps


# --- library names replaced on the module ---------------------------------------------------------

class Stand:
    """Replacements for a name of the module: raises, returns None, returns the wrong type."""

    @staticmethod
    def raising(*args, **kwargs):
        raise Boom("stand-in")

    class NoneMaker:
        def __call__(self, *args, **kwargs):
            return None

        def __getattr__(self, name):
            return self

    class WrongType:
        def __call__(self, *args, **kwargs):
            return 42

        def __getattr__(self, name):
            return 42


REPLACED = ["useTheme", "get_qss_style", "State", "QApplication", "QWidget", "QFrame", "QVBoxLayout",
            "QSizePolicy", "QGraphicsDropShadowEffect", "Qt", "QPoint", "QEvent", "i18n", "Callable"]
REPLACEMENTS = {
    "raises": lambda: Stand.raising,
    "none": Stand.NoneMaker,
    "wrong type": Stand.WrongType,
    "missing": None,
}


def replaced_name(name):
    def case(module, host):
        steps = []
        for how, make in REPLACEMENTS.items():
            drawer = host.make(module.Drawer, anchorEl=host.anchor, sx={"color": "red"})
            drawer._set_sx(lambda: "color: blue;")
            original = module.__dict__[name]
            try:
                if make is None:
                    delattr(module, name)
                else:
                    setattr(module, name, make())
                built = outcome(module.Drawer, open=State(False), minWidth=300, anchorEl=host.anchor,
                                children=QLabel("c"), sx="x: y;")
                steps.append([how, host.norm(built)])
                if built[0] == "ok":
                    host.keep(built[1])
                steps.append(operations(host, drawer))
                steps.append(host.norm(outcome(drawer._set_stylesheet)))
            finally:
                setattr(module, name, original)
            # back to normal: the drawer works again
            steps.append(host.norm(outcome(drawer.showDrawer)))
            steps.append(snapshot(drawer, host.norm))
        return steps

    return case


# --- odd values ----------------------------------------------------------------------------------

def odd_children(module, host):
    steps = []
    # Not among them: the drawer itself, or a widget above it. Qt's addWidget never returns
    # from making a widget a descendant of itself, and the children are passed as they are.
    for children in ([QLabel("a"), 5, QLabel("b")], [QLabel("a"), "text"], [None], [QLabel("a")] * 2,
                     [host.anchor], [host.main], [QLabel("a"), QSplitter()], ["x"] * 3):
        result = outcome(host.make, module.Drawer, children=children)
        steps.append(host.norm(result))
        if result[0] == "ok":
            steps.append(snapshot(result[1], host.norm))
    return steps


def odd_values(module, host):
    class Format(str):
        def __format__(self, spec):
            return "formatted;"

    class Callable(dict):
        def __call__(self):
            raise Boom("called")

    class Falsy:
        def __bool__(self):
            raise Boom("truth")

        def __call__(self):
            return "called"

    class BadEq(QWidget):
        def __eq__(self, other):
            raise Boom("eq")

        __hash__ = QWidget.__hash__

    class BadType:
        def type(self):
            raise Boom("type")

    steps = []
    sxs = ["}\n#contentFrame { color: red; }\n{", "a: b;\n" * 3, "{{}}", "x" * 1_000_000, Format("ignored"),
           Callable(color="green"), lambda: "multi\nline", lambda: {"padding": [1, 2]}, lambda: ["x"],
           State({"color": "red"}), "%s %d %U", "\x00"]
    for sx in sxs:
        result = outcome(host.make, module.Drawer, sx=sx)
        steps.append(host.norm(result)[0])
        if result[0] == "ok":
            steps.append(result[1].styleSheet())
    drawer = host.make(module.Drawer, anchorEl=State(host.anchor), anchor=State("left"), title="t" * 10_000_000,
                       minWidth=-5, maxWidth=0, onClose=State(lambda: None))
    steps += operations(host, drawer)
    steps.append(host.norm(outcome(host.make, module.Drawer, minWidth=2 ** 31)))
    steps.append(host.norm(outcome(host.make, module.Drawer, minWidth=2 ** 70)))
    drawer = host.make(module.Drawer, onClose=Falsy(), anchorEl=host.anchor)
    steps.append(host.norm(outcome(drawer._close)))
    steps.append(host.norm(outcome(drawer._show, Falsy())))
    steps.append(host.norm(outcome(drawer._show, State(False))))
    for source, event in ((host.keep(BadEq()), resize_event()), (drawer, BadType()), (host.anchor, QEvent(QEvent.Type.User)),
                          (None, QMoveEvent(QPoint(1, 1), QPoint(0, 0))), (drawer, None)):
        steps.append(host.norm(outcome(drawer.eventFilter, source, event)))
    drawer._set_anchorEl(host.keep(BadEq()))
    steps.append(host.norm(outcome(drawer.eventFilter, host.anchor, resize_event())))
    drawer._set_anchorEl(None)   # before Qt delivers anything to the filter again
    steps.append(snapshot(drawer, host.norm))
    return steps


def drawer_as_its_own_anchor(module, host):
    made = []

    class Own(module.Drawer):
        def _set_anchorEl(self, value):
            made.append(self)
            super()._set_anchorEl(self)

    steps = [host.norm(outcome(host.make, Own))]
    drawer = made[0]
    steps.append(host.norm(outcome(drawer.showDrawer)))
    steps.append(host.norm(outcome(drawer.resize, 300, 200)))
    steps.append(snapshot(drawer, host.norm))
    return steps


# --- real signals of the binding -----------------------------------------------------------------

def binding_signals(module, host):
    """Drawer methods connected to signals of Qt's own widgets, which pass arguments of their own."""
    steps = []
    drawer = host.make(module.Drawer, onClose=lambda: steps.append("closed"))
    button, slider, toggle = QPushButton(), QSlider(), QPushButton()
    toggle.setCheckable(True)
    button.clicked.connect(drawer.showDrawer)
    toggle.toggled.connect(drawer._show)
    slider.valueChanged.connect(drawer._show)
    host.keep(button), host.keep(slider), host.keep(toggle)
    button.click()
    steps.append(drawer.isVisible())
    for action in (toggle.click, toggle.click, lambda: slider.setValue(3), lambda: slider.setValue(0)):
        action()
        steps.append(drawer.isVisible())
    closer = host.keep(QPushButton())
    closer.clicked.connect(drawer._close)
    closer.pressed.connect(drawer.update_position)
    closer.released.connect(drawer.reTranslation)
    closer.click()
    steps.append(drawer.isVisible())
    delete_cpp(drawer)
    for action in (button.click, toggle.click, lambda: slider.setValue(5), closer.click):
        action()
    steps.append("alive")
    return steps

# --- names, classes and functions that change after their first use ----------------------------------

def changed_after_first_use(module, host):
    """Each look-up made by a method sees the state of the moment, whatever it saw before."""
    import abc
    import builtins

    steps = []
    drawer = host.make(module.Drawer, anchorEl=host.anchor, title=State("t"), children=[QLabel("a")])
    drawer.showDrawer()

    class Types:                              # stands in for QEvent
        Resize = QEvent.Type.Resize
        Move = QEvent.Type.Move
        MouseButtonPress = QEvent.Type.MouseButtonPress
        MouseButtonRelease = QEvent.Type.MouseButtonRelease

    original_event = module.QEvent
    module.QEvent = Types
    try:
        for change in (None, ("Resize", QEvent.Type.Enter), ("MouseButtonPress", QEvent.Type.Enter),
                       ("MouseButtonRelease", QEvent.Type.MouseButtonPress)):
            if change:
                setattr(Types, *change)
            for event in (resize_event(), mouse("press"), mouse("release"), QEvent(QEvent.Type.Enter)):
                steps.append(host.norm(outcome(drawer.eventFilter, host.anchor, event)))
                steps.append(drawer._user_dragging)
        type(Types).__setattr__(Types, "Move", None)
        steps.append(host.norm(outcome(drawer.eventFilter, host.anchor, QMoveEvent(QPoint(1, 1), QPoint(0, 0)))))
    finally:
        module.QEvent = original_event

    class Pseudo(abc.ABC):                    # stands in for State
        value = "class value"

    original_state = module.State
    module.State = Pseudo
    try:
        steps.append(host.norm(outcome(drawer._get_title)))
        steps.append(host.norm(outcome(drawer._get_children)))
        Pseudo.register(list)
        steps.append(host.norm(outcome(drawer._get_children)))
        Pseudo.register(State)
        steps.append(host.norm(outcome(drawer._get_title)))
    finally:
        module.State = original_state

    # a prop value's class takes a base that reports State as its `__class__`
    class Claims:
        __class__ = State

    class Base:
        pass

    class Plain(Base):
        value = "plain value"

    drawer._set_children(Plain())
    steps.append(host.norm(outcome(drawer._get_children)))
    Plain.__bases__ = (Claims,)
    steps.append(host.norm(outcome(drawer._get_children)))

    # a name missing from the module is looked up in the builtins
    original_point = module.QPoint
    del module.QPoint
    try:
        steps.append(host.norm(outcome(drawer.update_position)))
        builtins.QPoint = lambda x, y: original_point(x + 7, y + 5)
        steps.append(host.norm(outcome(drawer.update_position)))
        steps.append(host.norm(drawer.geometry()))
        module.QPoint = lambda x, y: original_point(x + 1, y + 1)
        steps.append(host.norm(outcome(drawer.update_position)))
        steps.append(host.norm(drawer.geometry()))
    finally:
        module.QPoint = original_point
        builtins.__dict__.pop("QPoint", None)

    # the class after the drawer in the method resolution order changes
    seen = []

    class Middle(QSplitter):
        def eventFilter(self, source, event):
            seen.append("middle")
            return False

    class Sub(module.Drawer, Middle):
        pass

    sub = host.make(Sub)
    steps.append(host.norm(outcome(sub.eventFilter, sub, QEvent(QEvent.Type.Enter))))
    Middle.eventFilter = lambda self, source, event: seen.append("changed") or False
    steps.append(host.norm(outcome(sub.eventFilter, sub, QEvent(QEvent.Type.Enter))))
    del Middle.eventFilter
    steps.append(host.norm(outcome(sub.eventFilter, sub, QEvent(QEvent.Type.Enter))))
    steps.append(seen[:3] + seen[-1:])
    Middle.__init__ = lambda self, parent=None: (_ for _ in ()).throw(Boom("middle init"))
    steps.append(host.norm(outcome(host.make, Sub)))
    steps.append(snapshot(drawer, host.norm))
    return steps


def function_attributes(module, host):
    """Defaults and names of the methods replaced by the host, as a Python function allows."""
    steps = []
    drawer = host.make(module.Drawer)
    cls = module.Drawer
    saved = {name: (getattr(cls, name).__defaults__, getattr(cls, name).__qualname__, getattr(cls, name).__name__)
             for name in ("_show", "setShadowEffect", "__init__", "eventFilter", "_get_anchor")}
    try:
        cls._show.__defaults__ = (True,)
        steps.append(host.norm(outcome(drawer._show)))
        steps.append(drawer.isVisible())
        cls._show.__defaults__ = (drawer, False)
        steps.append(host.norm(outcome(cls._show)))
        steps.append(host.norm(outcome(setattr, cls._show, "__defaults__", (1, 2, 3))))
        steps.append(host.norm(outcome(cls._show)))
        steps.append(host.norm(outcome(setattr, cls._show, "__defaults__", [1])))
        cls.setShadowEffect.__defaults__ = (5,)
        steps.append(host.norm(outcome(drawer.setShadowEffect)))
        steps.append(host.norm(outcome(drawer.setShadowEffect, 1)))
        steps.append(host.norm(outcome(drawer.setShadowEffect, 1, (2, 3))))
        cls.setShadowEffect.__defaults__ = None
        steps.append(host.norm(outcome(drawer.setShadowEffect)))
        cls.__init__.__defaults__ = cls.__init__.__defaults__[1:]
        steps.append(host.norm(outcome(cls, open=State(False), minWidth=300)))
        steps.append(host.norm(outcome(cls, None, open=State(False), minWidth=300)))
        cls.eventFilter.__qualname__ = "Renamed.filter"
        cls.eventFilter.__name__ = "filter"
        steps.append(host.norm(outcome(drawer.eventFilter)))
        steps.append(host.norm(outcome(setattr, cls.eventFilter, "__qualname__", 5)))
        cls._get_anchor.__defaults__ = (drawer,)
        steps.append(host.norm(outcome(cls._get_anchor)))
        steps.append([host.norm(getattr(cls, name).__defaults__) for name in saved])
    finally:
        for name, (defaults, qualname, short) in saved.items():
            fn = getattr(cls, name)
            fn.__defaults__, fn.__qualname__, fn.__name__ = defaults, qualname, short
    # Each attribute of a method that nothing has read yet, set to values of every kind and
    # deleted; then what tools read afterwards.
    fn = cls._get_slotProps
    for attr in FUNCTION_ATTRIBUTES:
        for change in [("del",), *[("set", value) for value in (5, "text", None, (), {"k": 1})]]:
            kept = {a: getattr(fn, a) for a in FUNCTION_ATTRIBUTES}
            try:
                if change[0] == "set":
                    result = outcome(setattr, fn, attr, change[1])
                else:
                    result = outcome(delattr, fn, attr)
                steps.append([attr, host.norm(change), host.norm(result), host.norm(outcome(getattr, fn, attr)),
                              host.norm(outcome(lambda: str(inspect.signature(fn)))),
                              host.norm(outcome(repr, fn)), host.norm(outcome(drawer._get_slotProps)),
                              fn.__code__.co_filename == cls.showDrawer.__code__.co_filename])
            finally:
                for a, value in kept.items():
                    setattr(fn, a, value)
    steps.append(snapshot(drawer, host.norm))
    return steps


FUNCTION_ATTRIBUTES = ["__module__", "__name__", "__qualname__", "__doc__", "__defaults__", "__kwdefaults__",
                       "__annotations__", "__dict__", "__type_params__"]


ISOLATED = {
    "deleted drawer": deleted_drawer,
    "deleted parts": deleted_parts,
    "deleted while delivering": deleted_while_delivering,
    "never initialised": never_initialised,
    "onClose deletes": close_deletes,
    "open state re-entry": open_state_reentry,
    "theme during construction": theme_during_construction,
    "odd children": odd_children,
    "own anchor": drawer_as_its_own_anchor,
    "binding signals": binding_signals,
    "changed after first use": changed_after_first_use,
    "function attributes": function_attributes,
    **{f"half-built at {step}": half_built(step)
       for step in ["base", "title", "anchorEl", "onClose", "open", "sx", "variant", "maxHeight", "_init_ui",
                    "stylesheet", "handle"]},
    **{f"replaced {name}": replaced_name(name) for name in REPLACED},
}


@pytest.mark.parametrize("name", ISOLATED)
def test_isolated_misuse_matches_the_model(name):
    assert_same(run_isolated(name))


# --- in-process cases ------------------------------------------------------------------------------

@pytest.fixture
def fresh_hosts(qapp):
    yield Host


def test_state_values_that_raise(fresh_hosts):
    assert_same(both(raising_state_values))


def test_odd_values(fresh_hosts):
    assert_same(both(odd_values))


SELVES = {
    "object": object,
    "None": lambda: None,
    "int": lambda: 7,
    "QWidget": QWidget,
    "QSplitter": QSplitter,
}


def unbound_calls(module, host):
    cls = module.Drawer
    steps = []
    for self_name, make in SELVES.items():
        self = make()
        calls = [
            ("__init__", lambda: cls.__init__(self, open=State(False), minWidth=300)),
            ("showDrawer", lambda: cls.showDrawer(self)),
            ("_show", lambda: cls._show(self, True)),
            ("_close", lambda: cls._close(self)),
            ("update_position", lambda: cls.update_position(self)),
            ("setShadowEffect", lambda: cls.setShadowEffect(self)),
            ("_set_stylesheet", lambda: cls._set_stylesheet(self)),
            ("reTranslation", lambda: cls.reTranslation(self)),
            ("_init_ui", lambda: cls._init_ui(self)),
            ("eventFilter", lambda: cls.eventFilter(self, host.main, QEvent(QEvent.Type.Enter))),
            ("eventFilter press", lambda: cls.eventFilter(self, host.main, mouse("press"))),
        ]
        calls += [(f"_get_{p}", lambda p=p: getattr(cls, "_get_" + p)(self)) for p in PROPS]
        calls += [(f"_set_{p}", lambda p=p: getattr(cls, "_set_" + p)(self, None)) for p in PROPS]
        for name, call in calls:
            steps.append([self_name, name, host.norm(outcome(call))])
    return steps


def test_unbound_methods_with_foreign_self(fresh_hosts):
    assert_same(both(unbound_calls))


def argument_errors(module, host):
    drawer = host.make(module.Drawer)
    cls = module.Drawer
    steps = []
    methods = ["showDrawer", "_show", "_close", "update_position", "setShadowEffect", "_set_stylesheet",
               "reTranslation", "_init_ui", "eventFilter", "_get_anchor", "_set_anchor", "_set_children",
               "_get_children"]
    for name in methods:
        method = getattr(cls, name)
        bound = getattr(drawer, name)
        calls = [
            ("none", lambda: method()),
            ("too many", lambda: bound(*range(5))),
            ("unknown keyword", lambda: bound(bogus=1)),
            ("non-string keyword", lambda: bound(**{1: 2})),
            ("non-string keyword among others", lambda: method(drawer, **{"x": 1, 2: 3})),
            ("self by keyword", lambda: method(self=drawer)),
            ("self twice", lambda: method(drawer, self=drawer)),
            ("keyword twice", lambda: bound(1, state=2) if name == "_show" else bound(1, value=2)),
        ]
        for label, call in calls:
            steps.append([name, label, host.norm(outcome(call))])
    for label, call in [
        ("init too few", lambda: cls()),
        ("init non-string keyword", lambda: cls(**{1: 2})),
        ("init parent twice", lambda: cls(None, parent=None)),
        ("init 30 positionals", lambda: cls(None, "t", "right", None, None, None, 16, False, None, None,
                                             State(False), None, None, None, None, None, None, "temporary",
                                             300, None, None, None, *range(8))),
        ("shadow by keywords", lambda: drawer.setShadowEffect(color=Qt.GlobalColor.red, blurRadius=3)),
        ("shadow four", lambda: drawer.setShadowEffect(1, (1, 1), None, 4)),
        ("show state keyword", lambda: drawer._show(state=1)),
        ("filter keywords", lambda: drawer.eventFilter(event=QEvent(QEvent.Type.Enter), source=drawer)),
    ]:
        steps.append([label, host.norm(outcome(call))])
    steps.append(snapshot(drawer, host.norm))
    return steps


def test_argument_errors(fresh_hosts):
    assert_same(both(argument_errors))


# --- garbage collection ------------------------------------------------------------------------------

@pytest.mark.parametrize("impl", ["cpp", "model"])
@pytest.mark.parametrize("cycle", ["onClose", "sx", "children", "anchorEl", "subclass slot"])
@pytest.mark.parametrize("release", ["deleteLater", "drop"])
def test_drawers_in_reference_cycles_are_collected(main_window, impl, cycle, release):
    module = MODULES[impl]
    gc.collect()

    def build():
        holder = {}
        drawer = module.Drawer(open=State(False), minWidth=300)
        if cycle == "onClose":
            drawer._set_onClose(lambda: drawer.hide())
        elif cycle == "sx":
            drawer._set_sx(lambda: "color: red;" if drawer else "")
        elif cycle == "children":
            drawer._set_children([drawer])
        elif cycle == "anchorEl":
            drawer._set_anchorEl(drawer)
        else:
            state = State(False)
            state.valueChanged.connect(drawer._show)
            drawer.state = state
        holder["d"] = drawer
        drawer.holder = holder
        drawer.showDrawer()
        drawer._close()
        styles.toggleTheme()
        return weakref.ref(drawer)

    ref = build()
    if release == "deleteLater":
        ref().deleteLater()
        flush_deletions()
    gc.collect()
    flush_deletions()
    gc.collect()
    styles.setTheme("light")
    assert ref() is None
