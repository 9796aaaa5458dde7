"""The README's usage example runs as written, and its props table and gallery
match the class and the demo."""

import ast
import inspect
import re
from pathlib import Path

import pytest

from zarnu import demo
from zarnu.material.drawer.drawer import Drawer

ROOT = Path(__file__).resolve().parent.parent
README = (ROOT / "README.md").read_text(encoding="utf-8")


def section(title):
    match = re.search(rf"^## {re.escape(title)}\n(.*?)(?=^## |\Z)", README, re.S | re.M)
    assert match, f"README has no section {title!r}"
    return match.group(1)


def test_usage_example_runs_and_prints_what_the_readme_says(run_python):
    code = re.search(r"<!-- example -->\s*```python\n(.*?)```", README, re.S)
    assert code, "README has no python block marked <!-- example -->"
    claim = re.search(r"It prints `([^`]*)` and `([^`]*)`", section("Usage"))
    assert claim, "the Usage section does not say what the example prints"

    result = run_python(code.group(1))
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == list(claim.groups())


def props_table():
    rows = {}
    for line in section("Props").splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) == 4 and re.fullmatch(r"`\w+`", cells[0]):
            rows[cells[0].strip("`")] = cells
    return rows


def test_props_table_lists_the_constructor_parameters_in_order():
    params = list(inspect.signature(Drawer.__init__).parameters)
    named = [p for p in params if p not in ("self", "args", "kwargs")]
    assert list(props_table()) == named


@pytest.mark.parametrize("prop, cells", props_table().items())
def test_literal_defaults_in_the_table_are_the_signature_defaults(prop, cells):
    default = inspect.signature(Drawer.__init__).parameters[prop].default
    literal = re.fullmatch(r"`([^`]*)`", cells[2])
    if literal:
        assert ast.literal_eval(literal.group(1)) == default
    else:
        # Prose: a default that does not take effect as written in the signature.
        assert default in (None, False) and cells[2]


def test_gallery_shows_every_scene_and_the_pictures_are_committed():
    shown = re.findall(r"\((docs/gallery/[\w-]+\.png)\)", section("Gallery"))
    assert sorted(shown) == sorted(f"docs/gallery/{name}.png" for name in demo.SCENE_NAMES)
    for path in shown:
        assert (ROOT / path).is_file(), path
