"""The installed package and the demo, as the set-up script leaves them."""

import os
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest
from qtpy.QtGui import QImage

import zarnu.demo
import zarnu.material.drawer.drawer as drawer_module

SITE = Path(sysconfig.get_path("platlib")).resolve()


@pytest.mark.parametrize("module", [drawer_module, zarnu.demo], ids=["extension", "demo"])
def test_modules_come_from_the_installed_wheel(module):
    # A test run that picked up the source tree instead would not exercise
    # the build: the extension and the Python package must sit side by side
    # in site-packages.
    assert Path(module.__file__).resolve().is_relative_to(SITE)


def test_demo_renders_the_main_window_to_png(tmp_path):
    out = tmp_path / "shots"
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run(
        [sys.executable, "-P", "-m", "zarnu.demo", "--out", str(out)],
        capture_output=True, text=True, env=env, cwd=tmp_path, timeout=120,
    )
    assert result.returncode == 0, result.stderr

    printed = [Path(line) for line in result.stdout.splitlines()]
    assert printed and all(p.suffix == ".png" and p.parent == out for p in printed)
    assert sorted(printed) == sorted(out.glob("*.png"))

    image = QImage(str(printed[0]))
    assert (image.width(), image.height()) == zarnu.demo.WINDOW_SIZE
    # Something was painted: a grab of a window that never laid out or drew
    # comes back as a single flat colour.
    step = 25
    colours = {image.pixel(x, y) for x in range(0, image.width(), step)
               for y in range(0, image.height(), step)}
    assert len(colours) > 2
