"""Drawer benchmark: the C++ extension against the same class in plain Python.

Run from the repository root:

    .venv/bin/python bench/run.py            # full run (a few minutes)
    .venv/bin/python bench/run.py --quick    # seconds; only proves the harness runs

Options: --quick, --no-build, --only PATH[,PATH...], --cycles N, --tree, --no-count.
The Qt binding is PySide6 unless QT_API says otherwise (QT_API=pyqt6).

Implementations, measured side by side in one process:
  cpp    zarnu.material.drawer.drawer.Drawer, as installed (the run fails when it
         does not import)
  py     bench/peers/drawer_plain.py: the class as a Python programmer would
         write it, with the binding's scoped enum access
  cy     the same file compiled by Cython (bench/build.py)
  floor  bench/floor/floor.c: only the binding calls that any event filter must
         make (event paths only)
The test model tests/model/drawer.py is a literal transcription that reads
the binding's slow unscoped enum aliases; it is no performance peer.

Instruction counts of the event-filter paths and the getter (callgrind, in a
child process: bench/counts.py) follow the times unless --no-count is given.

All drawers use the same sibling stand-ins (the `zarnu` package found first on
sys.path: the installed one, or with --tree the tree's python/) and the same host: one
offscreen QApplication whose `mainWindow` attribute holds a shown 800x600
QMainWindow. Each implementation gets its own, identical main window, and the
attribute is pointed at it before anything of that implementation reads it,
so that sending an event to one window runs only that implementation's filter.

Every timed path is sampled in rounds (implementations rotated in each round);
a sample is one inner loop driven from C (floor.repeat_call), so Python loop
overhead is not part of any number. Reported: median per operation, quartiles,
min and max, the ratio to the C++ module, and for the event filter paths the
own overhead (time - floor) and its ratio. No number here is asserted.

Outputs: a table on stdout, bench/out/results.json, bench/out/ratios.png.

This file is the entry point; the rest is beside it: harness.py (implementations,
host, sampling), paths.py (the timed paths), fresh.py (import and memory, in fresh
interpreters), counts.py (instruction counts), report.py (ratios, table, chart) and
build.py (the Cython peer and the floor).
"""

from __future__ import annotations

import argparse
import datetime
import json
import os
import platform
import subprocess
import sys
import time
from pathlib import Path

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
# qtpy would prefer PyQt6 whenever it is installed; the project's default
# binding is PySide6. QT_API=pyqt6 measures the other binding.
os.environ.setdefault("QT_API", "pyside6")
sys.path.insert(0, str(Path(__file__).resolve().parent))
# The harness's modules, all in bench/.
import build  # noqa: E402
import counts  # noqa: E402
from fresh import measure_imports, measure_memory, memory_child  # noqa: E402
from harness import IMPL_ORDER, OUT, ROOT, Settings, built_outputs, measure_path, start  # noqa: E402
from paths import build_paths  # noqa: E402
from report import add_ratios, draw_chart, print_report  # noqa: E402


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--quick", action="store_true", help="tiny counts; proves the harness runs")
    ap.add_argument("--no-build", action="store_true", help="use bench/out as it is")
    ap.add_argument("--only", default="", help="comma-separated path keys (and/or 'import', 'memory')")
    ap.add_argument("--cycles", type=int, default=None, help="construct-and-drop cycles for memory growth")
    ap.add_argument("--tree", action="store_true",
                    help="put the tree's python/ (stand-ins, and a module copied there) ahead of the "
                         "installed package")
    ap.add_argument("--installed", action="store_true", help=argparse.SUPPRESS)  # the default now
    ap.add_argument("--no-count", action="store_true", help="skip the instruction counts")
    ap.add_argument("--memory-child", choices=["cpp", "py", "cy"], help=argparse.SUPPRESS)
    ap.add_argument("--count-child", metavar="DIR", help=argparse.SUPPRESS)
    args = ap.parse_args(argv)
    st = Settings(args.quick, args.cycles)
    if args.memory_child:
        return memory_child(args.memory_child, args, st)
    if args.count_child:
        return counts.child(args.count_child, args.quick, start(args, built_outputs(), []), build_paths,
                            IMPL_ORDER)
    only = {s for s in args.only.split(",") if s}
    started = time.perf_counter()
    notes: list[str] = []

    OUT.mkdir(parents=True, exist_ok=True)
    if args.no_build:
        built = built_outputs()
        notes.append("--no-build")
    else:
        built = build.build_all()
        notes.extend(built["notes"])
    impls, host, child_paths = start(args, built, notes)
    fl = impls["floor"]
    ref = "cpp"

    extras: dict = {}
    specs = build_paths(impls, host, extras)
    paths = {}
    for spec in specs:
        if only and spec.key not in only:
            continue
        print(f"[bench] {spec.key} ...", file=sys.stderr, flush=True)
        paths[spec.key] = measure_path(spec, impls, host, st)
    # sanity check that the dispatch floor was really reached through Qt
    if "ef_send" in paths:
        from qtpy.QtCore import QEvent
        from qtpy.QtWidgets import QApplication
        c0 = fl.module.method_call_count()
        QApplication.sendEvent(fl.mw, QEvent(QEvent.Type.User))
        if fl.module.method_call_count() == c0:
            notes.append("the floor's eventFilter was not called by Qt: ef_send floor is invalid")
    add_ratios(paths, ref)
    points = extras["points"]() if (not only or "ef_direct" in only or "ef_send" in only) else {}

    # the per-call drawers are no longer needed; release them before the
    # import and memory measurements
    for key in ("cpp", "py", "cy"):
        if impls[key].drawer is not None:
            impls[key].drawer.deleteLater()
            impls[key].drawer = None
    host.process()

    instructions = {}
    if not args.no_count and (not only or set(counts.PATHS) & only):
        print("[bench] instruction counts (callgrind) ...", file=sys.stderr, flush=True)
        instructions = counts.summary(counts.measure(Path(__file__).resolve(), args, notes))

    imports = {}
    if not only or "import" in only:
        print("[bench] import ...", file=sys.stderr, flush=True)
        imports = measure_imports(impls, st, child_paths)
    memory = {}
    if not only or "memory" in only:
        print("[bench] memory ...", file=sys.stderr, flush=True)
        memory = measure_memory(impls, args, st)

    try:
        commit = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"],
                                capture_output=True, text=True).stdout.strip() or None
    except OSError:
        commit = None
    import qtpy
    report = {
        "meta": {
            "quick": st.quick,
            "date": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
            "python": sys.version.split()[0],
            "qt_api": qtpy.API_NAME, "qt": qtpy.QT_VERSION,
            "machine": platform.machine(), "cpus": os.cpu_count(), "commit": commit,
            "rounds": st.rounds, "target_sample_ns": st.target_ns,
            "elapsed_s": None,
        },
        "reference": ref,
        "implementations": {k: {"label": i.label, "available": i.available or k == "floor",
                                "origin": i.origin, "note": i.note} for k, i in impls.items()},
        "paths": paths,
        "reference_points": points,
        "instructions": instructions,
        "import": imports,
        "memory": memory,
        "notes": notes,
    }
    report["meta"]["elapsed_s"] = round(time.perf_counter() - started, 1)
    (OUT / "results.json").write_text(json.dumps(report, indent=2))
    try:
        draw_chart(report, OUT / "ratios.png")
    except Exception as exc:
        report["notes"].append(f"chart not drawn: {type(exc).__name__}: {exc}")
    print_report(report)
    print()
    print(f"wrote {OUT / 'results.json'} and {OUT / 'ratios.png'} "
          f"in {report['meta']['elapsed_s']} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
