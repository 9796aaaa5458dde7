"""Differential fuzzing of the compiled drawer against the plain-Python model.

Hypothesis draws a construction (every prop in any accepted form, as a State, or an invalid
value; by position or by keyword) and a sequence of calls, signals and events. Both
implementations run it inside a recording subclass, on fresh but identical hosts, and must
leave the same trace: the calls the drawer makes on itself with their arguments, the callbacks
it runs, results and exceptions (type and message), and after every step its attributes,
style sheet, geometry, visibility and panes.

ZARNU_FUZZ_EXAMPLES sets the number of examples (default 60); a long run uses 10000 or more.
"""

import os
import sys

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st
from qtpy.QtCore import QCoreApplication, QEvent, QPoint, QPointF, QSize, Qt
from qtpy.QtGui import QKeyEvent, QMouseEvent, QMoveEvent, QResizeEvent
from qtpy.QtWidgets import QApplication, QLabel, QWidget

from zarnu.hooks.use_state import State
from zarnu.i18n.use_translation import i18n
from zarnu.material import styles
import zarnu.material.drawer.drawer as cpp_module

from model_support import Host, clean_text, flush_deletions, load_model, snapshot

EXAMPLES = int(os.environ.get("ZARNU_FUZZ_EXAMPLES", "60"))
# With ZARNU_FUZZ_JOURNAL=path each scenario is appended there before it runs, so that the one
# that brought the process down can be replayed (see replay()).
JOURNAL = os.environ.get("ZARNU_FUZZ_JOURNAL")

PROPS = ["title", "anchor", "anchorEl", "children", "classes", "elevation", "hideBackdrop", "ModalProps",
         "onClose", "open", "PaperProps", "SlideProps", "slotProps", "slots", "sx", "transitionDuration",
         "variant", "minWidth", "maxWidth", "minHeight", "maxHeight"]
PARAMS = ["parent"] + PROPS

# The Qt operations and own methods whose calls make up the trace.
RECORDED = ["setVisible", "isVisible", "update_position", "refresh", "update", "setGeometry", "setSizes",
            "setStyleSheet", "setShadowEffect", "_set_stylesheet", "setObjectName", "setWindowFlags",
            "setAttribute", "setAutoFillBackground", "setHandleWidth", "setChildrenCollapsible",
            "setOpaqueResize", "setOrientation", "addWidget", "setContentsMargins", "installEventFilter",
            "handle", "reTranslation", "_show", "_init_ui", "eventFilter"] + [f"_set_{p}" for p in PROPS]
RETURNS = {"isVisible", "handle", "eventFilter"}


# --- recording subclasses -----------------------------------------------------------------------

def _recorder(cls, name):
    def method(self, *args, **kwargs):
        log, norm = cls.log, cls.norm
        entry = ["call", name] + [norm(a) for a in args]
        if kwargs:
            entry.append({k: norm(v) for k, v in kwargs.items()})
        log.append(entry)
        try:
            result = getattr(super(cls, self), name)(*args, **kwargs)
        except Exception as exc:
            log.append(["raise", name, type(exc).__name__, clean_text(str(exc))])
            raise
        if name in RETURNS:
            log.append(["return", name, norm(result)])
        return result

    method.__name__ = method.__qualname__ = name
    return method


def recording_class(module):
    class Recorder(module.Drawer):
        log = []
        norm = None
        made = []

        def __init__(self, *args, **kwargs):
            Recorder.made.append(self)   # keeps a half-built drawer observable
            Recorder.norm.label(self, "self")
            super().__init__(*args, **kwargs)

    for name in RECORDED:
        setattr(Recorder, name, _recorder(Recorder, name))
    return Recorder


MODULES = {"cpp": cpp_module, "model": load_model()}
RECORDERS = {name: recording_class(module) for name, module in MODULES.items()}


# --- recipes: plain data that each run turns into fresh objects -----------------------------------

TEXTS = ["left", "right", "top", "bottom", "middle", "", "Drawer", "permanent", "persistent", "temporary",
         "color: red;", "}\n#contentFrame { color: blue; }\n{", "a: b;\nc: d;", "x" * 300]
INTS = st.one_of(st.integers(-5, 900), st.sampled_from([0, 1, 2 ** 31 - 1, 2 ** 31, -2 ** 31 - 1, 2 ** 64]))
STYLE_DICTS = st.sampled_from([{}, {"color": "red"}, {"padding": [1, 2]}, {"marginTop": 4}, {"bad": True},
                               {"width": float("nan")}])
WIDGETS = st.sampled_from(["anchor", "other", "main", "label", "hidden"])
CALLABLES = st.sampled_from(["dict", "str", "empty str", "none", "list", "raise", "two args", "log",
                             "set open state"])

leaf = st.one_of(
    st.just(("none",)),
    st.booleans().map(lambda b: ("bool", b)),
    INTS.map(lambda i: ("int", i)),
    st.sampled_from(TEXTS).map(lambda t: ("str", t)),
    STYLE_DICTS.map(lambda d: ("dict", d)),
    WIDGETS.map(lambda w: ("widget", w)),
    CALLABLES.map(lambda c: ("callable", c)),
    st.just(("float", 1.5)),
)
anything = st.recursive(
    leaf,
    lambda inner: st.one_of(inner.map(lambda r: ("state", r)),
                            st.lists(inner, max_size=3).map(lambda rs: ("list", rs)),
                            st.lists(inner, max_size=2).map(lambda rs: ("tuple", rs))),
    max_leaves=4,
)


def valid(prop):
    """The forms a prop accepts, mostly ones that let the construction go on."""
    anchors = st.sampled_from(["left", "right", "top", "bottom"]).map(lambda t: ("str", t))
    dicts = st.one_of(st.just(("none",)), STYLE_DICTS.map(lambda d: ("dict", d)))
    sizes = st.one_of(st.just(("none",)), st.integers(0, 700).map(lambda i: ("int", i)))
    forms = {
        "title": st.one_of(st.sampled_from(TEXTS).map(lambda t: ("str", t)), CALLABLES.map(lambda c: ("callable", c))),
        "anchor": anchors,
        "anchorEl": st.one_of(st.just(("none",)), WIDGETS.map(lambda w: ("widget", w))),
        "children": st.one_of(st.just(("none",)), st.lists(st.just(("widget", "label")), max_size=3).map(
            lambda rs: ("list", rs)), st.just(("widget", "label"))),
        "classes": dicts,
        "elevation": st.integers(-2, 30).map(lambda i: ("int", i)),
        "hideBackdrop": st.booleans().map(lambda b: ("bool", b)),
        "ModalProps": dicts,
        "onClose": st.one_of(st.just(("none",)), CALLABLES.map(lambda c: ("callable", c))),
        "open": st.booleans().map(lambda b: ("state", ("bool", b))),
        "PaperProps": dicts,
        "SlideProps": dicts,
        "slotProps": dicts,
        "slots": dicts,
        "sx": st.one_of(st.just(("none",)), st.sampled_from(TEXTS).map(lambda t: ("str", t)),
                        STYLE_DICTS.map(lambda d: ("dict", d)), CALLABLES.map(lambda c: ("callable", c))),
        "transitionDuration": st.one_of(st.just(("none",)), st.integers(0, 999).map(lambda i: ("int", i))),
        "variant": st.sampled_from(["permanent", "persistent", "temporary"]).map(lambda t: ("str", t)),
        "minWidth": st.integers(0, 700).map(lambda i: ("int", i)),
        "maxWidth": sizes,
        "minHeight": sizes,
        "maxHeight": sizes,
    }[prop]
    return forms


def prop_value(prop):
    form = valid(prop)
    # One value in twenty is a State around a valid form, one in forty anything at all, so that
    # about half of the constructions get through every prop.
    choice = {"form": form, "state": form.map(lambda r: ("state", r)), "anything": anything}
    return st.sampled_from(["form"] * 37 + ["state"] * 2 + ["anything"]).flatmap(choice.__getitem__)


@st.composite
def constructions(draw):
    values = {p: draw(prop_value(p)) for p in PROPS}
    given_props = [p for p in PROPS if draw(st.integers(0, 9)) < 8 or p in ("open", "minWidth")]
    if draw(st.integers(0, 19)) == 0:
        given_props = draw(st.lists(st.sampled_from(PROPS), unique=True))
    npos = draw(st.integers(0, len(PARAMS)))
    return {
        "values": {p: values[p] for p in given_props},
        "parent": draw(st.sampled_from([None, None, None, "other"])),
        "positional": npos,          # this many leading parameters go by position
        "surplus": draw(st.sampled_from([[], [], ["x"], [1, 2]])),
        "extra": draw(st.sampled_from([{}, {}, {"bogus": 1}])),
    }


EVENTS = ["resize", "move", "press", "release", "key", "enter", "user"]
SOURCES = ["self", "anchor", "main", "handle", "other", "content", "none"]
# Not `_init_ui`: it runs once per drawer, from the constructor. Run a second time on a live
# drawer and followed by theme changes, it corrupts the heap inside Qt within a few hundred
# scenarios under PySide6, with the Python model as well.
METHODS = ["showDrawer", "_close", "update_position", "reTranslation", "_set_stylesheet"]

operation = st.one_of(
    st.sampled_from(METHODS).map(lambda m: ("call", m)),
    anything.map(lambda v: ("_show", v)),
    st.booleans().map(lambda b: ("_show", ("bool", b))),
    st.tuples(st.sampled_from(EVENTS), st.sampled_from(SOURCES)).map(lambda t: ("filter",) + t),
    st.tuples(st.sampled_from(EVENTS), st.sampled_from(SOURCES[:-1])).map(lambda t: ("send",) + t),
    st.tuples(st.sampled_from(["anchor", "main", "other", "self"]), st.sampled_from(["resize", "move"]),
              st.integers(1, 900), st.integers(1, 700)).map(lambda t: ("change",) + t),
    st.one_of(st.booleans().map(lambda b: ("bool", b)), anything).map(lambda v: ("state", v)),
    st.just(("theme",)),
    st.sampled_from(["fr", "vi", "en"]).map(lambda c: ("lang", c)),
    st.tuples(st.sampled_from(PROPS), anything).map(lambda t: ("set",) + t),
    st.sampled_from(PROPS).map(lambda p: ("get", p)),
    st.lists(anything, max_size=4).map(lambda a: ("shadow", a)),
    st.one_of(st.tuples(st.sampled_from(METHODS + ["_show", "eventFilter", "setShadowEffect", "_get_anchor",
                                                    "_set_anchor"]), st.integers(0, 5)),
              st.tuples(st.just("_init_ui"), st.integers(1, 5))).map(lambda t: ("arity",) + t),
    st.sampled_from(["show", "hide", "process", "main window", "no main window"]).map(lambda q: ("qt", q)),
)
scenarios = st.tuples(constructions(), st.lists(operation, max_size=20))


# --- running a scenario -------------------------------------------------------------------------

class Run:
    """One implementation's run of a scenario on a fresh host; ``trace`` is what it observed."""

    def __init__(self, name, scenario):
        self.module = MODULES[name]
        self.cls = RECORDERS[name]
        self.host = Host()
        self.norm = self.host.norm
        self.trace = []
        self.states = 0
        self.widgets = {"anchor": self.host.anchor, "main": self.host.main}
        other = self.host.keep(QWidget())
        other.setGeometry(400, 300, 120, 90)
        self.widgets["other"] = self.norm.label(other, "other")
        hidden = self.host.keep(QWidget(self.host.central))
        hidden.setGeometry(5, 5, 40, 40)
        hidden.hide()
        self.widgets["hidden"] = self.norm.label(hidden, "hidden")
        self.labels = 0
        self.drawer = None
        self.scenario = scenario

    # objects from recipes

    def make(self, recipe):
        kind = recipe[0]
        if kind == "none":
            return None
        if kind in ("bool", "int", "str", "float"):
            return recipe[1]
        if kind == "dict":
            return dict(recipe[1])
        if kind == "list":
            return [self.make(r) for r in recipe[1]]
        if kind == "tuple":
            return tuple(self.make(r) for r in recipe[1])
        if kind == "state":
            self.states += 1
            return self.norm.label(State(self.make(recipe[1])), f"State#{self.states}")
        if kind == "widget":
            if recipe[1] == "label":
                self.labels += 1
                return self.norm.label(self.host.keep(QLabel(f"label {self.labels}")), f"label#{self.labels}")
            return self.widgets[recipe[1]]
        if kind == "callable":
            return self.norm.label(self.callback(recipe[1]), f"callable:{recipe[1]}")
        raise AssertionError(recipe)

    def callback(self, kind):
        trace = self.trace

        def note(*args):
            trace.append(["callback", kind, len(args)])

        if kind == "two args":
            def two(a, b):
                note(a, b)
            return two

        def call():
            note()
            if kind == "dict":
                return {"margin": 2}
            if kind == "str":
                return "border: 1px solid red;"
            if kind == "empty str":
                return ""
            if kind == "list":
                return ["color: red;"]
            if kind == "raise":
                raise LookupError("callback failed")
            if kind == "set open state" and self.drawer is not None:
                state = self.drawer.__dict__.get("_open")
                if isinstance(state, State) and not state.value:
                    state.value = True
            return None

        return call

    # events

    def source(self, name):
        if name == "none":
            return None
        if name == "self":
            return self.drawer
        if name == "handle":
            return self.drawer.handle(1) if self.drawer.count() > 1 else None
        if name == "content":
            return self.drawer.__dict__.get("_frm_content")
        return self.widgets[name]

    @staticmethod
    def event(kind):
        if kind == "resize":
            return QResizeEvent(QSize(30, 20), QSize(10, 10))
        if kind == "move":
            return QMoveEvent(QPoint(3, 4), QPoint(1, 1))
        if kind in ("press", "release"):
            t = QEvent.Type.MouseButtonPress if kind == "press" else QEvent.Type.MouseButtonRelease
            return QMouseEvent(t, QPointF(3, 3), QPointF(3, 3), Qt.MouseButton.LeftButton,
                               Qt.MouseButton.LeftButton, Qt.KeyboardModifier.NoModifier)
        if kind == "key":
            return QKeyEvent(QEvent.Type.KeyPress, Qt.Key.Key_Escape, Qt.KeyboardModifier.NoModifier)
        if kind == "enter":
            return QEvent(QEvent.Type.Enter)
        return QEvent(QEvent.Type.User)

    # the run

    def observe(self, label, fn):
        try:
            result = fn()
        except Exception as exc:
            self.trace.append([label, "raised", type(exc).__name__, clean_text(str(exc))])
        else:
            self.trace.append([label, "ok", self.norm(result)])

    def construct(self):
        c = self.scenario[0]
        values = {p: self.make(r) for p, r in c["values"].items()}
        parent = self.widgets[c["parent"]] if c["parent"] else None
        args, kwargs = [], {}
        for i, name in enumerate(PARAMS):
            value = parent if name == "parent" else values.get(name, _ABSENT)
            if i < c["positional"] and value is not _ABSENT and len(args) == i:
                args.append(value)
            elif value is not _ABSENT and (name != "parent" or value is not None):
                kwargs[name] = value
        if len(args) == len(PARAMS):
            args += c["surplus"]
        kwargs.update(c["extra"])
        self.cls.made.clear()
        self.observe("construct", lambda: self.cls(*args, **kwargs) and None)
        self.drawer = self.cls.made[0] if self.cls.made else None
        for d in self.cls.made:
            self.host.keep(d)

    def step(self, op):
        d, kind = self.drawer, op[0]
        if kind == "call":
            self.observe(op, lambda: getattr(d, op[1])())
        elif kind == "_show":
            self.observe(op[0], lambda: d._show(self.make(op[1])))
        elif kind == "filter":
            source, event = self.source(op[2]), self.event(op[1])
            self.observe(op, lambda: d.eventFilter(source, event))
        elif kind == "send":
            target, event = self.source(op[2]), self.event(op[1])
            if target is not None:
                self.observe(op, lambda: QApplication.sendEvent(target, event))
        elif kind == "change":
            widget = d if op[1] == "self" else self.widgets[op[1]]
            self.observe(op, lambda: widget.resize(op[3], op[4]) if op[2] == "resize" else widget.move(op[3], op[4]))
        elif kind == "state":
            state = d.__dict__.get("_open")
            if isinstance(state, State):
                value = self.make(op[1])
                self.observe("state", lambda: setattr(state, "value", value))
        elif kind == "theme":
            self.observe(op, styles.toggleTheme)
        elif kind == "lang":
            self.observe(op, lambda: i18n.setLanguage(op[1]))
        elif kind == "set":
            value = self.make(op[2])
            self.observe(op[:2], lambda: getattr(d, "_set_" + op[1])(value))
        elif kind == "get":
            self.observe(op, lambda: getattr(d, "_get_" + op[1])())
        elif kind == "shadow":
            args = [self.make(r) for r in op[1]]
            self.observe("shadow", lambda: d.setShadowEffect(*args))
        elif kind == "arity":
            method = getattr(self.module.Drawer, op[1])
            self.observe(op, lambda: method(d, *[None] * op[2]))
        elif kind == "qt":
            what = op[1]
            if what == "show":
                self.observe(op, d.show)
            elif what == "hide":
                self.observe(op, d.hide)
            elif what == "process":
                self.observe(op, QCoreApplication.sendPostedEvents)
            elif what == "main window":
                self.host.app.mainWindow = self.widgets["other"]
            else:
                self.host.app.mainWindow = None
        self.trace.append(["state", snapshot(d, self.norm)])

    def run(self):
        cls = self.cls
        cls.log, cls.norm = self.trace, self.norm
        previous_hook = sys.excepthook
        sys.excepthook = lambda kind, value, tb: self.trace.append(
            ["escaped into Qt", kind.__name__, clean_text(str(value))])
        styles.setTheme("light")
        i18n.setLanguage("en")
        try:
            self.construct()
            if self.drawer is not None:
                self.trace.append(["state", snapshot(self.drawer, self.norm)])
                for op in self.scenario[1]:
                    self.step(op)
        finally:
            try:
                self.host.close()
                QCoreApplication.sendPostedEvents()
                flush_deletions()
            finally:
                cls.log, cls.norm = [], None
                cls.made.clear()
                sys.excepthook = previous_hook
        return self.trace


_ABSENT = object()


def describe(entry_a, entry_b, first, second):
    """The differing parts of two trace entries."""
    if (isinstance(entry_a, list) and isinstance(entry_b, list) and entry_a[:1] == entry_b[:1] == ["state"]
            and isinstance(entry_a[1], dict) and isinstance(entry_b[1], dict)):
        a, b = entry_a[1], entry_b[1]
        lines = []
        for key in dict.fromkeys([*a, *b]):
            if a.get(key) != b.get(key):
                if key == "vars":
                    va, vb = dict(map(tuple, a[key])), dict(map(tuple, b[key]))
                    for name in dict.fromkeys([*va, *vb]):
                        if va.get(name, "<absent>") != vb.get(name, "<absent>"):
                            lines.append(f"  attribute {name}: {first} {va.get(name, '<absent>')!r}, "
                                         f"{second} {vb.get(name, '<absent>')!r}")
                    if list(va) != list(vb) and not lines:
                        lines.append(f"  attribute order: {first} {list(va)}, {second} {list(vb)}")
                else:
                    lines.append(f"  {key}: {first} {a.get(key)!r}, {second} {b.get(key)!r}")
        return "state after the step differs:\n" + "\n".join(lines)
    return f"  {first}: {entry_a!r}\n  {second}: {entry_b!r}"


def compare(scenario, first="cpp", second="model"):
    if JOURNAL:
        with open(JOURNAL, "a") as journal:
            journal.write(repr(scenario) + "\n")
    a = Run(first, scenario).run()
    b = Run(second, scenario).run()
    if a != b:
        i = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
        context = "\n".join(f"    {e!r}"[:300] for e in a[max(0, i - 8):i] if e[0] != "state")
        pytest.fail(
            f"traces differ at entry {i} of {len(a)}/{len(b)}\n  before (without states):\n{context}\n"
            + describe(a[i] if i < len(a) else "<end>", b[i] if i < len(b) else "<end>", first, second),
            pytrace=False)


FUZZ_SETTINGS = settings(max_examples=EXAMPLES, deadline=None, derandomize=EXAMPLES <= 100,
                         suppress_health_check=list(HealthCheck), print_blob=True)


def warm_up():
    # First uses of fonts and styles send events of their own; let them happen before any trace.
    for name in MODULES:
        Run(name, ({"values": {"open": ("state", ("bool", False)), "minWidth": ("int", 300),
                               "children": ("list", [("widget", "label")])},
                    "parent": None, "positional": 0, "surplus": [], "extra": {}},
                   [("call", "showDrawer"), ("send", "press", "self"), ("qt", "process")])).run()


@pytest.fixture(scope="module", autouse=True)
def warm_qt(qapp):
    warm_up()


@FUZZ_SETTINGS
@given(scenarios)
def test_compiled_drawer_matches_the_model(scenario):
    compare(scenario)


@settings(max_examples=max(5, EXAMPLES // 10), deadline=None, derandomize=True,
          suppress_health_check=list(HealthCheck))
@given(scenarios)
def test_the_harness_is_deterministic(scenario):
    """The model against itself: any difference here is noise of the harness, not a finding."""
    compare(scenario, "model", "model")


def replay(path, which="both", index=-1):
    """Runs the scenario at ``index`` of a journal again: ``which`` is "cpp", "model" or "both"."""
    from qtpy.QtWidgets import QApplication

    app = QApplication.instance() or QApplication([])
    lines = open(path).read().splitlines()
    scenario = eval(lines[index], {"nan": float("nan"), "inf": float("inf")})  # noqa: S307 - our own journal
    warm_up()
    if which == "both":
        compare(scenario)
    else:
        Run(which, scenario).run()
    return "done"
