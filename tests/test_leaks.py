"""Memory: drawers built and dropped, and every operation repeated, leave nothing behind.

Each scenario runs a cycle many times after a warm-up and measures the growth of the
interpreter's allocated blocks per cycle, and checks that the live Qt objects (Python wrappers
and C++ widgets) return to their count at the start. Some bindings keep a block per dropped
connection themselves; when the compiled module grows, the plain-Python model is run through
the same cycle and the module may grow no more than it does. Under scripts/sanitize.sh the same
cycles run in children under LeakSanitizer too, which sees what the interpreter does not count.
"""

import gc
import os
import re
import sys
from collections import Counter

import pytest
from qtpy.QtCore import QEvent, QPoint, QPointF, QSize, Qt
from qtpy.QtGui import QKeyEvent, QMouseEvent, QMoveEvent, QResizeEvent
from qtpy.QtWidgets import QApplication, QGraphicsDropShadowEffect, QLabel, QMainWindow, QPushButton, QWidget

from zarnu.hooks.use_state import State
from zarnu.i18n.use_translation import i18n
from zarnu.material import styles
import zarnu.material.drawer.drawer as cpp_module

from model_support import describe_failure, flush_deletions, load_model, run_child

WARM_UP = 400
WINDOW = 300
MAX_WINDOWS = 6
# Blocks per cycle. A reference kept per cycle shows as one block or more per cycle in every
# window; caches of Qt and of the interpreter that fill up show in the early windows only.
SLACK = 0.25


def mouse(kind, button=Qt.MouseButton.LeftButton):
    t = QEvent.Type.MouseButtonPress if kind == "press" else QEvent.Type.MouseButtonRelease
    return QMouseEvent(t, QPointF(1, 1), QPointF(1, 1), button, button, Qt.KeyboardModifier.NoModifier)


def settle():
    # Some bindings drop their records of connections to deleted receivers at the next emission.
    i18n.langChanged.emit()
    styles.useTheme().signal.changed.emit()
    flush_deletions()
    gc.collect()


def live_wrappers():
    return sum(1 for o in gc.get_objects() if isinstance(o, QWidget))


def measure(setup, cycle):
    """Per-cycle block growth and the change of live widgets after the cycles.

    The growth is the least over windows of cycles; measuring stops at the first window
    within the slack.
    """
    state = setup()
    for i in range(WARM_UP):
        cycle(state, i)
    settle()
    widgets, wrappers = len(QApplication.allWidgets()), live_wrappers()
    growth = []
    while len(growth) < MAX_WINDOWS and (not growth or min(growth) > SLACK):
        settle()
        start = sys.getallocatedblocks()
        for i in range(WINDOW):
            cycle(state, i)
        settle()
        growth.append((sys.getallocatedblocks() - start) / WINDOW)
    return min(growth), len(QApplication.allWidgets()) - widgets, live_wrappers() - wrappers


# --- scenarios: each takes the module and gives (setup, cycle) ---------------------------------

def _sx(i):
    return [None, "color: red;", {"color": "blue"}, lambda: {"margin": "1px"}, lambda: "margin: 0px;",
            State("ignored")][i % 6]


def construct(module, release="deleteLater"):
    """Drawers with every form of the props, deleted through deleteLater or dropped."""

    def setup():
        return None

    def cycle(_, i):
        anchor = QWidget()
        children = [[QLabel("a"), QLabel("b")], QLabel("c"), (QLabel("d"),), State([])][i % 4]
        drawer = module.Drawer(
            None, ["T", State("T"), lambda: "T"][i % 3], ["left", "right", "top", "bottom", State("left")][i % 5],
            [anchor, None, State(anchor)][i % 3], children, {"c": 1}, [8, State(2)][i % 2], State(False),
            [None, {}, {"m": 1}][i % 3], [None, lambda: None, State(None)][i % 3], State(bool(i % 2)),
            None, {"s": 1}, None, State({}), _sx(i), 300, [None, "temporary", State("permanent")][i % 3],
            300, [None, 600][i % 2], [None, 100][i % 2], [None, 400][i % 2],
            "surplus", extra=1)
        if release == "deleteLater":
            drawer.deleteLater()
        anchor.deleteLater()
        flush_deletions()

    return setup, cycle


def construct_and_fail(module):
    """Constructions that raise at different steps; the half-built drawers are dropped."""
    failures = [
        (TypeError, lambda: dict(title=5)),                      # validation of the first prop
        (ValueError, lambda: dict(anchor="middle")),             # a value outside the valid ones
        (TypeError, lambda: dict(maxHeight="tall")),             # validation of the last prop
        (TypeError, lambda: dict(minWidth=None)),                # splitter sizes
        (TypeError, lambda: dict(children=[QLabel("a"), 5])),    # a child that is no widget
        (ValueError, lambda: dict(open=True)),                   # open not a State
        (ZeroDivisionError, lambda: dict(sx=lambda: 1 / 0)),     # the style sheet
        (TypeError, lambda: dict(bogus=1, title=1.5)),
    ]

    def setup():
        return None

    def cycle(_, i):
        exc, props = failures[i % len(failures)]
        props = dict(dict(open=State(False), minWidth=300), **props())
        with pytest.raises(exc):
            module.Drawer(**props)
        flush_deletions()

    return setup, cycle


def one_drawer(module, **props):
    anchor = QWidget(QApplication.instance().mainWindow)
    anchor.setGeometry(20, 30, 300, 200)
    anchor.show()
    closed = []
    props = dict(dict(open=State(False), minWidth=300, anchorEl=anchor, onClose=lambda: closed.append(1),
                      children=[QLabel("a")], sx={"color": "red"}), **props)
    drawer = module.Drawer(**props)
    return drawer, anchor, closed


PROPS = [name[5:] for name in vars(cpp_module.Drawer) if name.startswith("_set_") and name != "_set_stylesheet"]


def methods(module):
    def setup():
        return one_drawer(module)

    def cycle(state, i):
        drawer, anchor, closed = state
        drawer.showDrawer()
        drawer._show(True)
        drawer._show(i % 3)
        drawer._close()
        closed.clear()
        drawer.update_position()
        drawer.setShadowEffect()
        drawer.setShadowEffect(10 + i % 5, [i % 3, 2], color=Qt.GlobalColor.red)
        drawer.reTranslation()
        drawer._set_stylesheet()
        drawer._set_transitionDuration([300, State(200)][i % 2])
        for prop in PROPS:
            getattr(drawer, "_set_" + prop)(getattr(drawer, "_" + prop))
            getattr(drawer, "_get_" + prop)()
        drawer._set_title(State("T%d" % (i % 7)))
        drawer._get_title()

    return setup, cycle


def signals(module):
    def setup():
        drawer, anchor, closed = one_drawer(module)
        show, close = QPushButton(), QPushButton()
        show.clicked.connect(drawer.showDrawer)
        close.clicked.connect(drawer._close)
        return drawer, show, close

    def cycle(state, i):
        drawer, show, close = state
        drawer._open.value = True
        drawer._open.value = False
        drawer._open.value = i     # true on a hidden drawer: opens; 0: hides
        styles.toggleTheme()
        i18n.setLanguage(["fr", "vi", "en"][i % 3])
        show.click()
        close.click()

    return setup, cycle


def events(module):
    def setup():
        drawer, anchor, closed = one_drawer(module)
        drawer.showDrawer()
        return drawer, anchor

    def cycle(state, i):
        drawer, anchor = state
        main = QApplication.instance().mainWindow
        handle = drawer.handle(1)
        anchor.resize(300 + i % 4, 200)
        anchor.move(20 + i % 3, 30)
        for source in (drawer, anchor, main, handle):
            QApplication.sendEvent(source, mouse("press"))
            QApplication.sendEvent(source, mouse("release"))
            QApplication.sendEvent(source, QKeyEvent(QEvent.Type.KeyPress, Qt.Key.Key_Escape,
                                                     Qt.KeyboardModifier.NoModifier))
            drawer.eventFilter(source, QResizeEvent(QSize(5, 5), QSize(4, 4)))
            drawer.eventFilter(source, QMoveEvent(QPoint(1, 1), QPoint(0, 0)))
            drawer.eventFilter(source, QEvent(QEvent.Type.Enter))

    return setup, cycle


def errors(module):
    """The failing paths of the methods: every exception is dropped by the cycle."""

    def setup():
        drawer, anchor, closed = one_drawer(module)
        return drawer

    class Boom(Exception):
        pass

    def boom(*_):
        raise Boom("boom")

    class BadEvent:
        def type(self):
            raise Boom("type")

    def cycle(drawer, i):
        cls = module.Drawer
        calls = [
            lambda: cls._show(drawer),
            lambda: cls._show(drawer, 1, 2),
            lambda: cls._show(drawer, state=1, other=2),
            lambda: cls._show(drawer, 1, **{"state": 2}),
            lambda: cls.showDrawer(),
            lambda: cls.showDrawer(object()),
            lambda: cls.eventFilter(drawer, drawer, BadEvent()),
            lambda: cls.eventFilter(object(), drawer, QEvent(QEvent.Type.Enter)),
            lambda: cls.setShadowEffect(drawer, 1, 2, 3, 4),
            lambda: cls._get_title(drawer, 1),
            lambda: cls._set_elevation(drawer, "high"),
            lambda: cls._set_variant(drawer, "sideways"),
            lambda: drawer._get_transitionDuration() if i % 2 else drawer._get_bogus(),
        ]
        for call in calls:
            try:
                call()
            except (TypeError, ValueError, AttributeError, RuntimeError, Boom):
                pass
        drawer._set_onClose(boom)
        with pytest.raises(Boom):
            drawer._close()
        drawer._set_anchorEl(State(None))   # truthy, and no mapToGlobal
        with pytest.raises(AttributeError):
            drawer.update_position()
        drawer._set_anchorEl(None)
        drawer._set_sx(boom)
        with pytest.raises(Boom):
            drawer._set_stylesheet()
        drawer._set_sx(None)
        drawer.__dict__.pop("_transitionDuration", None)
        # Swallowed failures. The effect made before the failing step stays a child of the
        # content frame for the drawer's life, as designed; it is removed here so that only
        # what the call itself might keep shows.
        drawer.setShadowEffect(offset=7)
        drawer.setShadowEffect(color="no colour")
        content = drawer._frm_content
        for effect in content.findChildren(QGraphicsDropShadowEffect):
            if effect is not content.graphicsEffect():
                effect.setParent(None)

    return setup, cycle


SCENARIOS = {
    "construct": construct,
    "construct_and_drop": lambda module: construct(module, release="drop"),
    "construct_and_fail": construct_and_fail,
    "methods": methods,
    "signals": signals,
    "events": events,
    "errors": errors,
}


@pytest.mark.parametrize("scenario", SCENARIOS)
def test_repeated_use_leaves_nothing_behind(main_window, scenario):
    styles.setTheme("light")
    i18n.setLanguage("en")
    try:
        growth, widgets, wrappers = measure(*SCENARIOS[scenario](cpp_module))
    finally:
        styles.setTheme("light")
        i18n.setLanguage("en")
    assert widgets <= 0, f"{widgets} more C++ widgets alive after the cycles"
    assert wrappers <= 0, f"{wrappers} more widget wrappers alive after the cycles"
    if growth > SLACK:
        # The binding itself may hold a block per cycle; the model shows what it holds.
        model_growth, _, _ = measure(*SCENARIOS[scenario](load_model()))
        styles.setTheme("light")
        i18n.setLanguage("en")
        assert growth <= model_growth + SLACK, (
            f"{growth:.3f} blocks per cycle against {model_growth:.3f} for the Python model")


@pytest.mark.parametrize("deletion", ["deleteLater", "drop"])
def test_dropped_drawers_are_freed(main_window, deletion):
    """The wrappers die with their drawers, also when a callback closes a reference cycle."""
    before = sum(1 for o in gc.get_objects() if isinstance(o, cpp_module.Drawer))
    for i in range(200):
        drawer = cpp_module.Drawer(open=State(False), minWidth=300, children=[QLabel("a")])
        drawer._set_onClose(lambda d=drawer: d.hide())   # drawer -> closure -> drawer
        drawer.showDrawer()
        if deletion == "deleteLater":
            drawer.deleteLater()
        del drawer
        flush_deletions()
    gc.collect()
    assert sum(1 for o in gc.get_objects() if isinstance(o, cpp_module.Drawer)) == before


# --- under LeakSanitizer (scripts/sanitize.sh) -------------------------------------------------
# The interpreter and Qt are not leak-clean at exit, so only leaks whose allocation stack passes
# through our own code count, and of those only the ones that grow with the cycles: the others
# are the import's one-time allocations (interned names, the class), which live until exit. An
# object still linked into the collector's lists is reachable for LeakSanitizer; such leaks are
# what the measurement above counts instead.
OURS = re.compile(r"material/drawer/\w+\.[ch]pp|/sibling/\w+\.[ch]pp|drawer\.cpython-3\d+[^ ]*\.so")


def all_scenarios(n):
    """Run in a child: ``n`` cycles of every scenario, on a main window of its own."""
    app = QApplication([])
    app.mainWindow = QMainWindow()
    app.mainWindow.resize(800, 600)
    app.mainWindow.show()
    scenarios = [(cycle, setup()) for setup, cycle in (make(cpp_module) for make in SCENARIOS.values())]
    for i in range(n):
        for cycle, state in scenarios:
            cycle(state, i)
    settle()
    return n


def leaks_through_our_code(reports):
    """Objects leaked per allocation stack (keyed by its first frames), and the stacks."""
    counts, stacks = Counter(), {}
    for log in reports.parent.glob(reports.name + ".*"):
        for block in re.split(r"\n(?=(?:Direct|Indirect) leak of )", log.read_text(errors="replace")):
            m = re.match(r"(Direct|Indirect) leak of \d+ byte\(s\) in (\d+) object\(s\)", block)
            frames = re.findall(r"#\d+ 0x[0-9a-f]+ in (.*)", block)
            if m and any(OURS.search(f) for f in frames):
                key = (m.group(1),) + tuple(re.sub(r"\+0x[0-9a-f]+", "", f) for f in frames[:16])
                counts[key] += int(m.group(2))
                stacks[key] = frames[:25]
    return counts, stacks


@pytest.mark.skipif("libasan" not in os.environ.get("LD_PRELOAD", ""), reason="runs under scripts/sanitize.sh")
def test_no_leak_through_our_code_grows_with_the_cycles(tmp_path):
    runs = [int(n) for n in os.environ.get("SANITIZE_LOOP", "40 200").split()]
    found = []
    for n in runs:
        # PYTHONMALLOC=malloc: every object is an allocation of its own, visible to LeakSanitizer;
        # the slow unwinder: the interpreter has no frame pointers. The child exits non-zero, as
        # the interpreter's own leaks are found too; it must have finished its cycles.
        result, proc = run_child(__file__, "all_scenarios", n, timeout=900, env={
            "PYTHONMALLOC": "malloc",
            "ASAN_OPTIONS": "detect_leaks=1:halt_on_error=1:fast_unwind_on_malloc=0:malloc_context_size=40"
                            f":log_path={tmp_path}/lsan-{n}",
            "UBSAN_OPTIONS": f"halt_on_error=1:print_stacktrace=1:log_path={tmp_path}/ubsan-{n}"})
        errors = [text for text in (f.read_text(errors="replace") for f in tmp_path.iterdir())
                  if re.search("ERROR: AddressSanitizer|runtime error:", text)]
        assert result == n and not errors, describe_failure(proc) + "\n".join(errors)
        found.append(leaks_through_our_code(tmp_path / f"lsan-{n}"))
    (short, _), (long, stacks) = found
    growing = {key: long[key] - short[key] for key in long if long[key] - short[key] >= (runs[1] - runs[0]) / 2}
    assert not growing, "\n".join(f"{key[0]} leak growing by {extra} objects over {runs[1] - runs[0]} more "
                                  "cycles:\n    " + "\n    ".join(stacks[key]) for key, extra in growing.items())
