#!/usr/bin/env bash
# Sets up everything the project needs on a Debian 12 machine, then runs the
# demo or the test suite. Safe to run again: each step only acts when
# something is missing, so a second run costs little more than the rebuild
# check of the extension.
#
#   scripts/bootstrap.sh demo [demo args...]   set up, render the demo to PNG
#   scripts/bootstrap.sh test [pytest args...] set up, run the test suite
#   scripts/bootstrap.sh setup                 set up only
#
# Environment:
#   QT_API=pyside6|pyqt6   Qt binding used by qtpy (default pyside6); pyqt6
#                          additionally installs PyQt6 into the venv.
#   PYTHON=/path/python3.13  interpreter to build the venv from (optional).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VENV="$ROOT/.venv"
VPY="$VENV/bin/python"

export QT_API="${QT_API:-pyside6}"
case "$QT_API" in
    pyside6|pyqt6) ;;
    *) echo "bootstrap: QT_API must be pyside6 or pyqt6, not '$QT_API'" >&2; exit 2 ;;
esac
# pytest-qt reads its own variable; keep it on the same binding as qtpy.
export PYTEST_QT_API="$QT_API"
export DEBIAN_FRONTEND=noninteractive
export PIP_DISABLE_PIP_VERSION_CHECK=1

log() { echo "bootstrap: $*" >&2; }
die() { echo "bootstrap: error: $*" >&2; exit 1; }

# --- Debian packages ---------------------------------------------------------
# Shared libraries the Qt wheels (PySide6-Essentials, PyQt6) load from the
# system: the NEEDED entries of QtCore/QtGui/QtWidgets, their bundled Qt
# libraries and the offscreen/minimal platform plugins, mapped to packages
# with `dpkg -S`. fonts-dejavu-core gives fontconfig something to render.
APT_QT_RUNTIME=(
    libstdc++6 libgcc-s1 zlib1g libzstd1 libglib2.0-0 libdbus-1-3
    libegl1 libgl1 libx11-6 libxkbcommon0 libfontconfig1 libfreetype6
    fonts-dejavu-core
)
# What the xcb platform plugin adds, for running the demo on a real display.
APT_QT_XCB=(
    libx11-xcb1 libxcb1 libxcb-cursor0 libxcb-glx0 libxcb-icccm4
    libxcb-image0 libxcb-keysyms1 libxcb-randr0 libxcb-render0
    libxcb-render-util0 libxcb-shape0 libxcb-shm0 libxcb-sync1 libxcb-util1
    libxcb-xfixes0 libxcb-xkb1 libxkbcommon-x11-0
)
# Compiler for the extension (CMake and Ninja come from PyPI into the venv).
APT_BUILD=(g++)
# The real-display tests' desktop: an X server, a window manager, a compositor,
# and the tools that act and look at the screen as a user would.
APT_DESKTOP=(xvfb openbox xcompmgr xdotool x11-utils wmctrl imagemagick)

ensure_apt_packages() {
    local wanted=("${APT_BUILD[@]}" "${APT_QT_RUNTIME[@]}" "${APT_QT_XCB[@]}" "${APT_DESKTOP[@]}")
    local installed missing=() pkg
    installed=" $(dpkg-query -W -f='${Package} ${Status}\n' "${wanted[@]}" 2>/dev/null \
        | awk '$NF == "installed" {printf "%s ", $1}' || true)"
    for pkg in "${wanted[@]}"; do
        [[ "$installed" == *" $pkg "* ]] || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing Debian packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null \
            || die "not root and no sudo; install as root: apt-get install -y ${missing[*]}"
        sudo=(sudo -n)
    fi
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# --- Python 3.13 -------------------------------------------------------------
is_py313() {
    "$1" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 13))' >/dev/null 2>&1
}

find_python() {
    local cand
    if [ -n "${PYTHON:-}" ]; then
        is_py313 "$PYTHON" || die "PYTHON=$PYTHON is not a working Python 3.13"
        echo "$PYTHON"; return
    fi
    # Newest pyenv 3.13.x first, then whatever python3.13 is on PATH.
    for cand in $(ls -d "${PYENV_ROOT:-$HOME/.pyenv}"/versions/3.13.*/bin/python3.13 2>/dev/null | sort -rV) \
                "$(command -v python3.13 || true)" /usr/local/bin/python3.13 /usr/bin/python3.13; do
        if [ -n "$cand" ] && [ -x "$cand" ] && is_py313 "$cand"; then
            echo "$cand"; return
        fi
    done
    die "no Python 3.13 found. Install one, e.g. with pyenv ('pyenv install 3.13'),
       or point PYTHON at a python3.13 binary (Debian 12 itself ships only 3.11)."
}

# --- virtual environment -----------------------------------------------------
ensure_venv() {
    if [ -x "$VPY" ] && "$VPY" -c 'import sys, pip; sys.exit(sys.version_info[:2] != (3, 13))' 2>/dev/null; then
        return 0
    fi
    local py
    py="$(find_python)"
    "$py" -c 'import sysconfig, os, sys; sys.exit(not os.path.exists(os.path.join(sysconfig.get_path("include"), "Python.h")))' \
        || die "$py has no C headers (Python.h); install its development files"
    if [ -e "$VENV" ]; then
        log "replacing $VENV (not a working Python 3.13 venv)"
        rm -rf "$VENV"
    fi
    log "creating $VENV with $py"
    "$py" -m venv "$VENV"
}

# Prints, one a line, the requirements the venv does not satisfy yet: the
# build backend's, CMake and Ninja, the runtime and test dependencies and the
# chosen Qt binding(s), all read from pyproject.toml where it names them.
missing_requirements() {
    "$VPY" - "$ROOT/pyproject.toml" "$QT_API" <<'EOF'
import sys, tomllib
from importlib import metadata
try:
    from packaging.requirements import Requirement
except ImportError:
    from pip._vendor.packaging.requirements import Requirement

with open(sys.argv[1], "rb") as f:
    project = tomllib.load(f)
api = sys.argv[2]
extras = project.get("project", {}).get("optional-dependencies", {})
wanted = [
    *project.get("build-system", {}).get("requires", []),
    "cmake>=3.26", "ninja",
    *project.get("project", {}).get("dependencies", []),
    *extras.get("pyside6", ["PySide6-Essentials"]),
    *(extras.get("pyqt6", ["PyQt6"]) if api == "pyqt6" else []),
    *extras.get("test", []),
    "pytest", "pytest-qt", "hypothesis",
]
seen = set()
for text in wanted:
    req = Requirement(text)
    name = req.name.lower().replace("_", "-")
    if name in seen:
        continue
    seen.add(name)
    if req.marker is not None and not req.marker.evaluate():
        continue
    try:
        version = metadata.version(req.name)
    except metadata.PackageNotFoundError:
        print(text)
        continue
    if not req.specifier.contains(version, prereleases=True):
        print(text)
EOF
}

ensure_requirements() {
    local out missing=()
    out="$(missing_requirements)"
    [ -z "$out" ] && return 0
    mapfile -t missing <<<"$out"
    log "installing into .venv: ${missing[*]}"
    "$VPY" -m pip install -q "${missing[@]}"
}

# The project itself: a regular (non-editable) install built from the working
# tree. The CMake build directory persists under build/, so when nothing has
# changed this is a no-op rebuild plus a wheel reinstall.
install_project() {
    log "building and installing the project into .venv"
    (cd "$ROOT" && "$VPY" -m pip install -q --no-build-isolation --no-deps .)
}

# Fails early, with the library names, when the binding's offscreen platform
# plugin cannot be loaded because a system library is missing.
check_qt_libraries() {
    "$VPY" - "$QT_API" <<'EOF' >&2
import importlib.util, pathlib, subprocess, sys
roots = {"pyside6": "PySide6", "pyqt6": "PyQt6"}
spec = importlib.util.find_spec(roots[sys.argv[1]])
base = pathlib.Path(spec.origin).parent
files = [*base.glob("QtWidgets*.so"), *base.glob("Qt*/plugins/platforms/libqoffscreen.so")]
missing = set()
for f in files:
    out = subprocess.run(["ldd", str(f)], capture_output=True, text=True).stdout
    missing |= {line.split()[0] for line in out.splitlines() if "not found" in line}
if missing:
    sys.exit("bootstrap: error: Qt needs libraries that are not installed: "
             + " ".join(sorted(missing)))
EOF
}

setup() {
    exec 9>"${TMPDIR:-/tmp}/zarnu-bootstrap-$(echo "$ROOT" | md5sum | cut -c1-12).lock"
    flock 9  # one bootstrap at a time per checkout
    ensure_apt_packages
    ensure_venv
    ensure_requirements
    install_project
    check_qt_libraries
    exec 9>&-
}

cmd="${1:-}"
[ $# -gt 0 ] && shift
case "$cmd" in
    setup)
        setup
        ;;
    demo)
        setup
        if [ -z "${QT_QPA_PLATFORM:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
            export QT_QPA_PLATFORM=offscreen
        fi
        # -P: never import from the current directory, only from the venv.
        exec "$VPY" -P -m zarnu.demo "$@"
        ;;
    test)
        setup
        cd "$ROOT"
        QT_QPA_PLATFORM=offscreen exec "$VPY" -m pytest "$@"
        ;;
    *)
        echo "usage: $0 demo|test|setup [args...]" >&2
        exit 2
        ;;
esac
