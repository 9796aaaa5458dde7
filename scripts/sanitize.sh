#!/usr/bin/env bash
# Runs the extension under AddressSanitizer and UndefinedBehaviorSanitizer:
#
#   1. builds the ZARNU_SANITIZE variant of the extension into build/asan;
#   2. runs the whole test suite against it: the interpreter preloads the
#      sanitizer runtimes and imports the instrumented module from a scratch
#      copy of the installed package that shadows the installed one;
#   3. runs a construct/use/drop loop of drawers twice (short and long) under
#      LeakSanitizer and fails when a leak whose allocation stack passes
#      through the extension's own code grows with the number of drawers.
#
#   scripts/sanitize.sh [pytest args...]
#
# Environment:
#   QT_API=pyside6|pyqt6     binding for qtpy (default pyside6)
#   SANITIZE_SETUP=0         skip scripts/bootstrap.sh setup (venv already set up)
#   SANITIZE_TESTS=0         skip the test suite, run the leak loop only
#   SANITIZE_LEAKS=0         skip the leak loop
#   SANITIZE_LOOP="40 200"   drawers built in the short and the long leak run
#   SANITIZE_KEEP=1          keep the scratch directory (reports, logs)
#
# The interpreter and Qt are not leak-clean at exit, so leak detection is off
# for the test suite and the leak loop keeps only the reports that involve
# our frames. An object that leaks while it is still linked into the
# interpreter's collector lists is reachable for LeakSanitizer; such leaks are
# what tests/test_leaks.py counts instead.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VPY="$ROOT/.venv/bin/python"
BUILD="$ROOT/build/asan"
export QT_API="${QT_API:-pyside6}"
export PYTEST_QT_API="$QT_API"
export QT_QPA_PLATFORM=offscreen
export DEBIAN_FRONTEND=noninteractive
unset PYTHONPATH

log() { echo "sanitize: $*" >&2; }
die() { echo "sanitize: error: $*" >&2; exit 1; }
now() { date +%s; }
T0=$(now)

# --- environment --------------------------------------------------------------
if [ "${SANITIZE_SETUP:-1}" != 0 ]; then
    "$ROOT/scripts/bootstrap.sh" setup
fi
[ -x "$VPY" ] || die "no venv at $ROOT/.venv; run scripts/bootstrap.sh setup"

# The sanitizer runtimes come with g++ on Debian; install them if a slimmed
# machine lacks them.
ensure_runtimes() {
    local missing=() pkg
    for pkg in libasan8 libubsan1; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing Debian packages: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo -n)
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
ensure_runtimes

LIBASAN="$(gcc -print-file-name=libasan.so)"
LIBUBSAN="$(gcc -print-file-name=libubsan.so)"
[ -e "$LIBASAN" ] && [ -e "$LIBUBSAN" ] || die "gcc does not know libasan.so / libubsan.so"
LIBASAN="$(readlink -f "$LIBASAN")"
LIBUBSAN="$(readlink -f "$LIBUBSAN")"

# --- build --------------------------------------------------------------------
CMAKE="$ROOT/.venv/bin/cmake"; [ -x "$CMAKE" ] || CMAKE=cmake
NINJA="$ROOT/.venv/bin/ninja"; [ -x "$NINJA" ] || NINJA="$(command -v ninja)"
if [ ! -f "$BUILD/build.ninja" ]; then
    log "configuring $BUILD"
    "$CMAKE" -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_MAKE_PROGRAM="$NINJA" \
        -DZARNU_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPython_EXECUTABLE="$VPY" >/dev/null
fi
"$CMAKE" --build "$BUILD" -j "$(nproc)"
SO="$(ls "$BUILD"/drawer*.so)"
T_BUILD=$(now)

# --- scratch package ----------------------------------------------------------
WORK="$(mktemp -d "${TMPDIR:-/tmp}/zarnu-sanitize.XXXXXX")"
if [ "${SANITIZE_KEEP:-0}" = 1 ]; then
    log "keeping $WORK"
else
    trap 'rm -rf "$WORK"' EXIT
fi
INSTALLED="$(cd / && "$VPY" -P -c 'import os, zarnu; print(os.path.dirname(zarnu.__file__))')"
cp -r "$INSTALLED" "$WORK/zarnu"
find "$WORK/zarnu" -name __pycache__ -prune -exec rm -rf {} +
rm -f "$WORK"/zarnu/material/drawer/drawer*.so
cp "$SO" "$WORK/zarnu/material/drawer/"
mkdir -p "$WORK/reports"

sanitized() {
    env LD_PRELOAD="$LIBASAN $LIBUBSAN" PYTHONPATH="$WORK" "$@"
}

# The tests run from the source tree; make sure what they import is the copy.
IMPORTED="$(cd "$ROOT" && ASAN_OPTIONS=detect_leaks=0 sanitized "$VPY" -c \
    'import zarnu.material.drawer.drawer as m; print(m.__file__)')"
[ "$IMPORTED" = "$WORK/zarnu/material/drawer/$(basename "$SO")" ] \
    || die "the instrumented module is not the one imported: $IMPORTED"
log "instrumented module: $IMPORTED"

report_sanitizer_logs() {
    local found=1 f
    for f in "$WORK"/reports/*; do
        [ -e "$f" ] || continue
        grep -qE "ERROR: (AddressSanitizer|UndefinedBehaviorSanitizer)|runtime error:" "$f" || continue
        found=0
        echo "---- $f" >&2
        cat "$f" >&2
    done
    return $found
}

# --- 1. the test suite --------------------------------------------------------
STATUS=0
if [ "${SANITIZE_TESTS:-1}" != 0 ]; then
    log "running the test suite under ASan+UBSan ($QT_API)"
    set +e
    (cd "$ROOT" && \
        ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:abort_on_error=1:log_path=$WORK/reports/asan" \
        UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$WORK/reports/ubsan" \
        sanitized "$VPY" -m pytest -p no:cacheprovider \
        --deselect "tests/test_setup.py::test_modules_come_from_the_installed_wheel" \
        "$@")
    STATUS=$?
    set -e
    if report_sanitizer_logs; then
        log "the sanitizers reported errors (above)"
        [ $STATUS -eq 0 ] && STATUS=1
    fi
    [ $STATUS -eq 0 ] || log "test suite failed under the sanitizers (status $STATUS)"
fi
T_TESTS=$(now)

# --- 2. leaks of our own allocations -------------------------------------------
if [ "${SANITIZE_LEAKS:-1}" != 0 ]; then
    cat >"$WORK/leak_loop.py" <<'EOF'
"""Builds, uses and drops drawers N times, through the normal and the failing paths."""
import gc
import sys

from qtpy.QtCore import QCoreApplication, QEvent, QPointF, QSize, Qt
from qtpy.QtGui import QKeyEvent, QMouseEvent, QMoveEvent, QResizeEvent
from qtpy.QtCore import QPoint
from qtpy.QtWidgets import QApplication, QLabel, QMainWindow, QPushButton, QWidget

app = QApplication([])
import zarnu.material.drawer.drawer as module  # noqa: E402
from zarnu.hooks.use_state import State  # noqa: E402
from zarnu.i18n.use_translation import i18n  # noqa: E402
from zarnu.material import styles  # noqa: E402

Drawer = module.Drawer
main = QMainWindow()
main.resize(640, 480)
main.show()
app.mainWindow = main


def mouse(kind):
    t = QEvent.Type.MouseButtonPress if kind == "press" else QEvent.Type.MouseButtonRelease
    return QMouseEvent(t, QPointF(1, 1), QPointF(1, 1), Qt.MouseButton.LeftButton,
                       Qt.MouseButton.LeftButton, Qt.KeyboardModifier.NoModifier)


def expect(exc, fn, *args, **kwargs):
    try:
        fn(*args, **kwargs)
    except exc:
        return
    raise AssertionError(f"{fn} did not raise {exc}")


def cycle(i):
    anchor = QWidget(main)
    anchor.setGeometry(10, 10, 300, 200)
    anchor.show()
    open_state = State(False)
    closed = []
    drawer = Drawer(None, State("T"), ["left", "right", "top", "bottom"][i % 4], anchor,
                    [QLabel("a"), QLabel("b")], {"c": 1}, 8, State(True), {"m": 1}, lambda: closed.append(1),
                    open_state, None, None, None, None,
                    [{"color": "red"}, "color: blue;", lambda: {"margin": "1px"}, lambda: "x: y;"][i % 4],
                    300, State("persistent"), 280, 600, 100, 400, "surplus", extra=1)
    drawer.showDrawer()
    anchor.resize(320, 210)
    anchor.move(12, 14)
    open_state.value = True
    open_state.value = False
    drawer._show(True)
    drawer._show(State(0))
    drawer._close()
    drawer.update_position()
    drawer.setShadowEffect(20, [1, 2])
    drawer.setShadowEffect(offset=3)
    drawer.setShadowEffect(color="not a colour")
    drawer.reTranslation()
    for name in ("title", "anchor", "anchorEl", "children", "sx", "variant", "minWidth", "open", "ModalProps"):
        getattr(drawer, "_get_" + name)()
    drawer._set_transitionDuration({"enter": 1})
    drawer._get_transitionDuration()
    expect(TypeError, drawer._set_elevation, "high")
    expect(ValueError, drawer._set_anchor, "middle")
    for source in (drawer, anchor, main, drawer.handle(1)):
        for event in (QResizeEvent(QSize(5, 5), QSize(4, 4)), QMoveEvent(QPoint(1, 1), QPoint(0, 0)),
                      mouse("press"), mouse("release"),
                      QKeyEvent(QEvent.Type.KeyPress, Qt.Key.Key_Escape, Qt.KeyboardModifier.NoModifier)):
            drawer.eventFilter(source, event)
    app.sendEvent(drawer, mouse("press"))
    app.sendEvent(drawer.handle(1), mouse("release"))
    button = QPushButton()
    button.clicked.connect(drawer.showDrawer)
    button.click()
    # failing paths
    expect(ValueError, Drawer, open=False, minWidth=300)
    expect(TypeError, Drawer, open=State(False))
    expect(TypeError, Drawer, open=State(False), minWidth=300, children=[QLabel("c"), 5])
    expect(TypeError, Drawer, open=State(False), minWidth=300, title=5)
    expect(TypeError, Drawer._show, drawer, 1, 2)
    expect(TypeError, Drawer._show, drawer, **{"state": 1, "bogus": 2})
    expect(TypeError, Drawer.showDrawer)
    expect(ZeroDivisionError, Drawer, open=State(False), minWidth=300, sx=lambda: 1 / 0)
    drawer._set_onClose(lambda: [][1])
    expect(IndexError, drawer._close)
    drawer.hide()
    for w in (drawer, anchor, button):
        w.deleteLater()
    QCoreApplication.sendPostedEvents(None, QEvent.Type.DeferredDelete)


n = int(sys.argv[1])
for i in range(n):
    cycle(i)
styles.setTheme("dark")
styles.setTheme("light")
i18n.setLanguage("fr")
i18n.setLanguage("en")
gc.collect()
print(f"leak loop: {n} cycles done")
EOF
    cat >"$WORK/leak_report.py" <<'EOF'
"""Compares the LeakSanitizer reports of a short and a long loop run.

Only reports whose allocation stack passes through the extension's own sources
count. A stack whose leaked object count grows by at least one per two extra
cycles is a per-drawer leak; the others are the one-time allocations of the
import (interned names, the class, its functions), which live until exit.
"""
import re
import sys
from collections import Counter
from pathlib import Path

OURS = re.compile(r"material/drawer/\w+\.[ch]pp|/sibling/\w+\.[ch]pp|drawer\.cpython-3\d+[^ ]*\.so")


def leaks(path):
    counts, stacks = Counter(), {}
    for log in Path(path).parent.glob(Path(path).name + ".*"):
        for block in re.split(r"\n(?=(?:Direct|Indirect) leak of )", log.read_text(errors="replace")):
            m = re.match(r"(Direct|Indirect) leak of (\d+) byte\(s\) in (\d+) object\(s\)", block)
            if not m:
                continue
            frames = re.findall(r"#\d+ 0x[0-9a-f]+ in (.*)", block)
            if not any(OURS.search(f) for f in frames):
                continue
            key = (m.group(1),) + tuple(re.sub(r"\+0x[0-9a-f]+", "", f) for f in frames[:16])
            counts[key] += int(m.group(3))
            stacks[key] = frames
    return counts, stacks


short_n, long_n = int(sys.argv[3]), int(sys.argv[4])
short, _ = leaks(sys.argv[1])
long_, stacks = leaks(sys.argv[2])
threshold = (long_n - short_n) / 2
growing = [(k, long_[k] - short.get(k, 0)) for k in long_ if long_[k] - short.get(k, 0) >= threshold]
print(f"leak report: {sum(long_.values())} objects in {len(long_)} stacks through our code in the long run "
      f"(one-time allocations of the import), {len(growing)} growing with the number of drawers")
for key, extra in growing:
    print(f"\n{key[0]} leak growing by {extra} objects over {long_n - short_n} extra drawers:")
    for frame in stacks[key][:25]:
        print("    " + frame)
sys.exit(1 if growing else 0)
EOF
    read -r LOOP_SHORT LOOP_LONG <<<"${SANITIZE_LOOP:-40 200}"
    for n in "$LOOP_SHORT" "$LOOP_LONG"; do
        log "leak loop under LeakSanitizer: $n drawers"
        rm -f "$WORK"/reports/lsan-$n.*
        # PYTHONMALLOC=malloc: every object is its own allocation, visible to
        # LeakSanitizer; the slow unwinder: the interpreter has no frame pointers.
        # Exits non-zero when LeakSanitizer found anything (the interpreter's own
        # leaks included); the loop itself must have finished.
        (cd "$WORK" && PYTHONMALLOC=malloc \
            ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:fast_unwind_on_malloc=0:malloc_context_size=40:log_path=$WORK/reports/lsan-$n" \
            UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$WORK/reports/ubsan-loop" \
            sanitized "$VPY" "$WORK/leak_loop.py" "$n" >"$WORK/loop-$n.out" 2>"$WORK/loop-$n.err") || true
        if ! grep -q "leak loop: $n cycles done" "$WORK/loop-$n.out"; then
            cat "$WORK/loop-$n.out" "$WORK/loop-$n.err" >&2
            grep -L "LeakSanitizer: detected memory leaks" "$WORK"/reports/lsan-$n.* 2>/dev/null | xargs -r cat >&2
            die "the leak loop did not finish ($n drawers)"
        fi
        if grep -lE "ERROR: AddressSanitizer|runtime error:" "$WORK"/reports/lsan-$n.* "$WORK"/reports/ubsan-loop.* >/dev/null 2>&1; then
            cat "$WORK"/reports/lsan-$n.* "$WORK"/reports/ubsan-loop.* >&2 2>/dev/null || true
            die "the sanitizers reported errors in the leak loop ($n drawers)"
        fi
    done
    "$VPY" "$WORK/leak_report.py" "$WORK/reports/lsan-$LOOP_SHORT" "$WORK/reports/lsan-$LOOP_LONG" \
        "$LOOP_SHORT" "$LOOP_LONG" || { log "leaks through our code (above)"; STATUS=1; }
fi
T_LEAKS=$(now)

log "times: setup+build $((T_BUILD - T0))s, tests $((T_TESTS - T_BUILD))s, leak loop $((T_LEAKS - T_TESTS))s, total $((T_LEAKS - T0))s"
exit $STATUS
