#!/usr/bin/env bash
# Runs the extension under AddressSanitizer and UndefinedBehaviorSanitizer:
#
#   1. builds the ZARNU_SANITIZE variant of the extension into build/asan;
#   2. runs the test suite against it: the interpreter preloads the sanitizer
#      runtimes and imports the instrumented module from a scratch copy of the
#      installed package that shadows the installed one. Under the sanitizers
#      the suite includes the LeakSanitizer check of tests/test_leaks.py, which
#      runs the leak scenarios short and long in child processes and fails when
#      a leak whose allocation stack passes through the extension's own code
#      grows with the number of cycles.
#
#   scripts/sanitize.sh [pytest args...]
#
# Environment:
#   QT_API=pyside6|pyqt6     binding for qtpy (default pyside6)
#   SANITIZE_SETUP=0         skip scripts/bootstrap.sh setup (venv already set up)
#   SANITIZE_TESTS=0         skip the test suite, run the LeakSanitizer check only
#   SANITIZE_LEAKS=0         skip the LeakSanitizer check
#   SANITIZE_LOOP="40 200"   cycles of the short and the long LeakSanitizer run
#   SANITIZE_KEEP=1          keep the scratch directory (reports, logs)
#
# The interpreter and Qt are not leak-clean at exit, so leak detection is off
# for the test suite itself; the LeakSanitizer check keeps only the reports
# that involve our frames.
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

# --- the test suite -----------------------------------------------------------
LEAK_CHECK="tests/test_leaks.py::test_no_leak_through_our_code_grows_with_the_cycles"
SELECTION=(--deselect "tests/test_setup.py::test_modules_come_from_the_installed_wheel")
[ "${SANITIZE_TESTS:-1}" != 0 ] || SELECTION=("$LEAK_CHECK")
[ "${SANITIZE_LEAKS:-1}" != 0 ] || SELECTION+=(--deselect "$LEAK_CHECK")
[ "${SANITIZE_TESTS:-1}${SANITIZE_LEAKS:-1}" != 00 ] || { log "nothing to run"; exit 0; }
log "running the test suite under ASan+UBSan ($QT_API)"
set +e
(cd "$ROOT" && \
    ASAN_OPTIONS="detect_leaks=0:halt_on_error=1:abort_on_error=1:log_path=$WORK/reports/asan" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$WORK/reports/ubsan" \
    sanitized "$VPY" -m pytest -p no:cacheprovider "${SELECTION[@]}" "$@")
STATUS=$?
set -e
if report_sanitizer_logs; then
    log "the sanitizers reported errors (above)"
    [ $STATUS -eq 0 ] && STATUS=1
fi
[ $STATUS -eq 0 ] || log "test suite failed under the sanitizers (status $STATUS)"
T_TESTS=$(now)

log "times: setup+build $((T_BUILD - T0))s, tests $((T_TESTS - T_BUILD))s, total $((T_TESTS - T0))s"
exit $STATUS
