"""Loading the drawer module and the shape of the class it builds."""

import builtins
import importlib
import json
import re
import textwrap
import uuid

import pytest
from qtpy.QtGui import QColor
from qtpy.QtWidgets import QSplitter

import zarnu.material.drawer.drawer as drawer_module
from zarnu.material.drawer.drawer import Drawer

MODULE = "zarnu.material.drawer.drawer"

# Validated props in class order: accepted forms, and the class list given as valid values.
VALIDATION = {
    "title": "State str Callable", "anchor": "State str | VALID_ANCHOR",
    "anchorEl": "State QWidget None", "classes": "State Dict None", "elevation": "State int",
    "hideBackdrop": "State bool", "ModalProps": "State Dict None",
    "onClose": "State Callable None", "open": "State bool", "PaperProps": "State Dict None",
    "SlideProps": "State Dict None", "slotProps": "State Dict None", "slots": "State Dict None",
    "sx": "State Dict Callable str None", "transitionDuration": "State int Dict None",
    "variant": "State str None | VALID_VARIANT", "minWidth": "State int None",
    "maxWidth": "State int None", "minHeight": "State int None", "maxHeight": "State int None",
}
PROPS = list(VALIDATION)
PROPS.insert(PROPS.index("classes"), "children")
METHODS_AFTER_PROPS = ["_init_ui", "_set_stylesheet", "setShadowEffect", "reTranslation", "_show",
                       "_close", "showDrawer", "update_position", "eventFilter"]
MEMBERS = (["VALID_ANCHOR", "VALID_VARIANT", "__init__"]
           + [name for p in PROPS for name in (f"_set_{p}", f"_get_{p}")] + METHODS_AFTER_PROPS)


def run_json(run_python, code):
    """Run ``code`` in a fresh interpreter; it reports by printing one JSON line last."""
    result = run_python(textwrap.dedent(code))
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout.splitlines()[-1])


# --- import time -------------------------------------------------------------------

def test_validation_factory_is_called_once_per_validated_setter(run_python):
    report = run_json(run_python, """
    import importlib, json, sys, typing
    import zarnu.material.utils.validate_params as vp
    from qtpy.QtWidgets import QWidget
    from zarnu.hooks.use_state import State

    NAMES = {State: "State", str: "str", int: "int", bool: "bool", typing.Dict: "Dict",
             typing.Callable: "Callable", QWidget: "QWidget", type(None): "None"}
    calls, original = [], vp._validate_param

    def recording(*args, **kwargs):
        decorate = original(*args, **kwargs)

        def recording_decorator(*fargs, **fkwargs):
            result = decorate(*fargs, **fkwargs)
            calls.append((args, kwargs, [getattr(f, "__qualname__", f) for f in fargs],
                          fkwargs, result))
            return result
        return recording_decorator

    vp._validate_param = recording
    module = importlib.import_module("zarnu.material.drawer.drawer")
    Drawer = module.Drawer
    out = []
    for args, kwargs, decorated, fkwargs, result in calls:
        members = typing.get_args(kwargs["supported_signatures"])
        forms = " ".join(NAMES.get(m, repr(m)) for m in members)
        for name in ("VALID_ANCHOR", "VALID_VARIANT"):
            if kwargs.get("valid_values") is getattr(Drawer, name):
                forms += " | " + name
        out.append([args, list(kwargs), kwargs["file_path"], kwargs["param_name"], forms,
                    typing.get_origin(kwargs["supported_signatures"]) is typing.Union,
                    decorated, fkwargs, Drawer.__dict__["_set_" + kwargs["param_name"]] is result])

    del sys.modules["zarnu.material.drawer.drawer"]
    again = importlib.import_module("zarnu.material.drawer.drawer")
    print(json.dumps([out, again is module, again.Drawer is Drawer, len(calls)]))
    """)
    calls, same_module, same_class, total = report
    assert [call[3] for call in calls] == list(VALIDATION)
    for call in calls:
        prop = call[3]
        keys = ["file_path", "param_name", "supported_signatures"]
        keys += ["valid_values"] if "|" in VALIDATION[prop] else []
        assert call == [[], keys, "zarnu.material.drawer", prop, VALIDATION[prop], True,
                        [f"Drawer._set_{prop}"], {}, True]
    assert same_module and same_class
    assert total == 20  # the second import ran nothing


# case -> (set-up before the import, error type and message, undoing the set-up)
FAILING_IMPORTS = {
    "sibling module missing": (
        "sys.modules['zarnu.material.button'] = None",
        "ModuleNotFoundError", "import of zarnu.material.button halted; None in sys.modules",
        "del sys.modules['zarnu.material.button']"),
    "top-level module missing": (
        "sys.modules['zarnu.zarnu_assets'] = None",
        "ModuleNotFoundError", "import of zarnu.zarnu_assets halted; None in sys.modules",
        "del sys.modules['zarnu.zarnu_assets']"),
    "name missing": (
        "import types; sys.modules['zarnu.material.button'] = types.ModuleType('b')",
        "ImportError", "cannot import name Button",
        "del sys.modules['zarnu.material.button']"),
    "sibling module missing, loaded under another name": (
        "spec = importlib.util.spec_from_file_location('drawer', spec.origin)\n"
        "sys.modules['zarnu.material.button'] = None",
        "ModuleNotFoundError", "import of zarnu.material.button halted; None in sys.modules",
        "del sys.modules['zarnu.material.button']"),
    "factory raises": (
        "import zarnu.material.utils.validate_params as vp; original = vp._validate_param\n"
        "def refuse(**kwargs): raise LookupError('refused ' + kwargs['param_name'])\n"
        "vp._validate_param = refuse",
        "LookupError", "refused title",
        "vp._validate_param = original"),
}


@pytest.mark.parametrize("case", list(FAILING_IMPORTS))
def test_failed_import_propagates_and_leaves_no_class(run_python, case):
    setup, exc_type, message, undo = FAILING_IMPORTS[case]
    name, text, formatted, registered, has_class, retried = run_json(run_python, f"""
    import importlib, importlib.util, json, sys, traceback
    spec = importlib.util.find_spec("zarnu.material.drawer.drawer")
{textwrap.indent(setup, "    ")}
    module = importlib.util.module_from_spec(spec)
    try:
        spec.loader.exec_module(module)
        error = [None, None, ""]
    except BaseException as exc:
        error = [type(exc).__name__, str(exc), "".join(traceback.format_exception(exc))]
    error.append("zarnu.material.drawer.drawer" in sys.modules)
{textwrap.indent(undo, "    ")}
    retried = importlib.import_module("zarnu.material.drawer.drawer")
    print(json.dumps(error + [hasattr(module, "Drawer"), hasattr(retried, "Drawer")]))
    """)
    assert (name, text) == (exc_type, message)
    assert "init zarnu.material.drawer.drawer" in formatted
    assert not registered  # the failure took back the module's sys.modules entry
    assert not has_class
    assert retried  # the failed attempt is forgotten: without its cause the import succeeds


def test_exec_takes_a_missing_name_from_a_loaded_submodule_and_registers_the_module(run_python):
    assert run_json(run_python, """
    import importlib.util, json, sys, types
    sub = types.ModuleType("zarnu.material.button.Button")
    sys.modules["zarnu.material.button"] = types.ModuleType("zarnu.material.button")
    sys.modules["zarnu.material.button.Button"] = sub
    spec = importlib.util.find_spec("zarnu.material.drawer.drawer")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    print(json.dumps([module.Button is sub, sys.modules.get(spec.name) is module]))
    """) == [True, True]


def test_loaded_under_its_file_name_imports_relative_to_its_package(run_python):
    assert run_json(run_python, """
    import json, os, sys
    import zarnu.material.drawer
    sys.path.insert(0, os.path.dirname(zarnu.material.drawer.__file__))
    import drawer
    from zarnu.material.button import Button
    from zarnu.material.drawer.drawer import Drawer
    print(json.dumps([drawer.Drawer is Drawer, drawer.Button is Button]))
    """) == [True, True]


SUBINTERPRETER_LOAD = """
import importlib.util
spec = importlib.util.spec_from_file_location("zarnu.material.drawer.drawer", {file!r})
try:
    spec.loader.exec_module(importlib.util.module_from_spec(spec))
    result = "loaded"
except BaseException as exc:
    result = type(exc).__name__ + ": " + str(exc)
with open({out!r}, "w") as f:
    f.write(result)
"""


def test_second_interpreter_is_refused(run_python):
    report = run_json(run_python, f"""
    import json, os, tempfile
    import zarnu.material.drawer.drawer as module
    try:
        import _interpreters
        interp = _interpreters.create("legacy")
    except Exception as exc:
        print(json.dumps({{"skip": f"cannot create a subinterpreter: {{exc!r}}"}}))
        raise SystemExit
    fd, out = tempfile.mkstemp()
    os.close(fd)
    failure = _interpreters.run_string(interp, {SUBINTERPRETER_LOAD!r}.format(file=module.__file__,
                                                                              out=out))
    _interpreters.destroy(interp)
    with open(out) as f:
        result = f.read()
    os.unlink(out)
    print(json.dumps({{"result": result, "failure": None if failure is None else str(failure)}}))
    """)
    if "skip" in report:
        pytest.skip(report["skip"])
    assert report == {"failure": None, "result": "ImportError: Interpreter change detected - this "
                      "module can only be loaded into one interpreter per process."}


# --- namespace and class shape ------------------------------------------------------

NAMESPACE_SOURCES = {
    "typing": "Optional Union Dict Callable List",
    "qtpy.QtWidgets": "QVBoxLayout QWidget QApplication QFrame QHBoxLayout QSizePolicy QSplitter "
                      "QGraphicsDropShadowEffect",
    "qtpy.QtCore": "Qt QPoint QEvent",
    "qtpy.QtGui": "QKeyEvent QColor",
    "zarnu.material.button": "Button",
    "zarnu.material.typography": "Typography",
    "zarnu.material.stack": "Stack",
    "zarnu.material.styles": "useTheme",
    "zarnu.i18n.use_translation": "translate i18n",
    "zarnu.hooks.use_state": "State",
    "zarnu.material.styles.create_theme.components.get_qss_styles": "get_qss_style",
    "zarnu.material.system.color_manipulator": "alpha",
    "zarnu.zarnu_assets": "ZARNU_ASSETS",
    "zarnu.material.utils.validate_params": "_validate_param",
}


def test_module_namespace():
    expected = {"uuid": uuid, "Drawer": Drawer}
    for source, names in NAMESPACE_SOURCES.items():
        module = importlib.import_module(source)
        expected.update((name, getattr(module, name)) for name in names.split())
    namespace = vars(drawer_module)
    assert {k: v for k, v in namespace.items() if not k.startswith("__")} == expected
    assert namespace["__builtins__"] is builtins and namespace["__doc__"] is None
    spec = drawer_module.__spec__
    assert (drawer_module.__name__, drawer_module.__package__) == (MODULE, "zarnu.material.drawer")
    assert drawer_module.__loader__ is spec.loader and drawer_module.__file__ == spec.origin
    assert not hasattr(drawer_module, "__path__")


def test_class_shape():
    assert Drawer.__bases__ == (QSplitter,) and type(Drawer) is type(QSplitter)
    assert "__orig_bases__" not in Drawer.__dict__
    assert (Drawer.__module__, Drawer.__qualname__, Drawer.__name__) == (MODULE, "Drawer", "Drawer")
    assert Drawer.__doc__.startswith(
        "A component that renders a drawer sliding in from a specified side.")
    sections = re.findall(r"\n *(\w[\w ]*)\n *-{3,}\n", Drawer.__doc__)
    assert sections == ["Parameters", "Attributes", "Notes", "Demos", "API Reference"]
    assert Drawer.VALID_ANCHOR == ["bottom", "left", "right", "top"]
    assert Drawer.VALID_VARIANT == ["permanent", "persistent", "temporary"]
    assert type(Drawer.VALID_ANCHOR) is list and type(Drawer.VALID_VARIANT) is list

    assert [name for name in Drawer.__dict__ if name in MEMBERS] == MEMBERS
    for name in MEMBERS[2:]:
        member = Drawer.__dict__[name]
        assert (member.__qualname__, member.__module__) == (f"Drawer.{name}", MODULE)
    for name in ["__init__"] + METHODS_AFTER_PROPS:
        expected = " add shadow to dialog " if name == "setShadowEffect" else None
        assert Drawer.__dict__[name].__doc__ == expected, name


@pytest.mark.parametrize("prop", PROPS)
def test_accessors_are_compiled_and_validated_setters_wrapped_except_children(prop):
    compiled = type(Drawer.__dict__["_init_ui"])
    setter, getter = Drawer.__dict__[f"_set_{prop}"], Drawer.__dict__[f"_get_{prop}"]
    assert type(getter) is compiled and getter.__doc__ == f"Get the {prop} value."
    custom = " (custom feature)" if prop in {"title", "anchorEl", "minWidth", "maxWidth", "minHeight", "maxHeight"} else ""
    assert setter.__doc__ == ("Assign value to children and store widget references." if prop == "children"
                              else f"Assign value to {prop}{custom}.")
    assert (type(setter) is compiled) == (prop == "children")
    # param_name: left on its result by the validation decorator.
    assert prop == "children" or setter.param_name == prop and type(setter.__wrapped__) is compiled


def test_once_evaluated_defaults_and_annotations():
    defaults = Drawer.setShadowEffect.__defaults__
    assert defaults == (60, (0, 10), QColor(0, 0, 0, 50))
    assert Drawer.setShadowEffect.__defaults__[2] is defaults[2]
    assert Drawer.__init__.__defaults__ is Drawer.__init__.__defaults__
    assert Drawer._show.__annotations__ == {"state": "bool"}
