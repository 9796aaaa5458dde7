"""Prop setters and getters: stored by reference, read through one level of State."""

import pytest
from qtpy.QtWidgets import QLabel, QWidget

import zarnu.material.drawer.drawer as drawer_module
from zarnu.material.drawer.drawer import Drawer


def on_close():
    pass


# prop -> (a plain value the validation accepts, another one)
VALUES = {
    "title": ("Settings", lambda: "Later"),
    "anchor": ("left", "top"),
    "anchorEl": (QWidget, None),
    "children": ([QLabel], QLabel),
    "classes": ({"root": "x"}, None),
    "elevation": (8, 0),
    "hideBackdrop": (True, False),
    "ModalProps": ({"keepMounted": True}, None),
    "onClose": (on_close, None),
    "open": (True, False),
    "PaperProps": ({"square": True}, None),
    "SlideProps": ({"appear": False}, None),
    "slotProps": ({"backdrop": {}}, None),
    "slots": ({"backdrop": None}, None),
    "sx": ({"color": "red"}, "color: red;"),
    "transitionDuration": (300, {"enter": 200, "exit": 100}),
    "variant": ("persistent", None),
    "minWidth": (200, None),
    "maxWidth": (600, None),
    "minHeight": (100, None),
    "maxHeight": (400, None),
}
PROPS = list(VALUES)


def fresh(value):
    """Instantiate widget classes given in VALUES (widgets need the QApplication)."""
    if isinstance(value, type):
        return value()
    if isinstance(value, list):
        return [fresh(v) for v in value]
    return value


@pytest.fixture
def drawer(make_drawer):
    return make_drawer()


@pytest.mark.parametrize("prop", PROPS)
def test_setter_stores_by_reference_and_getter_unwraps_at_call_time(drawer, State, prop):
    setter, getter = getattr(drawer, f"_set_{prop}"), getattr(drawer, f"_get_{prop}")
    first, second = (fresh(v) for v in VALUES[prop])

    assert setter(first) is None
    assert getattr(drawer, f"_{prop}") is first
    assert getter() is first

    state = State(first)
    setter(value=state)
    assert getattr(drawer, f"_{prop}") is state
    assert getter() is first
    state.value = second
    assert getter() is second
    assert getattr(drawer, f"_{prop}") is state

    inner = State(first)
    setter(State(inner))
    assert getter() is inner


def test_transition_duration_exists_only_once_set(make_drawer):
    drawer = make_drawer(transitionDuration=500)
    with pytest.raises(AttributeError, match="_transitionDuration"):
        drawer._get_transitionDuration()
    drawer._set_transitionDuration(300)
    assert drawer._get_transitionDuration() == 300


@pytest.mark.parametrize("prop,value,error", [
    ("anchor", "middle", ValueError),
    ("anchor", 3, TypeError),
    ("anchor", None, TypeError),
    ("variant", "floating", ValueError),
    ("elevation", "8", TypeError),
    ("hideBackdrop", 1, TypeError),
    ("open", "yes", TypeError),
    ("anchorEl", object(), TypeError),
    ("onClose", "close", TypeError),
    ("classes", ["root"], TypeError),
    ("sx", 12, TypeError),
    ("transitionDuration", "fast", TypeError),
    ("maxHeight", 4.5, TypeError),
])
def test_rejected_values_are_reported_and_not_stored(drawer, prop, value, error):
    before = getattr(drawer, f"_{prop}", "absent")
    with pytest.raises(error, match=f"'{prop}'"):
        getattr(drawer, f"_set_{prop}")(value)
    assert getattr(drawer, f"_{prop}", "absent") is before


@pytest.mark.parametrize("value", [object(), 5, "text", (QLabel, QLabel), {"a": 1}])
def test_children_setter_takes_anything(drawer, value):
    drawer._set_children(value)
    assert drawer._children is value and drawer._get_children() is value


def test_getters_look_state_up_at_each_call(drawer, State, monkeypatch):
    title = State("Settings")
    drawer._set_title(title)

    class Other:
        pass

    monkeypatch.setattr(drawer_module, "State", Other)
    assert drawer._get_title() is title  # no longer recognised as a State
    monkeypatch.undo()
    assert drawer._get_title() == "Settings"
