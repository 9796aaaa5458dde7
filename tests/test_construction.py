"""Construction: props binding, the widget tree per anchor, connections, retranslation."""

import inspect

import pytest
from qtpy.QtCore import QCoreApplication, QEvent, QMargins, Qt
from qtpy.QtGui import QColor
from qtpy.QtWidgets import QFrame, QGraphicsDropShadowEffect, QLabel, QSizePolicy, QSplitter, QWidget

import zarnu.material.drawer.drawer as drawer_module
from zarnu.i18n.use_translation import i18n
from zarnu.material import styles
from zarnu.material.drawer.drawer import Drawer

OPEN_MESSAGE = "The attribute 'open' only accepts input in the form of State."
# In signature order, which test_function pins.
PARAMETERS = [name for name in inspect.signature(Drawer.__init__).parameters if name not in ("self", "args", "kwargs")]
STORED_IN_ORDER = [name for name in PARAMETERS[1:] if name != "transitionDuration"]
DICT_PROPS = ["ModalProps", "PaperProps", "SlideProps", "slotProps", "slots"]
QT_MAX = 16777215  # QWIDGETSIZE_MAX


def capturing(base=Drawer):
    """A subclass that keeps every instance it starts building, finished or not."""
    class Capturing(base):
        made = []

        def __init__(self, *args, **kwargs):
            Capturing.made.append(self)
            super().__init__(*args, **kwargs)
    return Capturing


class Recording(Drawer):
    """Records the calls that construction makes through overridable names."""

    def __init__(self, *args, log, **kwargs):
        self.log = log
        super().__init__(*args, **kwargs)

    def setSizes(self, sizes, /):
        self.log.append(("setSizes", list(sizes)))
        super().setSizes(sizes)

    def setOrientation(self, orientation, /):
        self.log.append(("setOrientation", orientation))
        super().setOrientation(orientation)

    def _set_elevation(self, value, /):
        self.log.append(("_set_elevation", value))
        super()._set_elevation(value)

    def _init_ui(self, *args):
        self.log.append(("_init_ui", args))
        if getattr(self, "force_anchor", None):
            self._anchor = self.force_anchor
        super()._init_ui()

    def _show(self, state, /):
        self.log.append(("_show", state))

    def _set_stylesheet(self):
        self.log.append(("_set_stylesheet",))
        super()._set_stylesheet()

    def reTranslation(self):
        self.log.append(("reTranslation",))

    def eventFilter(self, source, event, /):
        if event.type() == QEvent.Type.User:
            self.log.append(("eventFilter", source))
        return super().eventFilter(source, event)


class Unmatched(Recording):
    force_anchor = "middle"  # equal to none of the four anchors: bypasses the validation


# --- arguments -----------------------------------------------------------------

def test_positional_arguments_bind_in_order_and_surplus_is_ignored(make_drawer, State):
    parent, anchor_el, child = QWidget(), QWidget(), QLabel("child")
    args = [parent, "Title", "left", anchor_el, [child], {"c": 1}, 4, True, {"m": 1}, print,
            State(False), {"p": 1}, {"s": 1}, {"sp": 1}, {"sl": 1}, {"color": "red"}, 500,
            "persistent", 300, 600, 200, 400]
    drawer = make_drawer(*args, "surplus", unknown=1)
    given = dict(zip(PARAMETERS, args))
    for prop in STORED_IN_ORDER:
        assert getattr(drawer, f"_{prop}") is given[prop], prop
    assert drawer.parent() is parent
    assert not hasattr(drawer, "_transitionDuration")
    assert (drawer.drawerMinWidth, drawer.drawerMaxWidth,
            drawer.drawerMinHeight, drawer.drawerMaxHeight) == (300, 600, 200, 400)
    assert drawer.windowFlags() == Qt.WindowType.Window | Qt.WindowType.FramelessWindowHint


def test_defaults(make_drawer):
    first, second = make_drawer(), make_drawer()
    assert [first._get_title(), first._get_anchor(), first._get_variant(), first._get_elevation(),
            first._get_hideBackdrop(), first._get_minWidth()] == ["Drawer", "right", "temporary",
                                                                 16, False, 300]
    for prop in ["anchorEl", "children", "classes", "onClose", "sx", "maxWidth", "minHeight",
                 "maxHeight"]:
        assert getattr(first, f"_{prop}") is None, prop
    for prop in DICT_PROPS:
        value = getattr(first, f"_{prop}")
        assert value == {} and type(value) is dict and value is not getattr(second, f"_{prop}")
    assert first._widget_references == [] and first._user_dragging is False
    assert (first.drawerMinWidth, first.drawerMaxWidth, first.drawerMinHeight,
            first.drawerMaxHeight) == (300, None, None, None)
    assert first.parent() is None
    assert first.theme is styles.useTheme()
    assert not first.isVisible()


@pytest.mark.parametrize("prop", DICT_PROPS)
@pytest.mark.parametrize("given", [None, {}, 0, {"key": "value"}], ids=repr)
def test_falsy_dict_props_get_a_new_dict(make_drawer, prop, given):
    drawer = make_drawer(**{prop: given})
    stored = getattr(drawer, f"_{prop}")
    if given:
        assert stored is given
    else:
        assert stored == {} and stored is not given


def test_size_limits_are_taken_as_given(make_drawer, State):
    max_width, min_height = State(600), State(200)
    drawer = make_drawer(anchor="left", maxWidth=max_width, minHeight=min_height)
    assert drawer.drawerMaxWidth is max_width and drawer.drawerMinHeight is min_height
    assert drawer._maxWidth is max_width


@pytest.mark.parametrize("min_width", [None, "State"])
@pytest.mark.parametrize("anchor", ["left", "right", "top", "bottom"])
def test_non_integer_min_width_is_refused_by_the_binding(make_drawer, State, anchor, min_width):
    value = State(300) if min_width == "State" else None
    cls = capturing()
    with pytest.raises(TypeError):
        make_drawer(cls=cls, anchor=anchor, minWidth=value)
    half_built = cls.made[-1]
    assert half_built.drawerMinWidth is value
    assert half_built._contentLayout.count() == 0  # the children step never ran


@pytest.mark.parametrize("failing,value,error", [
    ("title", 5, TypeError),
    ("anchor", "middle", ValueError),
    ("elevation", 1.5, TypeError),
    ("open", "yes", TypeError),
    ("maxHeight", "tall", TypeError),
])
def test_failed_validation_stops_at_that_prop(make_drawer, failing, value, error):
    cls = capturing()
    with pytest.raises(error, match=f"'{failing}'"):
        make_drawer(cls=cls, **{failing: value})
    half_built = cls.made[-1]
    index = STORED_IN_ORDER.index(failing)
    for prop in STORED_IN_ORDER:
        assert hasattr(half_built, f"_{prop}") == (STORED_IN_ORDER.index(prop) < index), prop
    assert half_built.theme is styles.useTheme() and half_built._widget_references == []
    assert half_built.objectName() == "PyDrawer"
    assert not hasattr(half_built, "drawerMinWidth") and not hasattr(half_built, "_frm_content")


@pytest.mark.parametrize("open_value", [True, False])
def test_open_must_be_a_state(make_drawer, open_value):
    children = [QLabel("a"), QLabel("b")]
    cls = capturing()
    with pytest.raises(ValueError) as failure:
        make_drawer(cls=cls, open=open_value, children=children)
    assert str(failure.value) == OPEN_MESSAGE
    half_built = cls.made[-1]
    layout = half_built._contentLayout
    assert [layout.itemAt(i).widget() for i in range(layout.count())] == children
    assert half_built.styleSheet() == ""  # nothing after the check ran


def test_next_class_in_the_mro_gets_parent_only(make_drawer):
    received = []

    class Base(QSplitter):
        def __init__(self, *args, **kwargs):
            received.append((args, kwargs))
            super().__init__(*args, **kwargs)

        def eventFilter(self, source, event):
            if event.type() == QEvent.Type.User:
                received.append((source, event.type()))
            return super().eventFilter(source, event)

    class Combined(Drawer, Base):
        pass

    parent = QWidget()
    drawer = make_drawer(cls=Combined, parent=parent, title="Title", unknown=1)
    assert received == [((parent,), {})]
    assert drawer.parent() is parent
    QCoreApplication.sendEvent(drawer, QEvent(QEvent.Type.User))
    assert received[1:] == [(drawer, QEvent.Type.User)]


# --- overrides and module names -------------------------------------------------

def test_overrides_in_a_subclass_are_used(make_drawer):
    log = []
    make_drawer(cls=Recording, log=log, anchor="top", elevation=3)
    assert [entry for entry in log if entry[0] != "eventFilter"] == [
        ("_set_elevation", 3), ("_init_ui", ()), ("setOrientation", Qt.Orientation.Vertical),
        ("setSizes", [300, 50]), ("_set_stylesheet",)]


def test_module_names_replaced_after_import_are_used(make_drawer, monkeypatch):
    themes, colours = [], []

    def use_theme():
        themes.append(styles.useTheme())
        return themes[-1]

    class RecordingFrame(QFrame):
        pass

    class RecordingShadow(QGraphicsDropShadowEffect):
        def setColor(self, color):
            colours.append(color)
            super().setColor(color)

    monkeypatch.setattr(drawer_module, "useTheme", use_theme)
    monkeypatch.setattr(drawer_module, "QFrame", RecordingFrame)
    monkeypatch.setattr(drawer_module, "QGraphicsDropShadowEffect", RecordingShadow)
    drawer = make_drawer()
    drawer.setShadowEffect()
    assert len(themes) == 3 and drawer.theme is themes[-1]  # constructor, tree, style sheet
    assert type(drawer._frm_content) is RecordingFrame
    default_colour = Drawer.setShadowEffect.__defaults__[2]
    assert len(colours) == 2 and all(c is default_colour for c in colours)
    assert default_colour == QColor(0, 0, 0, 50)

    monkeypatch.undo()
    assert type(make_drawer()._frm_content) is QFrame


# --- widget tree -----------------------------------------------------------------

H, V = Qt.Orientation.Horizontal, Qt.Orientation.Vertical
# anchor -> orientation, content pane first, requested sizes, contents margins,
#           content frame (min width, max width, min height, max height)
TREE = {
    "left": (H, True, [300, 50], (1, 0, 0, 0), (0, QT_MAX, 0, QT_MAX)),
    "right": (H, False, [50000, 300], (0, 0, 1, 1), (300, 600, 0, QT_MAX)),
    "top": (V, True, [300, 50], (0, 1, 0, 0), (0, QT_MAX, 200, 400)),
    "bottom": (V, False, [50, 300], (0, 1, 0, 0), (0, QT_MAX, 200, 400)),
    "middle": (H, True, None, (0, 0, 0, 0), (0, QT_MAX, 0, QT_MAX)),
    "State": (H, True, None, (0, 0, 0, 0), (0, QT_MAX, 0, QT_MAX)),  # State("left") != "left"
}


@pytest.mark.parametrize("anchor", list(TREE))
def test_widget_tree_per_anchor(make_drawer, State, anchor):
    orientation, content_first, sizes, margins, limits = TREE[anchor]
    log = []
    cls = Unmatched if anchor == "middle" else Recording
    given = {"middle": "left", "State": State("left")}.get(anchor, anchor)
    drawer = make_drawer(cls=cls, log=log, anchor=given, maxWidth=600, minHeight=200,
                         maxHeight=400, minWidth=None if anchor == "State" else 300)
    frame, overlay = drawer._frm_content, drawer._overlay

    assert drawer.orientation() == orientation
    assert [e for e in log if e[0] == "setSizes"] == ([("setSizes", sizes)] if sizes else [])
    assert any(e[0] == "setOrientation" for e in log) == (sizes is not None)
    assert drawer.count() == 2
    assert [drawer.widget(0), drawer.widget(1)] == ([frame, overlay] if content_first
                                                    else [overlay, frame])
    assert drawer.contentsMargins() == QMargins(*margins)
    assert (frame.minimumWidth(), frame.maximumWidth(),
            frame.minimumHeight(), frame.maximumHeight()) == limits

    assert drawer.windowFlags() == Qt.WindowType.Window | Qt.WindowType.FramelessWindowHint
    assert drawer.testAttribute(Qt.WidgetAttribute.WA_TranslucentBackground)
    assert not drawer.autoFillBackground()
    assert (drawer.handleWidth(), drawer.childrenCollapsible(), drawer.opaqueResize()) == (
        0, True, True)
    assert (drawer.objectName(), frame.objectName(), overlay.objectName()) == (
        "PyDrawer", "contentFrame", "")
    assert type(frame) is QFrame and type(overlay) is QWidget
    assert frame.layout() is drawer._contentLayout and drawer._contentLayout.objectName() == ""
    assert overlay.testAttribute(Qt.WidgetAttribute.WA_TransparentForMouseEvents)
    assert not overlay.autoFillBackground()
    policy = overlay.sizePolicy()
    expanding = QSizePolicy.Policy.Expanding
    assert (policy.horizontalPolicy(), policy.verticalPolicy()) == (expanding, expanding)
    assert overlay.styleSheet() == "background-color: transparent;"
    assert not drawer.isVisible()


def test_min_width_zero_is_applied(make_drawer):
    drawer = make_drawer(anchor="right", minWidth=0, maxWidth=0)
    assert (drawer._frm_content.minimumWidth(), drawer._frm_content.maximumWidth()) == (0, 0)


@pytest.mark.parametrize("form", ["list", "list subclass", "single", "tuple", "empty", "state",
                                  "bad element"])
def test_children_forms(make_drawer, State, form):
    widgets = [QLabel("a"), QLabel("b"), QLabel("c")]
    children, added = {
        "list": (widgets, widgets),
        "list subclass": (type("Children", (list,), {})(widgets), widgets),
        "single": (widgets[0], widgets[:1]),
        "tuple": (tuple(widgets), []),
        "empty": ([], []),
        "state": (State(widgets), []),
        "bad element": ([widgets[0], "not a widget", widgets[2]], widgets[:1]),
    }[form]
    cls = capturing()
    if form == "bad element":  # addWidget refuses it; the widgets before it stay
        with pytest.raises(TypeError):
            make_drawer(cls=cls, children=children)
    else:
        make_drawer(cls=cls, children=children)
    drawer = cls.made[-1]
    layout = drawer._contentLayout
    assert [layout.itemAt(i).widget() for i in range(layout.count())] == added
    assert all(w.parent() is drawer._frm_content for w in added)


def test_host_without_main_window(make_drawer, qapp, monkeypatch):
    anchor_el, log = QWidget(), []
    monkeypatch.delattr(qapp, "mainWindow")
    cls = capturing(Recording)
    with pytest.raises(AttributeError, match="mainWindow"):
        make_drawer(cls=cls, log=log, anchorEl=anchor_el)
    half_built = cls.made[-1]
    for target in (half_built, anchor_el):
        QCoreApplication.sendEvent(target, QEvent(QEvent.Type.User))
    assert [e[1] for e in log if e[0] == "eventFilter"] == [half_built, anchor_el]
    assert half_built.styleSheet() == ""


class FalsyWidget(QWidget):
    def __bool__(self):
        return False


@pytest.mark.parametrize("anchor", ["right", "middle"])
@pytest.mark.parametrize("anchor_el", [None, QWidget, FalsyWidget])
def test_event_filters(make_drawer, main_window, anchor, anchor_el):
    anchor_el = anchor_el and anchor_el()
    outsider = QWidget()
    log = []
    drawer = make_drawer(cls=Unmatched if anchor == "middle" else Recording, log=log,
                         anchorEl=anchor_el)
    watched = [drawer, main_window, drawer.handle(1)] + ([anchor_el] if anchor_el else [])
    others = [outsider, drawer._frm_content]
    if anchor_el is not None and not anchor_el:
        others.append(anchor_el)
    for target in watched + others:
        QCoreApplication.sendEvent(target, QEvent(QEvent.Type.User))
    assert sorted(map(id, (e[1] for e in log if e[0] == "eventFilter"))) == sorted(map(id, watched))


def test_connections(make_drawer, State, qapp):
    log, is_open = [], State(False)
    make_drawer(cls=Recording, log=log, open=is_open)
    del log[:]
    is_open.value = True
    styles.setTheme("dark")
    styles.setTheme("light")
    i18n.setLanguage("fr")
    i18n.setLanguage("en")
    assert [e for e in log if e[0] != "eventFilter"] == [
        ("_show", True), ("_set_stylesheet",), ("_set_stylesheet",),
        ("reTranslation",), ("reTranslation",)]


@pytest.mark.parametrize("title", ["plain", "state", "callable"])
def test_retranslation_changes_nothing(make_drawer, State, title):
    value = {"plain": "Title", "state": State("Title"), "callable": lambda: "Title"}[title]
    drawer = make_drawer(title=value, children=[QLabel("a")])
    for shown in (False, True):
        if shown:
            drawer.showDrawer()
        before = (dict(vars(drawer)), drawer.styleSheet(), drawer.isVisible(), drawer.geometry(),
                  drawer._frm_content.graphicsEffect())
        assert drawer.reTranslation() is None
        i18n.setLanguage("vi")
        i18n.setLanguage("en")
        after = (dict(vars(drawer)), drawer.styleSheet(), drawer.isVisible(), drawer.geometry(),
                 drawer._frm_content.graphicsEffect())
        assert before[1:] == after[1:]
        assert before[0].keys() == after[0].keys()
        assert all(after[0][k] is v for k, v in before[0].items())

