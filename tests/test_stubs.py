"""The typing stubs shipped with the package agree with the modules they describe.

The stubs are read from the installed package (beside the modules), parsed
with ``ast`` and compared with the live objects: the members of ``Drawer``,
the parameter names, kinds and defaults of every method, the instance
attributes a drawer carries, and the public names of the stand-ins.
"""

import ast
import importlib
import inspect
import types
import typing
from pathlib import Path

import pytest
from qtpy.QtCore import QPointF
from qtpy.QtGui import QColor
from qtpy.QtWidgets import QLabel, QSplitter, QWidget

import zarnu
import zarnu.material.drawer.drawer as drawer_module
from zarnu.material.drawer.drawer import Drawer

PACKAGE_DIR = Path(zarnu.__file__).resolve().parent
DRAWER_STUB = Path(drawer_module.__file__).resolve().parent / "drawer.pyi"
# Stubs of pure-Python modules, by module name.
MODULE_STUBS = {
    ".".join(path.relative_to(PACKAGE_DIR.parent).with_suffix("").parts): path
    for path in PACKAGE_DIR.rglob("*.pyi")
    if path != DRAWER_STUB
}
NO_DEFAULT = inspect.Parameter.empty


def parse(path):
    return ast.parse(path.read_text(encoding="utf-8"), filename=str(path))


def stub_class(tree, name):
    for node in tree.body:
        if isinstance(node, ast.ClassDef) and node.name == name:
            return node
    raise AssertionError(f"no class {name} in the stub")


def is_classvar(annotation):
    target = annotation.value if isinstance(annotation, ast.Subscript) else annotation
    return isinstance(target, ast.Name) and target.id == "ClassVar"


def class_members(node):
    """(methods, class attributes, instance attributes) declared in a stub class body."""
    methods, class_attrs, instance_attrs = {}, set(), set()
    for item in node.body:
        if isinstance(item, ast.FunctionDef):
            # A property setter repeats the getter's name.
            methods.setdefault(item.name, item)
        elif isinstance(item, ast.AnnAssign):
            (class_attrs if is_classvar(item.annotation) else instance_attrs).add(item.target.id)
        elif isinstance(item, ast.Assign):
            class_attrs.update(t.id for t in item.targets)
    return methods, class_attrs, instance_attrs


def stub_parameters(func):
    """[(name, kind, default)] of a stub function; default is NO_DEFAULT, or
    Ellipsis where the stub only says that there is one."""
    args = func.args
    kinds = inspect.Parameter
    params = []
    positional = [(a, kinds.POSITIONAL_ONLY) for a in args.posonlyargs]
    positional += [(a, kinds.POSITIONAL_OR_KEYWORD) for a in args.args]
    defaults = [NO_DEFAULT] * (len(positional) - len(args.defaults)) + list(args.defaults)
    for (arg, kind), default in zip(positional, defaults):
        params.append((arg.arg, kind, default))
    if args.vararg:
        params.append((args.vararg.arg, kinds.VAR_POSITIONAL, NO_DEFAULT))
    for arg, default in zip(args.kwonlyargs, args.kw_defaults):
        params.append((arg.arg, kinds.KEYWORD_ONLY, NO_DEFAULT if default is None else default))
    if args.kwarg:
        params.append((args.kwarg.arg, kinds.VAR_KEYWORD, NO_DEFAULT))
    return [(name, kind, default if default is NO_DEFAULT else ast.literal_eval(default))
            for name, kind, default in params]


def assert_signature_matches(func_node, real, where):
    stub = stub_parameters(func_node)
    actual = list(inspect.signature(real).parameters.values())
    assert [(n, k) for n, k, _ in stub] == [(p.name, p.kind) for p in actual], where
    for (name, _, default), param in zip(stub, actual):
        if default is Ellipsis:
            assert param.default is not NO_DEFAULT, f"{where}: {name} has no default"
        else:
            assert default == param.default, f"{where}: default of {name}"


# --- Drawer --------------------------------------------------------------------

STUB_TREE = parse(DRAWER_STUB)
DRAWER_NODE = stub_class(STUB_TREE, "Drawer")
STUB_METHODS, STUB_CLASS_ATTRS, STUB_INSTANCE_ATTRS = class_members(DRAWER_NODE)


def defined_by_drawer():
    """Names the class body of Drawer defines: its __dict__ less what the
    binding adds to every QSplitter subclass and the dunders (but __init__)."""
    binding_added = set(type("Probe", (QSplitter,), {}).__dict__)
    return {name for name in Drawer.__dict__
            if name == "__init__" or not (name.startswith("__") and name.endswith("__"))
            if name not in binding_added}


def test_stub_declares_exactly_the_members_of_the_class():
    assert set(STUB_METHODS) | STUB_CLASS_ATTRS == defined_by_drawer()
    assert STUB_CLASS_ATTRS == {"VALID_ANCHOR", "VALID_VARIANT"}


def test_stub_describes_the_class_as_a_splitter():
    assert [ast.unparse(b) for b in DRAWER_NODE.bases] == ["QSplitter"]
    assert Drawer.__bases__ == (QSplitter,)


@pytest.mark.parametrize("name", sorted(STUB_METHODS))
def test_method_signature_matches(name):
    assert_signature_matches(STUB_METHODS[name], getattr(Drawer, name), f"Drawer.{name}")


def test_color_default_of_set_shadow_effect_is_the_shadow_colour():
    # The stub can only say "...": check what it stands for.
    color = inspect.signature(Drawer.setShadowEffect).parameters["color"].default
    assert isinstance(color, QColor) and color.getRgb() == (0, 0, 0, 50)


@pytest.mark.parametrize("alias, attr", [("_Anchor", "VALID_ANCHOR"), ("_Variant", "VALID_VARIANT")])
def test_literal_aliases_list_the_valid_values(alias, attr):
    for node in STUB_TREE.body:
        if isinstance(node, ast.AnnAssign) and node.target.id == alias:
            values = [ast.literal_eval(e) for e in node.value.slice.elts]
            break
    else:
        raise AssertionError(f"no alias {alias}")
    assert values == getattr(Drawer, attr)


def test_stub_names_only_what_the_module_has():
    names = set()
    for node in STUB_TREE.body:
        if isinstance(node, (ast.ClassDef, ast.FunctionDef)):
            names.add(node.name)
        elif isinstance(node, (ast.AnnAssign, ast.Assign)):
            names.update(t.id for t in (node.targets if isinstance(node, ast.Assign) else [node.target]))
        elif isinstance(node, ast.ImportFrom):
            names.update(a.asname for a in node.names if a.asname == a.name)  # "import X as X" re-exports
    assert {name for name in names if not name.startswith("_") and not hasattr(drawer_module, name)} == set()


OFFSETS = {"Iterable[float]": (3.0, 4.0), "QPointF": QPointF(3, 4)}


def test_each_offset_type_of_the_stub_is_used_by_the_method(make_drawer):
    offset = next(a for a in STUB_METHODS["setShadowEffect"].args.args if a.arg == "offset")
    for member in ast.unparse(offset.annotation).split(" | "):
        drawer = make_drawer()
        drawer.setShadowEffect(offset=OFFSETS[member])
        effect = drawer._frm_content.graphicsEffect()
        assert (effect.xOffset(), effect.yOffset()) == (3, 4), member


def test_instance_attributes_are_those_of_a_built_drawer(make_drawer, State):
    drawer = make_drawer(anchorEl=QWidget(), children=[QLabel("x")], sx={"color": "red"},
                         onClose=lambda: None, maxWidth=400, minHeight=100, maxHeight=300)
    drawer._set_transitionDuration(200)  # the one prop the constructor leaves out
    # The binding keeps bound signals and its own bookkeeping in the instance
    # dict too; those are Qt's names, not the drawer's.
    own = {name for name in vars(drawer)
           if not hasattr(QSplitter, name) and not name.startswith("__")}
    assert own == STUB_INSTANCE_ATTRS


def outer_types(hint):
    """The types an annotation admits at its outer level: generics by origin, a Literal by its values' type."""
    members = typing.get_args(hint) if typing.get_origin(hint) in (typing.Union, types.UnionType) else (hint,)
    return {type(typing.get_args(m)[0]) if typing.get_origin(m) is typing.Literal else typing.get_origin(m) or m
            for m in members}


def test_stub_constructor_has_the_module_s_parameters_and_their_accessors():
    # Kinds and defaults: test_method_signature_matches. The module's annotations resolve in its
    # namespace; the stub's are evaluated with the stub's own imports and aliases.
    namespace = {}
    exec(compile(ast.Module([n for n in STUB_TREE.body if not isinstance(n, ast.ClassDef)], []), "stub", "exec"),
         namespace)
    stub = {a.arg: eval(ast.unparse(a.annotation), namespace) for a in STUB_METHODS["__init__"].args.args[1:]}
    hints = typing.get_type_hints(Drawer.__init__)
    assert hints["children"] == typing.Optional[typing.Union[namespace["State"], QWidget, typing.List[QWidget]]]
    assert list(stub) == list(hints)
    # Title is annotated as optional, but its setter's validation refuses None: the stub follows the setter.
    only_in_module = {"title": {type(None)}}
    for name, hint in hints.items():
        assert outer_types(stub[name]) == outer_types(hint) - only_in_module.get(name, set()), name
        assert name == "parent" or ({f"_set_{name}", f"_get_{name}"} <= set(STUB_METHODS)
                                    and f"_{name}" in STUB_INSTANCE_ATTRS), name


# --- the stand-ins and the markers -----------------------------------------------

@pytest.mark.parametrize("module_name", sorted(MODULE_STUBS))
def test_stand_in_stub_matches_its_module(module_name):
    module = importlib.import_module(module_name)
    tree = parse(MODULE_STUBS[module_name])
    top = {}
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            top[node.name] = node
        elif isinstance(node, ast.AnnAssign):
            top[node.target.id] = node
        elif isinstance(node, ast.ImportFrom):
            # "import X as X" re-exports X.
            top.update({a.asname: node for a in node.names if a.asname and a.asname == a.name})
    public = {name for name in top if not name.startswith("_") or name in module.__all__}
    assert set(module.__all__) <= public, f"{module_name}: names of __all__ missing from the stub"
    for name in public:
        assert hasattr(module, name), f"{module_name}.{name} is in the stub only"

    for name, node in top.items():
        real = getattr(module, name, None)
        if isinstance(node, ast.FunctionDef):
            assert_signature_matches(node, real, f"{module_name}.{name}")
        elif isinstance(node, ast.ClassDef):
            methods, class_attrs, _ = class_members(node)
            for attr in class_attrs:
                assert attr in vars(real), f"{module_name}.{name}.{attr}"
            for method, func in methods.items():
                target = vars(real)[method]
                if isinstance(target, property):
                    continue
                assert_signature_matches(func, target, f"{module_name}.{name}.{method}")


@pytest.mark.parametrize("marker", ["py.typed", "material/drawer/py.typed"])
def test_package_is_marked_as_typed(marker):
    assert (PACKAGE_DIR / marker).is_file()


def test_extension_stub_is_installed_beside_the_extension():
    assert DRAWER_STUB.is_file()
