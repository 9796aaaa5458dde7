"""Behaviour of the Python stand-ins of the library that the drawer relies on."""

import os
import subprocess
import sys
import typing
from typing import Callable, Dict, Union

import pytest
from qtpy.QtCore import Qt
from qtpy.QtWidgets import QHBoxLayout, QVBoxLayout, QWidget

from zarnu.hooks.use_state import State
from zarnu.i18n.use_translation import i18n, translate
from zarnu.material import styles
from zarnu.material.styles.create_theme.components.get_qss_styles import get_qss_style
from zarnu.material.system.color_manipulator import alpha
from zarnu.material.utils.validate_params import _validate_param


def collect(signal):
    calls = []
    signal.connect(lambda *args: calls.append(args))
    return calls


@pytest.fixture
def light_theme():
    styles.setTheme("light")
    yield styles.useTheme()
    styles.setTheme("light")


@pytest.fixture
def english():
    i18n.setLanguage("en")
    yield
    i18n.setLanguage("en")


def test_stand_ins_import_without_qapplication():
    code = (
        "import zarnu.hooks.use_state, zarnu.material.styles, zarnu.i18n.use_translation\n"
        "import zarnu.material.styles.create_theme.components.get_qss_styles\n"
        "import zarnu.material.utils.validate_params, zarnu.material.system.color_manipulator\n"
        "import zarnu.material.button, zarnu.material.typography, zarnu.material.stack\n"
        "import zarnu.zarnu_assets, zarnu.material.drawer\n"
        "from qtpy.QtWidgets import QApplication\n"
        "assert QApplication.instance() is None\n"
    )
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    subprocess.run([sys.executable, "-c", code], check=True, env=env)


# --- State -----------------------------------------------------------------

class Incomparable:
    def __ne__(self, other):
        raise RuntimeError("cannot compare")


def test_state_emits_the_new_value_only_on_change():
    state = State(1)
    calls = collect(state.valueChanged)
    state.value = 1
    state.value = 2
    state.set(2)
    assert calls == [(2,)]
    assert state.value == state.get() == 2

    odd = Incomparable()
    state.value = odd
    state.value = odd  # the comparison raises: counted as a change
    assert calls[1:] == [(odd,), (odd,)]


# --- theme -----------------------------------------------------------------

def test_theme_switch_reaches_connections_made_on_the_old_theme(light_theme):
    calls = collect(light_theme.signal.changed)
    styles.setTheme("dark")
    assert calls == [()]
    assert styles.useTheme().mode == "dark" and styles.useTheme() is not light_theme

    styles.setTheme("dark")
    assert calls == [()]
    assert styles.toggleTheme() is styles.useTheme()
    assert styles.useTheme().mode == "light" and calls == [(), ()]
    with pytest.raises(ValueError, match="'sepia'"):
        styles.setTheme("sepia")
    assert calls == [(), ()]


@pytest.mark.parametrize("wrap", [lambda v: v, State], ids=["plain", "state"])
@pytest.mark.parametrize("variant, dimmed", [
    ("temporary", True), (None, True), ("persistent", False), ("permanent", False),
])
def test_drawer_root_style(light_theme, wrap, variant, dimmed):
    root = light_theme.components["PyDrawer"].get("styles")["root"]
    style = root({"anchor": wrap("left"), "variant": wrap(variant)})
    expected = light_theme.palette["backdrop"] if dimmed else "transparent"
    assert style["backgroundColor"] == expected
    assert get_qss_style(style) == f"background-color: {expected};"


# --- get_qss_style ---------------------------------------------------------

@pytest.mark.parametrize("style, qss", [
    ({}, ""),
    ({"backgroundColor": "white", "padding": 8}, "background-color: white; padding: 8px;"),
    ({"borderTopLeftRadius": 4, "minWidth": 2.5, "fontSize": 12.0},
     "border-top-left-radius: 4px; min-width: 2.5px; font-size: 12px;"),
    ({"fontWeight": 700, "opacity": 0.5}, "font-weight: 700; opacity: 0.5;"),
    ({"margin": [0, 8], "border": "1px solid red;"}, "margin: 0px 8px; border: 1px solid red;"),
    ({"color": None, "border-width": 1, "left": 3}, "border-width: 1px; left: 3px;"),
])
def test_get_qss_style(style, qss):
    assert get_qss_style(style) == qss


@pytest.mark.parametrize("style, error", [
    ({"&:hover": {"color": "red"}}, ValueError),
    ({"width": True}, TypeError),
    ({"width": float("nan")}, ValueError),
    ("color: red;", TypeError),
])
def test_get_qss_style_rejects(style, error):
    with pytest.raises(error):
        get_qss_style(style)


# --- _validate_param ---------------------------------------------------------

ANCHORS = ["bottom", "left"]


class Target:
    @_validate_param(file_path="zarnu.material.drawer", param_name="anchor",
                     supported_signatures=Union[State, str], valid_values=ANCHORS)
    def _set_anchor(self, value):
        """Store the anchor."""
        self.stored = value
        return "result"

    @_validate_param(file_path="zarnu.material.drawer", param_name="size",
                     supported_signatures=Union[State, int, Dict, None])
    def _set_size(self, value):
        self.stored = value

    @_validate_param(file_path="zarnu.material.drawer", param_name="misc",
                     supported_signatures=Union[bool, Callable, QWidget])
    def _set_misc(self, value):
        self.stored = value


@pytest.mark.parametrize("setter, value", [
    ("_set_anchor", "left"), ("_set_anchor", State("anywhere")),
    ("_set_size", 3), ("_set_size", None), ("_set_size", {"a": 1}),
    ("_set_misc", False), ("_set_misc", len),
])
def test_validate_accepts_and_passes_value_unchanged(setter, value):
    target = Target()
    getattr(target, setter)(value)
    assert target.stored is value


@pytest.mark.parametrize("setter, value, forms", [
    ("_set_anchor", 3, "State, str"),
    ("_set_anchor", None, "State, str"),
    ("_set_size", True, "State, int, Dict, None"),
    ("_set_size", "3", "State, int, Dict, None"),
    ("_set_misc", 1, "bool, Callable, QWidget"),
])
def test_validate_rejects_wrong_form(setter, value, forms):
    target = Target()
    with pytest.raises(TypeError) as info:
        getattr(target, setter)(value)
    message = str(info.value)
    assert f"'{setter[5:]}'" in message and repr(value) in message
    assert message.endswith(f"accepted forms: {forms}")
    assert not hasattr(target, "stored")


def test_validate_checks_valid_values_by_reference():
    target = Target()
    with pytest.raises(ValueError, match=r"'anchor'.*'top'.*valid values: 'bottom', 'left'"):
        target._set_anchor("top")
    ANCHORS.append("top")
    try:
        assert target._set_anchor("top") == "result"
    finally:
        ANCHORS.remove("top")
    assert Target._set_anchor.valid_values is ANCHORS
    with pytest.raises(TypeError) as info:
        target._set_anchor(list(range(100_000)))
    assert len(str(info.value)) < 300


def test_wrapper_keeps_metadata_of_a_compiled_style_setter():
    class CompiledSetter:
        """Callable object standing in for a setter that is not a Python function."""

        def __init__(self):
            self.__name__ = "_set_title"
            self.__qualname__ = "Drawer._set_title"
            self.__doc__ = "Set the title."
            self.__module__ = "zarnu.material.drawer.drawer"
            self.__annotations__ = {}
            self.calls = []

        def __call__(self, instance, value):
            self.calls.append((instance, value))

    setter = CompiledSetter()
    wrapper = _validate_param(file_path="zarnu.material.drawer", param_name="title",
                              supported_signatures=Union[State, str, Callable])(setter)
    assert (wrapper.__name__, wrapper.__qualname__, wrapper.__doc__) == (
        "_set_title", "Drawer._set_title", "Set the title.")
    assert wrapper.__wrapped__ is setter and wrapper.param_name == "title"
    assert typing.get_args(wrapper.supported_signatures) == (State, str, Callable)

    owner = type("Owner", (), {"_set_title": wrapper})()
    state = State("x")
    owner._set_title(state)
    assert setter.calls == [(owner, state)]


# --- i18n ------------------------------------------------------------------

def test_language_change_signal_and_translation(english):
    calls = collect(i18n.langChanged)
    assert translate("Close") == "Close"
    i18n.setLanguage("fr")
    i18n.setLanguage("fr")
    assert calls == [()] and i18n.language() == "fr"
    assert translate("Close") == "Fermer"
    assert translate("Hello, {name}!", name="Ana") == "Bonjour, Ana !"
    assert translate("Not in the table") == "Not in the table"


# --- modules the drawer only imports -----------------------------------------

@pytest.mark.parametrize("color, opacity, expected", [
    ("#ff0000", 0.5, "rgba(255, 0, 0, 0.5)"),
    ("#0f8", 1, "rgba(0, 255, 136, 1)"),
    ("rgba(10, 20, 30, 0.9)", 0.25, "rgba(10, 20, 30, 0.25)"),
    ("red", 0.5, ValueError),
    ("#000", 1.5, ValueError),
])
def test_alpha(color, opacity, expected):
    if isinstance(expected, str):
        assert alpha(color, opacity) == expected
    else:
        with pytest.raises(expected):
            alpha(color, opacity)


def test_small_widgets(qtbot):
    from zarnu.material.button import Button
    from zarnu.material.stack import Stack
    from zarnu.material.typography import Typography

    clicks = []
    label = State("Go")
    button = Button(label, onClick=lambda *args: clicks.append(args))
    qtbot.addWidget(button)
    qtbot.mouseClick(button, Qt.MouseButton.LeftButton)
    label.value = "Stop"
    assert clicks == [()] and button.text() == "Stop"

    heading, body = Typography("Title", variant="h6"), Typography("Text")
    assert heading.font().pixelSize() > body.font().pixelSize()
    with pytest.raises(ValueError):
        Typography("x", variant="huge")

    row = Stack([heading, body], direction="row", spacing=6)
    qtbot.addWidget(row)
    assert isinstance(row.layout(), QHBoxLayout) and row.layout().spacing() == 6
    assert heading.parent() is row and row.layout().count() == 2
    column = Stack()
    qtbot.addWidget(column)
    assert isinstance(column.layout(), QVBoxLayout)
