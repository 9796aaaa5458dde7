"""Opening, closing and placing the drawer window over its anchor element."""

import pytest
from qtpy.QtCore import QCoreApplication, QEvent, QObject, QPoint, QRect, Signal
from qtpy.QtWidgets import QPushButton, QWidget

from zarnu.hooks.use_state import State
from zarnu.material.drawer import drawer as drawer_module
from zarnu.material.drawer.drawer import Drawer


# --- fixtures -----------------------------------------------------------------

@pytest.fixture
def other_window():
    window = QWidget()
    window.setGeometry(150, 120, 640, 420)
    window.show()
    yield window
    window.close()
    window.deleteLater()
    QCoreApplication.sendPostedEvents(None, QEvent.Type.DeferredDelete)


class Recorder(Drawer):
    """Logs the calls that the placement methods make through the instance."""

    log = None

    def _note(self, entry):
        if self.log is not None:
            self.log.append(entry)

    def update_position(self):
        self._note("update_position")
        return super().update_position()

    def isVisible(self):
        self._note("isVisible")
        return super().isVisible()

    def setVisible(self, visible):
        self._note(("setVisible", visible))
        return super().setVisible(visible)


def global_rect(widget):
    return QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size())


# --- the transition table -----------------------------------------------------------

OPEN = ["update_position", ("setVisible", True)]
SHOW_OPEN = ["isVisible", *OPEN]
HIDE = [("setVisible", False)]


@pytest.mark.parametrize(
    "visible, method, args, kwargs, calls, visible_after",
    [
        (False, "showDrawer", (), {}, OPEN, True),
        (True, "showDrawer", (), {}, OPEN, True),
        (False, "_show", (True,), {}, SHOW_OPEN, True),
        (False, "_show", ("yes",), {}, SHOW_OPEN, True),
        (False, "_show", (), {"state": [0]}, SHOW_OPEN, True),
        (True, "_show", (True,), {}, ["isVisible", *HIDE], False),
        (False, "_show", (False,), {}, HIDE, False),
        (False, "_show", (None,), {}, HIDE, False),
        (False, "_show", (0,), {}, HIDE, False),
        (True, "_show", (False,), {}, HIDE, False),
        (True, "_show", ("",), {}, HIDE, False),
        (False, "_close", (), {}, HIDE, False),
        (True, "_close", (), {}, HIDE, False),
    ],
    ids=[
        "hidden-showDrawer", "visible-showDrawer", "hidden-show-True", "hidden-show-str",
        "hidden-show-kw-list", "visible-show-True", "hidden-show-False", "hidden-show-None",
        "hidden-show-0", "visible-show-False", "visible-show-empty-str", "hidden-close",
        "visible-close",
    ],
)
def test_transition_table(make_drawer, visible, method, args, kwargs, calls, visible_after):
    open_state = State(True)
    emitted = []
    open_state.valueChanged.connect(emitted.append)
    closes = []
    drawer = make_drawer(cls=Recorder, open=open_state, onClose=lambda *a: closes.append(a))
    if visible:
        drawer.showDrawer()
    assert QWidget.isVisible(drawer) is visible
    drawer.log = []
    assert getattr(drawer, method)(*args, **kwargs) is None
    assert drawer.log == calls
    assert QWidget.isVisible(drawer) is visible_after
    assert closes == ([()] if method == "_close" else [])
    # Nothing here writes the open state.
    assert emitted == [] and open_state.value is True


def test_close_calls_on_close_once_per_call_even_when_hidden(make_drawer):
    closes = []
    drawer = make_drawer(onClose=lambda: closes.append("closed"))
    drawer._close()
    drawer._close()
    assert closes == ["closed", "closed"]
    assert not drawer.isVisible()


def test_close_skips_a_false_on_close(make_drawer):
    class FalseCallable:
        def __bool__(self):
            return False

        def __call__(self):
            raise AssertionError("a false onClose must not be called")

    drawer = make_drawer(onClose=FalseCallable())
    drawer.showDrawer()
    drawer._close()
    assert not drawer.isVisible()


def test_on_close_needing_two_arguments_fails_after_hiding(make_drawer):
    drawer = make_drawer(onClose=lambda event, reason: None)
    drawer.showDrawer()
    with pytest.raises(TypeError):
        drawer._close()
    assert not drawer.isVisible()


# --- the open state ----------------------------------------------------------------

def test_true_open_state_at_construction_does_not_open(make_drawer):
    drawer = make_drawer(open=State(True))
    assert not drawer.isVisible()
    assert drawer._anchorEl is None


def test_open_state_changes_drive_the_drawer(make_drawer, main_window):
    open_state = State(False)
    drawer = make_drawer(open=open_state)
    open_state.value = True
    assert drawer.isVisible()
    assert drawer.geometry() == global_rect(main_window)
    open_state.value = False
    assert not drawer.isVisible()
    open_state.valueChanged.emit(True)
    assert drawer.isVisible()
    # A true value signalled while visible hides the drawer.
    open_state.valueChanged.emit(True)
    assert not drawer.isVisible()


class Source(QObject):
    nothing = Signal()
    flag = Signal(bool)
    pair = Signal(object, object)


def test_methods_work_as_slots_of_binding_signals(make_drawer):
    closes = []
    drawer = make_drawer(onClose=lambda: closes.append(1))
    source, button = Source(), QPushButton()
    source.flag.connect(drawer.showDrawer)
    source.nothing.connect(drawer._close)
    source.pair.connect(drawer._show)
    button.clicked.connect(drawer.showDrawer)

    source.flag.emit(False)
    assert drawer.isVisible()
    source.nothing.emit()
    assert not drawer.isVisible() and closes == [1]
    source.pair.emit(True, None)
    assert drawer.isVisible()
    source.pair.emit(False, True)
    assert not drawer.isVisible()
    button.click()
    assert drawer.isVisible()


# --- geometry ------------------------------------------------------------------------

@pytest.mark.parametrize("anchor", ["left", "right", "top", "bottom"])
def test_geometry_is_the_anchor_elements_global_rectangle(make_drawer, anchor_widget, anchor):
    drawer = make_drawer(anchor=anchor, anchorEl=anchor_widget)
    drawer.showDrawer()
    assert drawer.isVisible()
    assert drawer.geometry() == global_rect(anchor_widget)
    assert drawer._anchorEl is anchor_widget


@pytest.mark.parametrize("anchor", ["left", "bottom"])
def test_without_anchor_element_the_main_window_is_used(make_drawer, main_window, anchor):
    drawer = make_drawer(anchor=anchor)
    assert drawer._anchorEl is None
    drawer.update_position()
    assert drawer._anchorEl is main_window
    assert drawer.geometry() == global_rect(main_window)


def test_main_window_fallback_is_stored_for_good(make_drawer, main_window, other_window, qapp):
    drawer = make_drawer()
    drawer.showDrawer()
    assert drawer._anchorEl is main_window
    qapp.mainWindow = other_window
    drawer._close()
    drawer.showDrawer()
    assert drawer._anchorEl is main_window
    assert drawer.geometry() == global_rect(main_window)


def test_main_window_is_read_at_first_placement(make_drawer, other_window, qapp):
    drawer = make_drawer()
    qapp.mainWindow = other_window
    drawer.showDrawer()
    assert drawer._anchorEl is other_window
    assert drawer.geometry() == global_rect(other_window)


@pytest.mark.parametrize("method", ["update_position", "showDrawer", "_show"])
def test_missing_main_window_raises_attribute_error(make_drawer, qapp, monkeypatch, method):
    drawer = make_drawer()
    monkeypatch.delattr(qapp, "mainWindow")
    args = (True,) if method == "_show" else ()
    with pytest.raises(AttributeError):
        getattr(drawer, method)(*args)
    assert drawer._anchorEl is None
    assert not drawer.isVisible()


def test_replaced_qapplication_name_is_honoured(make_drawer, main_window, other_window, monkeypatch):
    class FakeApp:
        mainWindow = other_window

    class FakeQApplication:
        @staticmethod
        def instance():
            return FakeApp

    before = make_drawer()
    before.showDrawer()
    assert before._anchorEl is main_window

    patched = make_drawer()
    monkeypatch.setattr(drawer_module, "QApplication", FakeQApplication)
    patched.showDrawer()
    assert patched._anchorEl is other_window
    assert patched.geometry() == global_rect(other_window)

    monkeypatch.undo()
    after = make_drawer()
    after.showDrawer()
    assert after._anchorEl is main_window
