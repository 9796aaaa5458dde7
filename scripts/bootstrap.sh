#!/usr/bin/env bash
# Sets up everything the project needs on a Debian 12 or 13 machine, then runs
# the demo or the test suite. Safe to run again: each step only acts when
# something is missing, so a second run costs little more than the rebuild
# check of the extension.
#
#   scripts/bootstrap.sh demo [demo args...]   set up, render the demo to PNG
#   scripts/bootstrap.sh test [pytest args...] set up, run the test suite
#   scripts/bootstrap.sh setup                 set up only
#
# Environment:
#   QT_API=pyside6|pyqt6|pyqt5  Qt binding used by qtpy (default pyside6).
#   ZARNU_BINDINGS=pypi|system  where Python's Qt bindings come from:
#       pypi (default)  a venv of Python 3.13 (pyenv's or any), with PySide6
#                       from PyPI, and PyQt6 or PyQt5 as well when QT_API
#                       names it;
#       system          the distribution's python3.13 and its bindings (Debian
#                       13: python3-pyside6.*, python3-pyqt6, python3-pyqt5),
#                       seen through a venv made with --system-site-packages;
#                       the project goes in without a binding extra, and qtpy,
#                       pytest, the build tools come from apt too.
#   PYTHON=/path/python3.13  interpreter to build the venv from (optional).
#
# Debian packages that are missing are installed with apt-get as root (or
# through `sudo -n`); otherwise the script names them and goes on.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VENV="$ROOT/.venv"
VPY="$VENV/bin/python"

export QT_API="${QT_API:-pyside6}"
case "$QT_API" in
    pyside6|pyqt6|pyqt5) ;;
    *) echo "bootstrap: QT_API must be pyside6, pyqt6 or pyqt5, not '$QT_API'" >&2; exit 2 ;;
esac
BINDINGS="${ZARNU_BINDINGS:-pypi}"
case "$BINDINGS" in
    pypi|system) ;;
    *) echo "bootstrap: ZARNU_BINDINGS must be pypi or system, not '$BINDINGS'" >&2; exit 2 ;;
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
# What the xcb platform plugin adds, for running the demo on a real display
# (Qt 5's links against libxcb-xinerama too).
APT_QT_XCB=(
    libx11-xcb1 libxcb1 libxcb-cursor0 libxcb-glx0 libxcb-icccm4
    libxcb-image0 libxcb-keysyms1 libxcb-randr0 libxcb-render0
    libxcb-render-util0 libxcb-shape0 libxcb-shm0 libxcb-sync1 libxcb-util1
    libxcb-xfixes0 libxcb-xkb1 libxkbcommon-x11-0
    libxcb-xinerama0
)
# Compiler for the extension (CMake and Ninja come from PyPI into the venv).
APT_BUILD=(g++)
# The real-display tests' desktops: an X server, a window manager, a compositor,
# a Wayland compositor with a headless backend, what Qt's wayland platform loads,
# and the tools that act and look at the screen as a user would.
APT_DESKTOP=(
    xvfb openbox xcompmgr xdotool x11-utils wmctrl imagemagick
    sway grim wtype libwayland-client0 libwayland-cursor0 libwayland-egl1
)
# With ZARNU_BINDINGS=system: the distribution's interpreter, qtpy, the test
# and build tools (Debian 13's names), and the binding that QT_API names.
APT_SYSTEM=(
    python3.13-venv python3.13-dev python3-qtpy python3-pytest python3-pytestqt
    python3-hypothesis python3-scikit-build-core cmake ninja-build
)
declare -A APT_SYSTEM_BINDING=(
    [pyside6]="python3-pyside6.qtcore python3-pyside6.qtgui python3-pyside6.qtwidgets python3-pyside6.qttest"
    [pyqt6]="python3-pyqt6"
    [pyqt5]="python3-pyqt5"
)

# Names the installed packages answer to: their own and the ones they provide,
# so that a library renamed by the distribution (Debian 13's libglib2.0-0t64
# provides libglib2.0-0) still counts as present.
installed_names() {
    dpkg-query -W -f='${db:Status-Abbrev} ${Package}, ${Provides}\n' 2>/dev/null \
        | awk '$1 == "ii" { $1 = ""; n = split($0, parts, ","); for (i = 1; i <= n; i++) {
                   split(parts[i], w, " "); if (w[1] != "") { sub(/:.*/, "", w[1]); print w[1] } } }'
}

ensure_apt_packages() {
    local wanted=("${APT_BUILD[@]}" "${APT_QT_RUNTIME[@]}" "${APT_QT_XCB[@]}")
    if [ "$BINDINGS" = pypi ]; then
        # The real-display tests skip without these outside CI; a distribution
        # user's set-up does not ask for them.
        wanted+=("${APT_DESKTOP[@]}")
    else
        # shellcheck disable=SC2206  # the binding's packages are a word list
        wanted+=("${APT_SYSTEM[@]}" ${APT_SYSTEM_BINDING[$QT_API]})
    fi
    if ! command -v dpkg-query >/dev/null; then
        log "not a Debian system: not checking for ${wanted[*]}"
        return 0
    fi
    local installed missing=() pkg
    installed=" $(installed_names | tr '\n' ' ')"
    for pkg in "${wanted[@]}"; do
        [[ "$installed" == *" $pkg "* ]] || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null || ! sudo -n true 2>/dev/null; then
            log "missing Debian packages (not root, no password-less sudo): ${missing[*]}"
            log "install them as root with: apt-get install ${missing[*]}"
            return 0
        fi
        sudo=(sudo -n)
    fi
    log "installing Debian packages: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
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
    if [ "$BINDINGS" = system ]; then
        # The distribution's bindings are built for the distribution's Python.
        for cand in /usr/bin/python3.13 /usr/bin/python3; do
            is_py313 "$cand" && { echo "$cand"; return; }
        done
        die "ZARNU_BINDINGS=system needs the distribution's Python to be 3.13 (Debian 13:
       apt-get install python3.13-venv); Debian 12's is 3.11, use the default mode there."
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
# Whether .venv was made for the chosen mode: only system mode sees the
# distribution's site packages.
venv_mode_matches() {
    local system=false
    grep -qiE '^include-system-site-packages *= *true' "$VENV/pyvenv.cfg" 2>/dev/null && system=true
    [ "$system" = "$([ "$BINDINGS" = system ] && echo true || echo false)" ]
}

ensure_venv() {
    if [ -x "$VPY" ] && venv_mode_matches \
        && "$VPY" -c 'import sys, pip; sys.exit(sys.version_info[:2] != (3, 13))' 2>/dev/null; then
        return 0
    fi
    local py
    py="$(find_python)"
    "$py" -c 'import sysconfig, os, sys; sys.exit(not os.path.exists(os.path.join(sysconfig.get_path("include"), "Python.h")))' \
        || die "$py has no C headers (Python.h); install its development files"
    if [ -e "$VENV" ]; then
        log "replacing $VENV (not a working Python 3.13 venv for ZARNU_BINDINGS=$BINDINGS)"
        rm -rf "$VENV"
    fi
    local opts=()
    [ "$BINDINGS" = system ] && opts=(--system-site-packages)
    log "creating $VENV with $py ${opts[*]}"
    "$py" -m venv "${opts[@]}" "$VENV"
}

# Prints, one a line, the requirements the venv does not satisfy yet: the
# build backend's, CMake and Ninja, the runtime and test dependencies and the
# chosen Qt binding(s), all read from pyproject.toml where it names them. In
# system mode no binding comes from PyPI, and CMake and Ninja may be the
# distribution's programs.
missing_requirements() {
    "$VPY" - "$ROOT/pyproject.toml" "$QT_API" "$BINDINGS" <<'EOF'
import re, shutil, subprocess, sys, tomllib
from importlib import metadata
try:
    from packaging.requirements import Requirement
except ImportError:
    from pip._vendor.packaging.requirements import Requirement

with open(sys.argv[1], "rb") as f:
    project = tomllib.load(f)
api, system = sys.argv[2], sys.argv[3] == "system"
extras = project.get("project", {}).get("optional-dependencies", {})
bindings = [] if system else [
    *extras.get("pyside6", ["PySide6-Essentials"]),
    *(extras.get(api, []) if api != "pyside6" else []),
]
wanted = [
    *project.get("build-system", {}).get("requires", []),
    "cmake>=3.26", "ninja",
    *project.get("project", {}).get("dependencies", []),
    *bindings,
    *extras.get("test", []),
    "pytest", "pytest-qt", "hypothesis",
]


def program_version(name):
    """The version a program on PATH reports, for the distribution's CMake and Ninja."""
    if not system or not shutil.which(name):
        return None
    out = subprocess.run([name, "--version"], capture_output=True, text=True).stdout
    found = re.search(r"\d+(\.\d+)+", out)
    return found.group(0) if found else None

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
        version = program_version(name) if name in ("cmake", "ninja") else None
        if version is None:
            print(text)
            continue
    if not req.specifier.contains(version, prereleases=True):
        print(text)
EOF
}

# System mode: the binding must be the distribution's, importable through the
# venv's view of the system site packages.
check_system_binding() {
    [ "$BINDINGS" = system ] || return 0
    local module
    module="$(qt_module)"
    "$VPY" -c "import $module.QtWidgets" 2>/dev/null && return 0
    die "ZARNU_BINDINGS=system and QT_API=$QT_API, but $module is not installed for $("$VPY" -c 'import sys; print(sys._base_executable)');
       on Debian 13: apt-get install ${APT_SYSTEM_BINDING[$QT_API]}"
}

qt_module() {
    case "$QT_API" in pyside6) echo PySide6 ;; pyqt6) echo PyQt6 ;; pyqt5) echo PyQt5 ;; esac
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
    "$VPY" - "$(qt_module)" <<'EOF' >&2
import importlib.util, pathlib, subprocess, sys
spec = importlib.util.find_spec(sys.argv[1])
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
    # In the checkout, which the user can write anyway: a lock under /tmp may
    # belong to another user of the same checkout path.
    mkdir -p "$ROOT/build"
    exec 9>"$ROOT/build/.bootstrap.lock"
    flock 9  # one bootstrap at a time per checkout
    ensure_apt_packages
    ensure_venv
    check_system_binding
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
