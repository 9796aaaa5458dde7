"""The drawer's style sheet (theme root style + `sx` prop) and the content frame's drop shadow."""

import pytest
from qtpy.QtCore import QCoreApplication, QEvent, QObject, QPointF, Signal
from qtpy.QtGui import QColor
from qtpy.QtWidgets import QFrame, QGraphicsDropShadowEffect

from zarnu.hooks.use_state import State
from zarnu.material import styles
from zarnu.material.drawer import drawer as drawer_module
from zarnu.material.styles.create_theme.components.get_qss_styles import get_qss_style

_MISSING = object()


# --- fixtures -----------------------------------------------------------------

@pytest.fixture(autouse=True)
def light_theme():
    styles.setTheme("light")
    yield
    styles.setTheme("light")


class ThemeSignal(QObject):
    changed = Signal()


class RecordingTheme:
    """A theme whose drawer root style records every ownerState it is given."""

    def __init__(self, root_style=None, components=_MISSING):
        self.owner_states = []
        self.signal = ThemeSignal()
        self.root_style = {"color": "red"} if root_style is None else root_style

        def root(owner_state):
            self.owner_states.append(owner_state)
            return self.root_style

        self.components = {"PyDrawer": {"styles": {"root": root}}} if components is _MISSING else components


@pytest.fixture
def theme(monkeypatch):
    recording = RecordingTheme()
    monkeypatch.setattr(drawer_module, "useTheme", lambda: recording)
    return recording


def sheet(root_qss, sx_qss):
    return (
        "\n"
        + " " * 16 + "#PyDrawer {\n"
        + " " * 20 + root_qss + "\n"
        + " " * 20 + sx_qss + "\n"
        + " " * 20 + "\n"
        + " " * 16 + "}\n"
        + " " * 16 + "#contentFrame {\n"
        + " " * 20 + "background-color: white;\n"
        + " " * 16 + "}\n"
        + " " * 12
    )


def real_root_qss(anchor="right", variant="temporary"):
    root = styles.useTheme().components["PyDrawer"].get("styles")["root"]
    return get_qss_style(root({"anchor": anchor, "variant": variant}))


def shadow(drawer):
    effect = drawer._frm_content.graphicsEffect()
    assert isinstance(effect, QGraphicsDropShadowEffect)
    offset = effect.offset()
    return effect.blurRadius(), (offset.x(), offset.y()), effect.color().getRgb()


DEFAULT_SHADOW = (60, (0, 10), (0, 0, 0, 50))


# --- style text -----------------------------------------------------------------

def test_template_is_217_characters_without_values():
    assert len(sheet("", "")) == 217


class CallableDict(dict):
    def __call__(self):
        raise AssertionError("a dict sx must be converted, not called")


def _returning(value):
    return lambda: value


SX_FORMS = [
    pytest.param(None, "", id="none"),
    pytest.param("", "", id="empty-str"),
    pytest.param({}, "", id="empty-dict"),
    pytest.param("border: 2px solid blue;", "border: 2px solid blue;", id="str-verbatim"),
    pytest.param("  color : red  ", "  color : red  ", id="str-untrimmed"),
    pytest.param({"backgroundColor": "red", "padding": 8}, "background-color: red; padding: 8px;", id="dict"),
    pytest.param(_returning({"marginTop": 4}), "margin-top: 4px;", id="callable-dict"),
    pytest.param(_returning("color: green;"), "color: green;", id="callable-str"),
    pytest.param(_returning(""), "", id="callable-empty-str"),
    pytest.param(_returning(None), "", id="callable-none"),
    pytest.param(_returning(["color: red;"]), "", id="callable-list"),
    pytest.param(_returning(42), "", id="callable-int"),
    pytest.param(State("color: red;"), "", id="state"),
    pytest.param(CallableDict(color="olive"), "color: olive;", id="callable-dict-subclass"),
    pytest.param("a: b;\n}\n#x {\n    c: d;", "a: b;\n}\n#x {\n    c: d;", id="str-with-newlines-and-braces"),
]


@pytest.mark.parametrize("sx, sx_qss", SX_FORMS)
def test_style_text_for_each_sx_form(make_drawer, sx, sx_qss):
    drawer = make_drawer(sx=sx)
    assert drawer.styleSheet() == sheet(real_root_qss(), sx_qss)


@pytest.mark.parametrize("variant", ["temporary", "persistent", State("permanent")])
def test_root_value_comes_from_the_theme_for_the_stored_props(make_drawer, variant):
    drawer = make_drawer(anchor="left", variant=variant)
    assert drawer.styleSheet() == sheet(real_root_qss("left", variant), "")


@pytest.mark.parametrize(
    "anchor, variant",
    [("right", "temporary"), ("top", None), (State("left"), State("persistent"))],
    ids=["plain", "none-variant", "states"],
)
def test_owner_state_holds_the_stored_objects(make_drawer, theme, anchor, variant):
    drawer = make_drawer(anchor=anchor, variant=variant)
    drawer._set_stylesheet()
    first, second = theme.owner_states
    for owner_state in (first, second):
        assert type(owner_state) is dict
        assert list(owner_state) == ["anchor", "variant"]
        assert owner_state["anchor"] is anchor
        assert owner_state["variant"] is variant
    assert first is not second
    assert drawer.styleSheet() == sheet("color: red;", "")


def test_values_are_inserted_in_their_formatted_form(make_drawer, theme, monkeypatch):
    class Rendered:
        def __format__(self, spec):
            return "formatted" + spec

        def __str__(self):
            return "str"

    received = []

    def fake_get_qss_style(style):
        received.append(style)
        return Rendered()

    sx = {"color": "red"}
    drawer = make_drawer(sx=sx)
    monkeypatch.setattr(drawer_module, "get_qss_style", fake_get_qss_style)
    drawer._set_stylesheet()
    assert received == [theme.root_style, sx]
    assert received[0] is theme.root_style and received[1] is sx
    assert drawer.styleSheet() == sheet("formatted", "formatted")


def test_callable_sx_is_called_at_every_restyle(make_drawer):
    calls = []

    def sx():
        calls.append(None)
        return f"border-width: {len(calls)}px;"

    drawer = make_drawer(sx=sx)
    assert len(calls) == 1
    drawer._set_stylesheet()
    assert len(calls) == 2
    styles.toggleTheme()
    assert len(calls) == 3
    assert drawer.styleSheet() == sheet(real_root_qss(), "border-width: 3px;")


def test_sx_changed_after_construction_shows_at_the_next_restyle(make_drawer):
    drawer = make_drawer(sx="color: red;")
    drawer._set_sx({"color": "blue"})
    assert drawer.styleSheet() == sheet(real_root_qss(), "color: red;")
    drawer._set_stylesheet()
    assert drawer.styleSheet() == sheet(real_root_qss(), "color: blue;")


def test_theme_without_drawer_entry_fails_construction(make_drawer, monkeypatch):
    monkeypatch.setattr(drawer_module, "useTheme", lambda: RecordingTheme(components={}))
    with pytest.raises(KeyError, match="PyDrawer"):
        make_drawer()


class Boom(Exception):
    pass


def _raise_boom(*args):
    raise Boom


def _break_use_theme(drawer, monkeypatch):
    monkeypatch.setattr(drawer_module, "useTheme", _raise_boom)
    return None


def _break_components(drawer, monkeypatch):
    broken = RecordingTheme(components={"Other": {}})
    monkeypatch.setattr(drawer_module, "useTheme", lambda: broken)
    return broken


def _break_root(drawer, monkeypatch):
    broken = RecordingTheme(components={"PyDrawer": {"styles": {"root": _raise_boom}}})
    monkeypatch.setattr(drawer_module, "useTheme", lambda: broken)
    return broken


def _break_get_qss_style(drawer, monkeypatch):
    monkeypatch.setattr(drawer_module, "get_qss_style", _raise_boom)
    return styles.useTheme()


def _break_sx(drawer, monkeypatch):
    drawer._set_sx(_raise_boom)
    return styles.useTheme()


@pytest.mark.parametrize(
    "break_it, error",
    [
        (_break_use_theme, Boom),
        (_break_components, KeyError),
        (_break_root, Boom),
        (_break_get_qss_style, Boom),
        (_break_sx, Boom),
    ],
    ids=["useTheme", "no-PyDrawer", "root", "get_qss_style", "sx"],
)
def test_restyle_error_keeps_previous_sheet_and_shadow(make_drawer, monkeypatch, break_it, error):
    drawer = make_drawer(sx="color: red;")
    drawer.setShadowEffect(7, (1, 2), QColor(1, 2, 3, 4))
    before_sheet, before_theme = drawer.styleSheet(), drawer.theme
    new_theme = break_it(drawer, monkeypatch)
    with pytest.raises(error):
        drawer._set_stylesheet()
    assert drawer.styleSheet() == before_sheet
    assert shadow(drawer) == (7, (1, 2), (1, 2, 3, 4))
    assert drawer.theme is (before_theme if new_theme is None else new_theme)


# --- shadow -----------------------------------------------------------------------

def test_default_shadow_after_construction(make_drawer):
    drawer = make_drawer()
    assert shadow(drawer) == DEFAULT_SHADOW


@pytest.mark.parametrize(
    "args, kwargs, expected",
    [
        ((20,), {}, (20, (0, 10), (0, 0, 0, 50))),
        ((), {"offset": [3, 4]}, (60, (3, 4), (0, 0, 0, 50))),
        ((), {"offset": (n for n in (5, 6))}, (60, (5, 6), (0, 0, 0, 50))),
        ((), {"offset": [QPointF(7, 8)]}, (60, (7, 8), (0, 0, 0, 50))),
        ((), {"color": QColor(10, 20, 30, 40)}, (60, (0, 10), (10, 20, 30, 40))),
        ((12, (-1, -2), QColor(255, 0, 0)), {}, (12, (-1, -2), (255, 0, 0, 255))),
    ],
    ids=["blur-only", "offset-list", "offset-iterator", "offset-point", "color-only", "all-positional"],
)
def test_set_shadow_effect(make_drawer, args, kwargs, expected):
    drawer = make_drawer()
    assert drawer.setShadowEffect(*args, **kwargs) is None
    assert shadow(drawer) == expected


@pytest.mark.parametrize(
    "kwargs",
    [{"offset": 5}, {"offset": (1, 2, 3)}, {"offset": ["a", "b"]}, {"blurRadius": object()}, {"color": object()}],
    ids=["offset-number", "offset-three", "offset-text", "bad-blur", "bad-color"],
)
def test_unusable_shadow_argument_is_ignored_silently(make_drawer, kwargs):
    drawer = make_drawer()
    drawer.setShadowEffect(9, (2, 3), QColor(4, 5, 6, 7))
    before = drawer._frm_content.graphicsEffect()
    assert drawer.setShadowEffect(**kwargs) is None
    assert drawer._frm_content.graphicsEffect() is before
    assert shadow(drawer) == (9, (2, 3), (4, 5, 6, 7))


def test_two_calls_leave_exactly_one_effect(make_drawer):
    drawer = make_drawer()
    drawer.setShadowEffect(11)
    drawer.setShadowEffect(22, (1, 1))
    QCoreApplication.sendPostedEvents(None, QEvent.Type.DeferredDelete)
    effects = drawer._frm_content.findChildren(QGraphicsDropShadowEffect)
    assert effects == [drawer._frm_content.graphicsEffect()]
    assert shadow(drawer) == (22, (1, 1), (0, 0, 0, 50))


@pytest.mark.parametrize(
    "call",
    [lambda d: d.setShadowEffect(1, (0, 0), QColor(), 4), lambda d: d.setShadowEffect(radius=3),
     lambda d: d._set_stylesheet(1)],
    ids=["four-args", "unknown-keyword", "stylesheet-arg"],
)
def test_bad_call_shapes_raise_type_error_and_change_nothing(make_drawer, call):
    drawer = make_drawer()
    drawer.setShadowEffect(5)
    before = drawer.styleSheet()
    with pytest.raises(TypeError):
        call(drawer)
    assert shadow(drawer) == (5, (0, 10), (0, 0, 0, 50))
    assert drawer.styleSheet() == before


@pytest.mark.parametrize("error, passes", [(KeyboardInterrupt, True), (SystemExit, True),
                                           (RuntimeError, False), (TypeError, False)])
def test_shadow_guard_swallows_ordinary_exceptions_only(make_drawer, monkeypatch, error, passes):
    drawer = make_drawer()
    drawer.setShadowEffect(15)

    def failing_effect(parent):
        raise error

    monkeypatch.setattr(drawer_module, "QGraphicsDropShadowEffect", failing_effect)
    if passes:
        with pytest.raises(error):
            drawer.setShadowEffect()
    else:
        drawer.setShadowEffect()
    assert shadow(drawer) == (15, (0, 10), (0, 0, 0, 50))
    monkeypatch.undo()
    drawer.setShadowEffect(25)
    assert shadow(drawer) == (25, (0, 10), (0, 0, 0, 50))


def test_failure_when_attaching_leaves_the_panel_without_effect(make_drawer):
    class RefusingFrame(QFrame):
        def setGraphicsEffect(self, effect):
            if effect is not None:
                raise RuntimeError("refused")
            super().setGraphicsEffect(effect)

    drawer = make_drawer()
    frame = RefusingFrame()
    QFrame.setGraphicsEffect(frame, QGraphicsDropShadowEffect(frame))
    drawer._frm_content = frame
    assert drawer.setShadowEffect(30) is None
    assert frame.graphicsEffect() is None


def test_theme_change_restyles_and_restores_default_shadow(make_drawer):
    drawer = make_drawer(sx={"borderWidth": 1})
    light_root = real_root_qss()
    drawer.setShadowEffect(3, (4, 5), QColor(200, 0, 0))
    styles.toggleTheme()
    dark_root = real_root_qss()
    assert dark_root != light_root
    assert drawer.theme is styles.useTheme()
    assert drawer.styleSheet() == sheet(dark_root, "border-width: 1px;")
    assert shadow(drawer) == DEFAULT_SHADOW
