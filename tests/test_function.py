"""The compiled methods of Drawer behave as Python functions do.

Each method is compared with a pure-Python reference function of the signature it must have:
introspection and the wording of argument errors must be the interpreter's own.
"""

import contextlib
import copy
import ctypes
import cProfile
import functools
import inspect
import json
import pickle
import pstats
import pydoc
import sys
import traceback
import types
import weakref

import pytest
from qtpy.QtCore import QObject, QSize, Signal
from qtpy.QtGui import QResizeEvent
from qtpy.QtWidgets import QApplication, QSplitter

import zarnu.material.drawer.drawer as drawer_module
from zarnu.hooks.use_state import State
from zarnu.i18n.use_translation import i18n
from zarnu.material.drawer.drawer import Drawer

from model_support import load_model

CONSTRUCTOR = [
    ("parent", "Optional[QWidget]", None),
    ("title", "Optional[Union[State, str, Callable]]", "Drawer"),
    ("anchor", "Union[State, str]", "right"),
    ("anchorEl", "Optional[Union[State, QWidget]]", None),
    ("children", "Optional[Union[State, QWidget, List[QWidget]]]", None),
    ("classes", "Optional[Union[State, Dict]]", None),
    ("elevation", "Union[State, int]", 16),
    ("hideBackdrop", "Union[State, bool]", False),
    ("ModalProps", "Optional[Union[State, Dict]]", None),
    ("onClose", "Optional[Union[State, Callable]]", None),
    ("open", "Union[State, bool]", False),
    ("PaperProps", "Optional[Union[State, Dict]]", None),
    ("SlideProps", "Optional[Union[State, Dict]]", None),
    ("slotProps", "Optional[Union[State, Dict]]", None),
    ("slots", "Optional[Union[State, Dict]]", None),
    ("sx", "Optional[Union[State, Dict, Callable, str]]", None),
    ("transitionDuration", "Optional[Union[State, int, Dict]]", None),
    ("variant", "Optional[Union[State, str]]", "temporary"),
    ("minWidth", "Optional[Union[State, int]]", None),
    ("maxWidth", "Optional[Union[State, int]]", None),
    ("minHeight", "Optional[Union[State, int]]", None),
    ("maxHeight", "Optional[Union[State, int]]", None),
]
PROPS = [name for name, _, _ in CONSTRUCTOR[1:]]

SIGNATURES = {
    "__init__": "(self, " + ", ".join(f"{n}: {a!r} = {d!r}" for n, a, d in CONSTRUCTOR)
                + ", *args, **kwargs)",
    **{f"_set_{p}": "(self, value)" for p in PROPS},
    **{f"_get_{p}": "(self)" for p in PROPS},
    "_init_ui": "(self)",
    "_set_stylesheet": "(self)",
    "setShadowEffect": "(self, blurRadius=60, offset=(0, 10), color=COLOR)",
    "reTranslation": "(self)",
    "_show": "(self, state: 'bool')",
    "_close": "(self)",
    "showDrawer": "(self)",
    "update_position": "(self)",
    "eventFilter": "(self, source, event)",
}


def compiled(name):
    """The compiled function behind a member (a validated setter's wrapped function)."""
    member = Drawer.__dict__[name]
    return getattr(member, "__wrapped__", member)


def reference(name):
    namespace = {"COLOR": Drawer.setShadowEffect.__defaults__[2]}
    exec(f"def {name}{SIGNATURES[name]}: pass", namespace)
    function = namespace[name]
    function.__qualname__ = f"Drawer.{name}"
    function.__code__ = function.__code__.replace(co_qualname=f"Drawer.{name}")
    return function


# label -> call(function, names of the parameters it must have)
CALLS = {
    "no arguments": lambda f, p: f(),
    "only self": lambda f, p: f(None),
    "too many": lambda f, p: f(*range(30)),
    "unexpected keyword": lambda f, p: f(None, bogus=1),
    "self twice": lambda f, p: f(None, self=None),
    "self twice, name built at run time": lambda f, p: f(None, **{"".join(["se", "lf"]): None}),
    "second twice": lambda f, p: f(None, None, **{p[1]: None}) if len(p) > 1 else None,
    "non-string keyword": lambda f, p: f(**{1: 2}),
    "bound, too many": lambda f, p: types.MethodType(f, object())(*range(29)),
    "bound, missing": lambda f, p: types.MethodType(f, object())(),
    "bound, self twice": lambda f, p: types.MethodType(f, object())(self=None),
}


def binding_error(label, name, function):
    try:
        CALLS[label](function, list(inspect.signature(reference(name)).parameters))
    except TypeError as exc:
        return str(exc)
    return None


# Only the calls that the reference refuses while binding its arguments: the compiled
# function must refuse them in the same words, before running anything.
ERROR_CASES = [(name, label)
               for name in ["__init__", "_set_children", "_get_title", "_init_ui",
                            "setShadowEffect", "_show", "eventFilter"]
               for label in CALLS if binding_error(label, name, reference(name)) is not None]


@pytest.mark.parametrize("name", list(SIGNATURES))
def test_introspection_matches_a_python_function(name):
    function, ref = compiled(name), reference(name)
    assert inspect.signature(function) == inspect.signature(ref)
    assert inspect.signature(Drawer.__dict__[name]) == inspect.signature(ref)
    assert function.__defaults__ == ref.__defaults__
    assert function.__kwdefaults__ is None
    assert (function.__name__, function.__qualname__) == (name, f"Drawer.{name}")
    code, ref_code = function.__code__, ref.__code__
    assert isinstance(code, types.CodeType)
    fields = ["co_argcount", "co_posonlyargcount", "co_kwonlyargcount", "co_name", "co_qualname"]
    assert [getattr(code, f) for f in fields] == [getattr(ref_code, f) for f in fields]
    named = ref_code.co_argcount + 2  # with *args and **kwargs where there are
    assert code.co_varnames[:named] == ref_code.co_varnames[:named]
    flags = inspect.CO_VARARGS | inspect.CO_VARKEYWORDS
    assert code.co_flags & flags == ref_code.co_flags & flags
    assert function.__globals__ is vars(drawer_module)


@pytest.mark.parametrize("name,label", ERROR_CASES)
def test_argument_errors_are_worded_as_for_a_python_function(name, label):
    assert binding_error(label, name, compiled(name)) == binding_error(label, name, reference(name))


def test_class_call_reports_constructor_argument_errors(main_window):
    ref_class = type("Drawer", (), {"__init__": reference("__init__")})
    for call in (lambda cls: cls(None, parent=None), lambda cls: cls(**{"open": 1, 2: 3})):
        errors = []
        for cls in (Drawer, ref_class):
            with pytest.raises(TypeError) as failure:
                call(cls)
            errors.append(str(failure.value))
        assert errors[0] == errors[1]


def test_binding_on_instance_and_class(make_drawer):
    drawer = make_drawer()
    function = Drawer.__dict__["_show"]
    assert Drawer._show is function
    assert function.__get__(None, Drawer) is function
    method = drawer._show
    assert isinstance(method, types.MethodType)
    assert method.__self__ is drawer and method.__func__ is function
    assert drawer._get_anchor() == "right"  # a bound call reaches the instance
    assert weakref.ref(function)() is function
    assert repr(function).startswith("<function Drawer._show at 0x")


@pytest.mark.parametrize("name", ["_show", "__init__", "eventFilter"])
def test_tools_read_it_as_a_function(name):
    function = compiled(name)
    assert pydoc.render_doc(function, renderer=pydoc.plaintext).splitlines()[0] == (
        f"Python Library Documentation: function {name} in module zarnu.material.drawer.drawer")
    for obj in (function, function.__get__(object())):
        with pytest.raises(OSError, match="source code not available"):
            inspect.getsource(obj)
    with pytest.raises(TypeError, match=r"__code__ cannot be replaced: the function is compiled"):
        function.__code__ = reference(name).__code__


def test_defaults_are_read_at_each_call(make_drawer, monkeypatch):
    drawer = make_drawer()
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'state'"):
        drawer._show()
    monkeypatch.setattr(Drawer._show, "__defaults__", (True,))
    drawer._show()
    assert drawer.isVisible()
    monkeypatch.setattr(Drawer._show, "__defaults__", None)
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'state'"):
        drawer._show()


def test_wraps_copies_the_function_attributes(monkeypatch):
    function = Drawer._show
    monkeypatch.setattr(function, "marker", "kept", raising=False)
    assert vars(function) == {"marker": "kept"}

    @functools.wraps(function)
    def wrapper(*args, **kwargs):
        return function(*args, **kwargs)

    assert (wrapper.__name__, wrapper.__qualname__, wrapper.__doc__, wrapper.__module__) == (
        "_show", "Drawer._show", None, "zarnu.material.drawer.drawer")
    assert wrapper.__annotations__ == {"state": "bool"}
    assert wrapper.marker == "kept" and wrapper.__wrapped__ is function


@pytest.mark.parametrize("name", ["__init__", "_show", "_set_children", "_get_title", "_set_title",
                                  "setShadowEffect", "eventFilter"])
def test_methods_pickle_by_reference(name):
    member = getattr(Drawer, name)
    assert pickle.loads(pickle.dumps(member)) is member
    assert copy.deepcopy(member) is member


FOREIGN_CALLS = [("__init__", ()), ("_init_ui", ()), ("_set_stylesheet", ()), ("_show", (True,)),
                 ("_close", ()), ("showDrawer", ()), ("update_position", ()),
                 ("eventFilter", (None, None)), ("_get_title", ())]


@pytest.mark.parametrize("name,args,foreign", [
    *[(name, args, object) for name, args in FOREIGN_CALLS + [("_set_children", (1,)),
                                                             ("_set_anchor", ("left",))]],
    *[(name, args, QSplitter) for name, args in FOREIGN_CALLS],
])
def test_foreign_self_raises_instead_of_crashing(main_window, name, args, foreign):
    with pytest.raises((AttributeError, TypeError)):
        getattr(Drawer, name)(foreign(), *args)


class Emitter(QObject):
    nothing = Signal()
    something = Signal(object)


def test_bound_methods_as_slots(make_drawer, qtbot):
    is_open = State(False)
    drawer = make_drawer(open=is_open)
    is_open.value = True  # connected to drawer._show during construction
    assert drawer.isVisible()
    is_open.value = False
    assert not drawer.isVisible()

    emitter = Emitter()
    emitter.nothing.connect(drawer.reTranslation)
    # A slot taking fewer arguments than the signal carries gets only as many as it takes.
    emitter.something.connect(drawer.reTranslation)
    emitter.something.connect(drawer._show)
    emitter.nothing.emit()
    emitter.something.emit(True)
    assert drawer.isVisible()
    i18n.setLanguage("fr")
    i18n.setLanguage("en")


RECURSIONS = {
    "override loop": "class Sub(Drawer):\n    update_position = Drawer.showDrawer\n"
                     "call = lambda: Sub.showDrawer(Sub.__new__(Sub))",
    "mixin filter": "class Mixin(QSplitter):\n    eventFilter = Drawer.eventFilter\n"
                    "class Sub(Drawer, Mixin):\n    pass\n"
                    "call = lambda: Sub.eventFilter(Sub.__new__(Sub), None, QEvent(QEvent.Type.Enter))",
}


@pytest.mark.parametrize("case", RECURSIONS)
def test_unbounded_recursion_raises_recursion_error(run_python, case):
    """Loops of compiled methods end in RecursionError, within a lowered limit too."""
    result = run_python("\n".join([
        "import json, sys, traceback",
        "from qtpy.QtCore import QEvent",
        "from qtpy.QtWidgets import QApplication, QSplitter",
        "from zarnu.material.drawer.drawer import Drawer",
        "app = QApplication([])",
        RECURSIONS[case],
        "report = []",
        "for limit in (None, 150):",
        "    if limit: sys.setrecursionlimit(limit)",
        "    try:",
        "        call()",
        "    except RecursionError as exc:",
        "        entries = traceback.extract_tb(exc.__traceback__)",
        "        report.append([str(exc), sum(e.filename == Drawer.showDrawer.__code__.co_filename for e in entries)])",
        "print(json.dumps(report))",
    ]))
    assert result.returncode == 0, result.stderr[-2000:]
    (default_message, default_depth), (message, depth) = json.loads(result.stdout.splitlines()[-1])
    assert default_message == message == "maximum recursion depth exceeded"
    assert depth <= 150 < default_depth


# --- what debugging and profiling tools see ------------------------------------------------------

class Boom(Exception):
    pass


def boom(*args):
    raise Boom


def own_entries(cls, names):
    """The names of `names` (frame or code names) that belong to the methods of `cls`."""
    file = inspect.getfile(cls.showDrawer)
    return [name for name, filename in names if filename == file]


def failing_update(drawer, anchor):
    drawer.setVisible(True)  # shown first: showing reads the anchor's place too
    anchor.mapToGlobal = boom
    drawer.eventFilter(anchor, QResizeEvent(QSize(40, 30), QSize(20, 10)))


TRACEBACKS = {
    "sx raises during construction": (lambda make, anchor: make(sx=boom),
                                      ["__init__", "_init_ui", "_set_stylesheet"]),
    "onClose raises": (lambda make, anchor: make(onClose=boom)._close(), ["_close"]),
    "mapToGlobal raises": (lambda make, anchor: failing_update(make(anchorEl=anchor), anchor),
                           ["eventFilter", "update_position"]),
}


@pytest.mark.parametrize("case", TRACEBACKS)
@pytest.mark.parametrize("impl", ["compiled", "model"])
def test_tracebacks_show_each_method_an_exception_passed(make_drawer, anchor_widget, case, impl):
    cls = Drawer if impl == "compiled" else load_model().Drawer
    scenario, expected = TRACEBACKS[case]
    with pytest.raises(Boom) as failure:
        scenario(functools.partial(make_drawer, cls=cls), anchor_widget)
    entries = traceback.extract_tb(failure.value.__traceback__)
    assert own_entries(cls, [(e.name, e.filename) for e in entries]) == expected


def profiled_scenario(drawer, anchor):
    drawer.showDrawer()
    anchor.resize(anchor.width() + 10, anchor.height())  # Qt calls eventFilter, it calls update_position
    drawer._get_anchor()
    with contextlib.suppress(Boom):
        drawer._close()


def under_cprofile(cls, run):
    profiler = cProfile.Profile()
    profiler.runcall(run)
    stats = pstats.Stats(profiler).stats
    return own_entries(cls, [((name, calls), file) for (file, _, name), (_, calls, *_) in stats.items()])


def under_monitoring(cls, run):
    events = []
    mon = sys.monitoring
    tool = mon.DEBUGGER_ID
    mon.use_tool_id(tool, "test")
    try:
        for event in ("PY_START", "PY_RETURN", "RAISE", "PY_UNWIND"):
            mon.register_callback(tool, getattr(mon.events, event),
                                  lambda code, *rest, event=event: events.append(((event, code.co_name),
                                                                                  code.co_filename)))
        mon.set_events(tool, mon.events.PY_START | mon.events.PY_RETURN | mon.events.RAISE | mon.events.PY_UNWIND)
        run()
    finally:
        mon.set_events(tool, 0)
        mon.free_tool_id(tool)
    return own_entries(cls, events)


@pytest.mark.parametrize("tool", [under_cprofile, under_monitoring])
def test_profilers_and_monitoring_tools_see_the_methods_as_the_models(make_drawer, anchor_widget, tool):
    seen = {}
    for impl, cls in [("compiled", Drawer), ("model", load_model().Drawer)]:
        drawer = make_drawer(cls=cls, anchorEl=anchor_widget, onClose=boom)
        # Events still posted (Qt 5 has a few more) would be delivered inside the first show.
        QApplication.processEvents()
        seen[impl] = tool(cls, lambda: profiled_scenario(drawer, anchor_widget))
        drawer.hide()
    names = {"showDrawer", "update_position", "eventFilter", "_get_anchor", "_close"}
    if tool is under_cprofile:
        seen = {impl: sorted(entry for entry in entries if entry[0] in names) for impl, entries in seen.items()}
        assert [name for name, _ in seen["model"]] == sorted(names)
    else:
        seen = {impl: [entry for entry in entries if entry[1] in names] for impl, entries in seen.items()}
        assert ("PY_UNWIND", "_close") in seen["model"]
    assert seen["compiled"] == seen["model"]


# --- the C layout that bindings read -------------------------------------------------------------

# A Python function's fields as the interpreter lays them out, with the attribute each holds.
FUNCTION_FIELDS = [("globals", "__globals__"), ("builtins", "__builtins__"), ("name", "__name__"),
                   ("qualname", "__qualname__"), ("code", "__code__"), ("defaults", "__defaults__"),
                   ("kwdefaults", "__kwdefaults__"), ("closure", "__closure__"), ("doc", "__doc__"),
                   ("dict", "__dict__"), ("weakreflist", None), ("module", "__module__"),
                   ("annotations", "__annotations__"), ("typeparams", "__type_params__")]


class PyFunctionObject(ctypes.Structure):
    _fields_ = ([("ob_refcnt", ctypes.c_ssize_t), ("ob_type", ctypes.c_void_p)]
                + [(field, ctypes.c_void_p) for field, _ in FUNCTION_FIELDS]
                + [("vectorcall", ctypes.c_void_p), ("version", ctypes.c_uint32)])


def test_the_c_struct_holds_what_the_attributes_return():
    for name in SIGNATURES:
        for function in (reference(name), compiled(name)):  # the first checks the layout itself
            values = {attr: getattr(function, attr) for _, attr in FUNCTION_FIELDS if attr}  # made if lazy
            struct = PyFunctionObject.from_address(id(function))
            for field, attr in FUNCTION_FIELDS:
                if attr:
                    address = getattr(struct, field)
                    assert address == id(values[attr]) or (address is None and values[attr] in (None, ())), (
                        name, field)
            assert struct.vectorcall
