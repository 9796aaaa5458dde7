"""The host event filter: following the anchor element and refreshing after a mouse drag.

Qt delivers events to the filter in most tests. A test that expects an exception out of the
filter calls `eventFilter` directly: an exception escaping a filter during Qt's own delivery
ends the process under some bindings.
"""

import sys

import pytest
from qtpy.QtCore import QEvent, QPoint, QPointF, QRect, QSize, Qt
from qtpy.QtGui import QKeyEvent, QMouseEvent, QMoveEvent, QResizeEvent
from qtpy.QtWidgets import QApplication, QSplitter, QWidget

from zarnu.hooks.use_state import State
from zarnu.material.drawer import drawer as drawer_module
from zarnu.material.drawer.drawer import Drawer


# --- helpers ------------------------------------------------------------------

class Recorder(Drawer):
    """Counts the calls the filter makes through the instance; `fail` names one to make raise."""

    fail = None

    def _note(self, name):
        counts = self.__dict__.setdefault("counts", {})
        counts[name] = counts.get(name, 0) + 1
        if self.fail == name:
            raise LookupError(name)

    def count(self, name):
        return self.__dict__.get("counts", {}).get(name, 0)

    def update_position(self):
        self._note("update_position")
        return super().update_position()

    def refresh(self):
        self._note("refresh")
        return super().refresh()

    def update(self, *args):
        self._note("update")
        return super().update(*args)


@pytest.fixture
def anchored(make_drawer, anchor_widget):
    return make_drawer(cls=Recorder, anchorEl=anchor_widget)


def global_rect(widget):
    return QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size())


def mouse(kind, button=Qt.MouseButton.LeftButton):
    event_type = QEvent.Type.MouseButtonPress if kind == "press" else QEvent.Type.MouseButtonRelease
    buttons = button if kind == "press" else Qt.MouseButton.NoButton
    return QMouseEvent(event_type, QPointF(2, 2), QPointF(2, 2), button, buttons, Qt.KeyboardModifier.NoModifier)


def escape():
    return QKeyEvent(QEvent.Type.KeyPress, Qt.Key.Key_Escape, Qt.KeyboardModifier.NoModifier)


def watched(drawer, name):
    return {
        "drawer": drawer,
        "main_window": QApplication.instance().mainWindow,
        "handle": drawer.handle(1),
        "anchor": drawer._anchorEl,
    }[name]


# --- following the anchor element -----------------------------------------------------

CHANGES = {
    "resize": lambda widget: widget.resize(470, 330),
    "move": lambda widget: widget.move(61, 47),
}


@pytest.mark.parametrize("change", CHANGES)
def test_visible_drawer_follows_its_anchor_element(anchored, anchor_widget, change):
    anchored.showDrawer()
    CHANGES[change](anchor_widget)
    assert anchored.count("update_position") == 2
    assert anchored.geometry() == global_rect(anchor_widget)


@pytest.mark.parametrize("change", CHANGES)
def test_hidden_drawer_ignores_its_anchor_element(anchored, anchor_widget, change):
    anchored.showDrawer()
    anchored._close()
    before = anchored.geometry()
    CHANGES[change](anchor_widget)
    assert anchored.count("update_position") == 1
    assert anchored.geometry() == before


def test_main_window_resize_ignored_when_an_anchor_element_was_given(anchored, main_window, qapp):
    anchored.showDrawer()
    main_window.resize(900, 700)
    qapp.processEvents()
    assert anchored.count("update_position") == 1


def test_main_window_resize_replaces_once_it_is_the_anchor(make_drawer, main_window, qapp):
    drawer = make_drawer(cls=Recorder)
    # Before the first placement nothing is the anchor element.
    main_window.resize(820, 610)
    qapp.processEvents()
    assert drawer.count("update_position") == 0
    drawer.showDrawer()
    main_window.resize(900, 700)
    qapp.processEvents()
    assert drawer.count("update_position") >= 2
    assert drawer.geometry() == global_rect(main_window)


def test_own_geometry_changes_do_not_recurse(anchored, qapp):
    anchored.showDrawer()
    qapp.processEvents()
    assert anchored.count("update_position") == 1
    size = anchored.size()
    anchored.eventFilter(anchored, QResizeEvent(size, size))
    anchored.eventFilter(anchored, QMoveEvent(QPoint(1, 1), QPoint(0, 0)))
    assert anchored.count("update_position") == 1


# --- drag tracking --------------------------------------------------------------------

@pytest.mark.parametrize(
    "press_on, release_on",
    [("main_window", "handle"), ("handle", "drawer"), ("anchor", "main_window"), ("handle", "handle")],
)
def test_press_then_release_anywhere_refreshes_once(anchored, press_on, release_on):
    QApplication.sendEvent(watched(anchored, press_on), mouse("press"))
    assert anchored._user_dragging is True
    QApplication.sendEvent(watched(anchored, release_on), mouse("release"))
    assert anchored._user_dragging is False
    assert (anchored.count("refresh"), anchored.count("update")) == (1, 1)


@pytest.mark.parametrize(
    "sequence, refreshes",
    [
        ("release", 0),
        ("press release release", 1),
        ("press press release", 1),
        ("press release press release", 2),
        ("release press", 0),
    ],
)
def test_drag_sequences(anchored, sequence, refreshes):
    targets = ["main_window", "handle", "drawer", "anchor"]
    for i, kind in enumerate(sequence.split()):
        button = Qt.MouseButton.RightButton if i % 2 else Qt.MouseButton.LeftButton
        QApplication.sendEvent(watched(anchored, targets[i % len(targets)]), mouse(kind, button))
    assert (anchored.count("refresh"), anchored.count("update")) == (refreshes, refreshes)


@pytest.mark.parametrize("target", ["main_window", "drawer", "handle", "anchor"])
def test_escape_gets_no_special_treatment(anchored, target):
    closes = []
    anchored._set_onClose(lambda: closes.append(1))
    anchored.showDrawer()
    QApplication.sendEvent(watched(anchored, target), escape())
    assert anchored.isVisible()
    assert closes == []
    source, event = watched(anchored, target), escape()
    assert anchored.eventFilter(source, event) == QSplitter.eventFilter(anchored, source, event)
    assert anchored.isVisible() and closes == []


# --- results -----------------------------------------------------------------------------

EVENTS = {
    "resize": lambda: QResizeEvent(QSize(10, 10), QSize(5, 5)),
    "move": lambda: QMoveEvent(QPoint(3, 3), QPoint(0, 0)),
    "press": lambda: mouse("press"),
    "release": lambda: mouse("release"),
    "escape": escape,
    "user": lambda: QEvent(QEvent.Type.User),
}


@pytest.mark.parametrize("source", ["drawer", "main_window", "handle", "anchor"])
@pytest.mark.parametrize("event", EVENTS)
def test_result_equals_base_class_result(anchored, source, event):
    anchored.showDrawer()
    obj, ev = watched(anchored, source), EVENTS[event]()
    assert anchored.eventFilter(obj, ev) == QSplitter.eventFilter(anchored, obj, ev)
    assert anchored.eventFilter(source=obj, event=ev) == QSplitter.eventFilter(anchored, obj, ev)


class Sentinel:
    pass


class Marked(QEvent):
    pass


def test_base_result_is_returned_unchanged(make_drawer):
    # The odd results are given only to direct calls; Qt's own deliveries get a bool.
    seen, result = [], Sentinel()

    class Base(QSplitter):
        def eventFilter(self, source, event):
            if isinstance(event, Marked):
                seen.append((source, event))
                return result
            return QSplitter.eventFilter(self, source, event)

    class Mixed(Drawer, Base):
        pass

    drawer = make_drawer(cls=Mixed)
    event = Marked(QEvent.Type.User)
    assert drawer.eventFilter(drawer, event) is result
    assert seen == [(drawer, event)]

    # A base method replaced later is the one called.
    other = Sentinel()
    replaced = Base.eventFilter
    Base.eventFilter = lambda self, source, event: other if isinstance(event, Marked) else replaced(self, source, event)
    assert drawer.eventFilter(drawer, event) is other


class CountingEvent(QEvent):
    reads = 0

    def type(self):
        CountingEvent.reads += 1
        return super().type()


class ComparedWidget(QWidget):
    compares = 0
    __hash__ = QWidget.__hash__

    def __eq__(self, other):
        ComparedWidget.compares += 1
        return NotImplemented


@pytest.mark.parametrize(
    "event_type, reads, compares",
    [
        (QEvent.Type.User, 4, 0),
        (QEvent.Type.KeyPress, 4, 0),
        (QEvent.Type.MouseButtonPress, 3, 0),
        (QEvent.Type.MouseButtonRelease, 4, 0),
        (QEvent.Type.Resize, 3, 1),
        (QEvent.Type.Move, 4, 1),
    ],
    ids=["user", "key", "press", "release", "resize", "move"],
)
def test_event_type_reads_and_source_comparisons(anchored, event_type, reads, compares):
    source = ComparedWidget()
    CountingEvent.reads = ComparedWidget.compares = 0
    anchored.eventFilter(source, CountingEvent(event_type))
    assert (CountingEvent.reads, ComparedWidget.compares) == (reads, compares)


@pytest.mark.parametrize("event", EVENTS)
def test_filter_keeps_no_references(anchored, anchor_widget, event):
    anchored.showDrawer()
    ev = EVENTS[event]()
    objects = (anchored, anchor_widget, ev)
    anchored.eventFilter(anchor_widget, ev)
    before = [sys.getrefcount(obj) for obj in objects]
    for _ in range(200):
        anchored.eventFilter(anchor_widget, ev)
    assert [sys.getrefcount(obj) for obj in objects] == before


# --- failures propagate from a direct call ------------------------------------------------

def test_update_position_error_propagates(anchored, anchor_widget):
    anchored.showDrawer()
    anchored.fail = "update_position"
    with pytest.raises(LookupError):
        anchored.eventFilter(anchor_widget, QResizeEvent(QSize(1, 1), QSize(2, 2)))
    anchored.fail = None
    assert anchored._user_dragging is False


@pytest.mark.parametrize("failing", ["refresh", "update"])
def test_drag_error_propagates_with_flag_already_cleared(anchored, failing):
    anchored.eventFilter(anchored, mouse("press"))
    anchored.fail = failing
    with pytest.raises(LookupError, match=failing):
        anchored.eventFilter(anchored, mouse("release"))
    anchored.fail = None
    assert anchored._user_dragging is False
    assert anchored.count("update") == (1 if failing == "update" else 0)


def test_event_type_error_propagates(anchored):
    class BrokenEvent(QEvent):
        def type(self):
            raise LookupError("type")

    with pytest.raises(LookupError):
        anchored.eventFilter(anchored, BrokenEvent(QEvent.Type.User))


# --- overrides and replaced names ------------------------------------------------------------

@pytest.mark.parametrize("reported, placements", [(True, 1), (False, 0)])
def test_is_visible_override_decides_placement(make_drawer, anchor_widget, reported, placements):
    class Claims(Recorder):
        def isVisible(self):
            return reported

    drawer = make_drawer(cls=Claims, anchorEl=anchor_widget)
    if not reported:
        drawer.showDrawer()
        placements += 1
    drawer.eventFilter(anchor_widget, QMoveEvent(QPoint(1, 1), QPoint(0, 0)))
    assert drawer.count("update_position") == placements


def test_replaced_qevent_name_is_honoured(anchored, anchor_widget, monkeypatch):
    class FakeQEvent:
        Resize = QEvent.Type.User
        Move = QEvent.Type.MaxUser
        MouseButtonPress = QEvent.Type.KeyPress
        MouseButtonRelease = QEvent.Type.KeyRelease

    def resize():
        return QResizeEvent(QSize(1, 1), QSize(2, 2))

    def key(kind):
        return QKeyEvent(kind, Qt.Key.Key_A, Qt.KeyboardModifier.NoModifier)

    anchored.showDrawer()
    anchored.eventFilter(anchor_widget, resize())  # warm whatever the filter keeps
    assert anchored.count("update_position") == 2

    monkeypatch.setattr(drawer_module, "QEvent", FakeQEvent)
    anchored.eventFilter(anchor_widget, resize())
    assert anchored.count("update_position") == 2
    anchored.eventFilter(anchor_widget, QEvent(QEvent.Type.User))
    assert anchored.count("update_position") == 3
    anchored.eventFilter(anchored, mouse("press"))
    anchored.eventFilter(anchored, mouse("release"))
    assert anchored.count("refresh") == 0
    anchored.eventFilter(anchored, key(QEvent.Type.KeyPress))
    anchored.eventFilter(anchored, key(QEvent.Type.KeyRelease))
    assert anchored.count("refresh") == 1

    # A constant changed on the stand-in class counts from the next event on.
    FakeQEvent.Resize = QEvent.Type.Resize
    anchored.eventFilter(anchor_widget, resize())
    assert anchored.count("update_position") == 4

    monkeypatch.undo()
    anchored.eventFilter(anchor_widget, QEvent(QEvent.Type.User))
    assert anchored.count("update_position") == 4
    anchored.eventFilter(anchor_widget, resize())
    assert anchored.count("update_position") == 5
    anchored.eventFilter(anchored, mouse("press"))
    anchored.eventFilter(anchored, mouse("release"))
    assert anchored.count("refresh") == 2
