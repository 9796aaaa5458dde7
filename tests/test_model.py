"""The Python reference model of the drawer (tests/model/drawer.py).

Comparisons of behaviour use it as the oracle, so it has to stay faithful. These
tests pin the parts where a slip in the model would silently skew them.
"""

import functools

import pytest
from qtpy.QtCore import QEvent, QPoint, QPointF, QSize, Qt
from qtpy.QtGui import QMouseEvent, QResizeEvent
from qtpy.QtWidgets import QFrame, QWidget

from zarnu.hooks.use_state import State
from zarnu.material.styles.create_theme.components.get_qss_styles import get_qss_style

from model import drawer as model

Drawer = model.Drawer


@pytest.fixture
def host(main_window):
    return main_window


@pytest.fixture
def make(make_drawer):
    """Builds model drawers with the shared factory (open State, minWidth 300 by default)."""
    return functools.partial(make_drawer, cls=Drawer)


def test_class_assembly():
    assert Drawer.__bases__ == (model.QSplitter,)
    assert Drawer._set_anchor.valid_values is Drawer.VALID_ANCHOR
    assert Drawer._set_variant.valid_values is Drawer.VALID_VARIANT
    assert not hasattr(Drawer._set_children, "param_name")
    blur, offset, colour = Drawer.setShadowEffect.__defaults__
    assert (blur, offset, colour.getRgb()) == (60, (0, 10), (0, 0, 0, 50))
    assert Drawer._show.__annotations__ == {"state": "bool"}
    assert len(Drawer.__init__.__defaults__) == 22


@pytest.mark.parametrize("prop, expected", [
    ("title", "Drawer"), ("anchor", "right"), ("variant", "temporary"), ("elevation", 16),
    ("hideBackdrop", False), ("minWidth", 300), ("sx", None), ("maxWidth", None),
    ("anchorEl", None), ("ModalProps", {}), ("slots", {}),
])
def test_defaults_after_minimal_construction(make, prop, expected):
    assert getattr(make(), f"_get_{prop}")() == expected


def test_props_are_stored_by_reference_and_unwrapped_by_getters(make):
    title = State("A")
    modal = {"keep": True}
    a, b = make(title=title, ModalProps=modal), make()
    assert a._title is title and a._get_title() == "A"
    title.value = "B"
    assert a._get_title() == "B"
    assert a._get_ModalProps() is modal
    assert b._get_ModalProps() == {} and b._get_ModalProps() is not make()._get_ModalProps()
    with pytest.raises(AttributeError):
        a._get_transitionDuration()


@pytest.mark.parametrize("props, error", [
    ({"open": False}, ValueError),
    ({"open": True}, ValueError),
    ({"minWidth": None}, TypeError),
])
def test_construction_failures(host, props, error):
    props = {"open": State(False), "minWidth": 300} | props
    with pytest.raises(error) as info:
        Drawer(**props)
    if error is ValueError:
        assert str(info.value) == "The attribute 'open' only accepts input in the form of State."


@pytest.mark.parametrize("anchor, orientation, first, margins", [
    ("left", Qt.Orientation.Horizontal, "_frm_content", (1, 0, 0, 0)),
    ("right", Qt.Orientation.Horizontal, "_overlay", (0, 0, 1, 1)),
    ("top", Qt.Orientation.Vertical, "_frm_content", (0, 1, 0, 0)),
    ("bottom", Qt.Orientation.Vertical, "_overlay", (0, 1, 0, 0)),
])
def test_arrangement_by_anchor(make, anchor, orientation, first, margins):
    d = make(anchor=anchor, maxWidth=600)
    m = d.contentsMargins()
    assert d.orientation() == orientation
    assert d.widget(0) is getattr(d, first)
    assert (m.left(), m.top(), m.right(), m.bottom()) == margins
    assert isinstance(d._frm_content, QFrame) and d._frm_content.objectName() == "contentFrame"
    assert d._frm_content.maximumWidth() == (600 if anchor == "right" else QWidget().maximumWidth())


@pytest.mark.parametrize("sx, line4", [
    (None, ""),
    ("", ""),
    ("color: red;", "color: red;"),
    ({"color": "red"}, None),                 # converted by get_qss_style
    (lambda: "border: 0;", "border: 0;"),
    (lambda: None, ""),
    (State("color: red;"), ""),               # a State is neither dict, callable nor str
])
def test_stylesheet_text(make, sx, line4):
    d = make(sx=sx)
    if line4 is None:
        line4 = get_qss_style(sx)
    lines = d.styleSheet().split("\n")
    assert len(lines) == 10
    assert lines[1] == " " * 16 + "#PyDrawer {"
    assert lines[3] == " " * 20 + line4
    assert lines[4] == " " * 20 and lines[9] == " " * 12
    assert len(d.styleSheet()) == 217 + len(lines[2]) - 20 + len(line4)


def test_show_close_and_open_state(make, host):
    calls = []
    opened = State(False)
    d = make(open=opened, onClose=lambda: calls.append(1))
    assert not d.isVisible() and d._anchorEl is None
    opened.value = True
    assert d.isVisible() and d._anchorEl is host
    assert d.geometry().size() == host.size()
    d._show(True)                              # true while visible hides
    assert not d.isVisible()
    d.showDrawer()
    d._close()
    d._close()
    assert not d.isVisible() and calls == [1, 1] and opened.value is True


def test_event_filter_follows_the_anchor_and_tracks_drags(make, host):
    d = make()
    d.showDrawer()
    host.resize(500, 400)
    assert d.geometry().size() == QSize(500, 400)
    d.hide()
    host.resize(300, 200)
    assert d.geometry().size() == QSize(500, 400)

    press = QMouseEvent(QEvent.Type.MouseButtonPress, QPointF(1, 1), QPointF(1, 1),
                        Qt.MouseButton.LeftButton, Qt.MouseButton.LeftButton, Qt.KeyboardModifier.NoModifier)
    release = QMouseEvent(QEvent.Type.MouseButtonRelease, QPointF(1, 1), QPointF(1, 1),
                          Qt.MouseButton.LeftButton, Qt.MouseButton.NoButton, Qt.KeyboardModifier.NoModifier)
    assert d.eventFilter(host, press) is False and d._user_dragging is True
    assert d.eventFilter(d.handle(1), release) is False and d._user_dragging is False
    resize = QResizeEvent(QSize(10, 10), QSize(20, 20))
    assert d.eventFilter(d, resize) is False
