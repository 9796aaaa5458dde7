"""Build step of the drawer benchmark (bench-only, nothing here is shipped).

    .venv/bin/python bench/build.py          # normally run for you by bench/run.py

1. Makes sure Cython is installed in the running interpreter's environment
   (``pip install cython`` from PyPI when it is missing).
2. Compiles the plain-Python peer bench/peers/drawer_plain.py with Cython's
   default directives (language_level=3) into
   bench/out/cy/drawer_plain_cy<EXT_SUFFIX>. The source is copied to
   drawer_plain_cy.py first so that the compiled module has a name of its own
   and can live in one process beside the interpreted peer.
3. Compiles the C helper bench/floor/floor.c into bench/out/floor/, with the
   callgrind client requests of the instruction counts when valgrind's header
   is installed.

Compiler and flags come from sysconfig (CC, CFLAGS, CCSHARED, LDSHARED), the
same ones a setuptools build of an extension would use. Outputs are rebuilt
only when a source, the Cython version, the flags or the header's presence
change.
"""

from __future__ import annotations

import hashlib
import importlib
import os
import shlex
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

BENCH = Path(__file__).resolve().parent
OUT = BENCH / "out"
PEER_SRC = BENCH / "peers" / "drawer_plain.py"
FLOOR_SRC = BENCH / "floor" / "floor.c"
CY_DIR = OUT / "cy"
FLOOR_DIR = OUT / "floor"
CY_MODULE = "drawer_plain_cy"
CALLGRIND_H = Path("/usr/include/valgrind/callgrind.h")
EXT_SUFFIX = sysconfig.get_config_var("EXT_SUFFIX")


def _log(msg: str) -> None:
    print(f"[bench build] {msg}", file=sys.stderr, flush=True)


def ensure_cython() -> str | None:
    """Return Cython's version, installing it from PyPI when it is missing."""
    try:
        import Cython
        return Cython.__version__
    except ImportError:
        pass
    _log("Cython not found; installing it with pip")
    proc = subprocess.run(
        [sys.executable, "-m", "pip", "install", "--quiet", "cython"],
        capture_output=True, text=True,
    )
    if proc.returncode != 0:
        _log("pip install cython failed:\n" + proc.stderr[-2000:])
        return None
    importlib.invalidate_caches()
    try:
        import Cython
        return Cython.__version__
    except ImportError:
        return None


def _compile_flags() -> tuple[list[str], list[str], list[str]]:
    cv = sysconfig.get_config_var
    cc = shlex.split(cv("CC") or "gcc")
    cflags = shlex.split(cv("CFLAGS") or "") + shlex.split(cv("CCSHARED") or "-fPIC")
    cflags += ["-I" + sysconfig.get_paths()["include"]]
    ldshared = shlex.split(cv("LDSHARED") or "gcc -shared")
    return cc, cflags, ldshared


def _stamp(*parts: str | bytes) -> str:
    h = hashlib.sha256()
    for p in parts:
        h.update(p if isinstance(p, bytes) else p.encode())
        h.update(b"\0")
    return h.hexdigest()


def _up_to_date(target: Path, stamp: str) -> bool:
    stamp_file = target.with_name(target.name + ".stamp")
    return target.exists() and stamp_file.exists() and stamp_file.read_text() == stamp


def _write_stamp(target: Path, stamp: str) -> None:
    target.with_name(target.name + ".stamp").write_text(stamp)


def _run(cmd: list[str], cwd: Path) -> None:
    proc = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True)
    if proc.returncode != 0:
        raise RuntimeError(f"command failed ({proc.returncode}): {shlex.join(cmd)}\n"
                           + proc.stdout[-3000:] + proc.stderr[-3000:])


def _compile_c(src: Path, target: Path, workdir: Path, defines: tuple[str, ...] = ()) -> None:
    cc, cflags, ldshared = _compile_flags()
    cflags = cflags + [f"-D{d}" for d in defines]
    obj = workdir / (src.stem + ".o")
    _run(cc + cflags + ["-c", str(src), "-o", str(obj)], workdir)
    _run(ldshared + [str(obj), "-o", str(target)], workdir)
    obj.unlink(missing_ok=True)


def build_cython(force: bool = False) -> Path | None:
    """Compile the plain-Python peer with Cython; return the extension's path or None."""
    version = ensure_cython()
    if version is None:
        _log("Cython unavailable: the compiled peer is skipped")
        return None
    CY_DIR.mkdir(parents=True, exist_ok=True)
    target = CY_DIR / (CY_MODULE + EXT_SUFFIX)
    source = PEER_SRC.read_bytes()
    stamp = _stamp(source, version, repr(_compile_flags()))
    if not force and _up_to_date(target, stamp):
        return target
    _log(f"cythonizing the plain-Python peer with Cython {version}")
    py_copy = CY_DIR / (CY_MODULE + ".py")
    py_copy.write_bytes(source)
    c_file = CY_DIR / (CY_MODULE + ".c")
    _run([sys.executable, "-m", "cython", "-3", str(py_copy), "-o", str(c_file)], CY_DIR)
    _log("compiling the generated C (takes a few seconds)")
    _compile_c(c_file, target, CY_DIR)
    _write_stamp(target, stamp)
    return target


def build_floor(force: bool = False) -> Path:
    FLOOR_DIR.mkdir(parents=True, exist_ok=True)
    target = FLOOR_DIR / ("floor" + EXT_SUFFIX)
    defines = ("HAVE_CALLGRIND_H",) if CALLGRIND_H.exists() else ()
    stamp = _stamp(FLOOR_SRC.read_bytes(), repr(_compile_flags()), repr(defines))
    if not force and _up_to_date(target, stamp):
        return target
    _log("compiling the event filter floor")
    _compile_c(FLOOR_SRC, target, FLOOR_DIR, defines)
    _write_stamp(target, stamp)
    return target


def build_all(force: bool = False) -> dict:
    """Build everything; return {'cython': path or None, 'floor': path, 'notes': [...]}."""
    notes = []
    try:
        cy = build_cython(force)
    except Exception as exc:  # the bench goes on without the compiled peer
        notes.append(f"Cython build failed: {exc}")
        _log(notes[-1])
        cy = None
    if cy is None and not notes:
        notes.append("Cython not available")
    floor = build_floor(force)
    return {"cython": cy, "floor": floor, "notes": notes}


def clean() -> None:
    shutil.rmtree(CY_DIR, ignore_errors=True)
    shutil.rmtree(FLOOR_DIR, ignore_errors=True)


if __name__ == "__main__":
    if "--clean" in sys.argv:
        clean()
    result = build_all(force="--force" in sys.argv)
    for key in ("cython", "floor"):
        print(f"{key}: {result[key]}")
    for note in result["notes"]:
        print("note:", note)
    sys.exit(0 if result["floor"] else 1)
