#!/usr/bin/env bash
# Type-checks the package's stubs (drawer.pyi beside the extension and the
# stand-ins' .pyi files), the demo gallery and the README's usage example
# with mypy --strict, against the Qt binding that QT_API names (default
# pyside6), then compares drawer.pyi with the installed module itself with
# mypy's stubtest (scripts/stubtest-allowlist.txt says what it may report,
# and why). Installs mypy into the venv when it is missing.
#
#   scripts/typecheck.sh            check with the binding of QT_API
#   QT_API=pyqt6 scripts/typecheck.sh
#
# Environment: PYTHON=/path/to/python (default: .venv/bin/python).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
VPY="${PYTHON:-$ROOT/.venv/bin/python}"
export QT_API="${QT_API:-pyside6}"
export PIP_DISABLE_PIP_VERSION_CHECK=1

[ -x "$VPY" ] || { echo "typecheck: no interpreter at $VPY; run scripts/bootstrap.sh setup first" >&2; exit 2; }
if ! "$VPY" -c 'import mypy' 2>/dev/null; then
    echo "typecheck: installing mypy into the venv" >&2
    "$VPY" -m pip install -q 'mypy>=1.10'
fi

# qtpy tells mypy which binding's branches to follow (--always-true=PYSIDE6 ...).
read -r -a qt_args <<<"$("$VPY" -m qtpy mypy-args)"
flags=(--strict --python-version 3.13 --no-incremental)
# qtpy re-exports PyQt6's names (pyqtSignal as Signal, ...) without marking
# them as explicit exports, which --strict would report in every import.
[ "$QT_API" = pyqt6 ] && flags+=(--implicit-reexport)

# The README's example, as tests/test_readme.py runs it. The host's
# `app.mainWindow = window` sets an attribute QApplication does not declare.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
"$VPY" - "$ROOT/README.md" "$tmp/readme_example.py" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
match = re.search(r"<!-- example -->\s*```python\n(.*?)```", text, re.S)
if match is None:
    sys.exit("typecheck: README.md has no block marked <!-- example -->")
header = '# mypy: disable-error-code="attr-defined"\n'
open(sys.argv[2], "w", encoding="utf-8").write(header + match.group(1))
EOF

cd "$ROOT/python"
mapfile -t stubs < <(find zarnu -name '*.pyi' | sort)
echo "typecheck: mypy (${QT_API}) over ${#stubs[@]} stubs, zarnu/demo and the README example" >&2
"$VPY" -m mypy "${flags[@]}" "${qt_args[@]}" "${stubs[@]}" zarnu/demo "$tmp/readme_example.py"

# The stub against the module it describes, as the venv has installed it, with
# the same choice of binding as above (--always-true/--always-false, as a
# config file, which is how stubtest takes mypy options).
"$VPY" - "$tmp/stubtest.ini" "${qt_args[@]}" <<'EOF'
import sys
choice = {"true": [], "false": []}
for arg in sys.argv[2:]:
    kind, _, name = arg.removeprefix("--always-").partition("=")
    choice[kind].append(name)
with open(sys.argv[1], "w") as f:
    f.write("[mypy]\n" + "".join(f"always_{k} = {', '.join(v)}\n" for k, v in choice.items() if v))
EOF
unused=()
[ "$QT_API" = pyside6 ] || unused=(--ignore-unused-allowlist)  # the entries are PySide6's findings
echo "typecheck: stubtest (${QT_API}) of zarnu.material.drawer.drawer" >&2
cd "$tmp"
QT_QPA_PLATFORM=offscreen "$VPY" -m mypy.stubtest --mypy-config-file "$tmp/stubtest.ini" \
    --allowlist "$ROOT/scripts/stubtest-allowlist.txt" "${unused[@]}" zarnu.material.drawer.drawer
