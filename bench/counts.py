"""Instruction counts of the drawer's per-call paths, under callgrind.

Times on a shared machine move by tens of per cent from one run to the next; the
number of instructions a path executes does not. bench/run.py starts itself once
more as a child under `valgrind --tool=callgrind --instr-atstart=no`: the child
builds the same host and drawers as the timed run and runs the same path
closures, each warmed up first, then floor.count_call zeroes the counters, runs
the closure (n operations) and dumps them under a label. The parent reads the
dumps: instructions per operation, and for the event-filter paths the own
instructions (total - floor) and their ratio to the C++ module's. Nothing is
judged. Needs valgrind (its header at the floor's build time, its tool at run
time); without it the counts are skipped with a note.
"""

from __future__ import annotations

import gc
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

PATHS = ("ef_direct", "ef_send", "ef_resize", "get_anchor")
EVENT_FILTER_PATHS = ("ef_direct", "ef_send", "ef_resize")


def operations(quick: bool) -> int:
    return 100 if quick else 1000


def measure(script: Path, args, notes: list[str]) -> dict:
    """Runs the count child under callgrind; {path: {impl: instructions per operation}}."""
    if shutil.which("valgrind") is None:
        notes.append("instruction counts skipped: valgrind is not installed")
        return {}
    with tempfile.TemporaryDirectory(prefix="drawer-counts-") as tmp:
        # Qt's own threads run meanwhile: only the main thread's counts (files ...-01) are read
        cmd = ["valgrind", "--tool=callgrind", "--instr-atstart=no", "--separate-threads=yes",
               f"--callgrind-out-file={tmp}/callgrind.out",
               sys.executable, str(script), "--count-child", tmp]
        cmd += ["--quick"] if args.quick else []
        cmd += ["--tree"] if args.tree else []
        # a fixed hash seed: string hashes decide dict probe sequences, and so a few instructions
        env = dict(os.environ, PYTHONHASHSEED="0")
        proc = subprocess.run(cmd, capture_output=True, text=True, env=env)
        if proc.returncode != 0:
            raise RuntimeError("instruction count child failed:\n" + proc.stderr[-3000:])
        divisors = json.loads((Path(tmp) / "counted.json").read_text())
        totals = read_dumps(Path(tmp))
    out: dict = {}
    for label, n in divisors.items():
        if label not in totals:
            raise RuntimeError(f"no callgrind dump for {label}")
        path, impl = label.split("/")
        out.setdefault(path, {})[impl] = totals[label] / n
    return out


def read_dumps(folder: Path) -> dict[str, int]:
    """Label -> instructions, from the dumps that floor.count_call triggered."""
    totals = {}
    for f in folder.glob("callgrind.out*-01"):
        text = f.read_text(errors="replace")
        label = re.search(r"^desc: Trigger: Client Request: (\S+)", text, re.M)
        total = re.search(r"^(?:totals|summary): (\d+)", text, re.M)
        if label and total:
            totals[label.group(1)] = int(total.group(1))
    return totals


def child(folder: str, quick: bool, started, build_paths, impl_order) -> int:
    """In the process under callgrind: count every path of PATHS for every implementation."""
    impls, host, _ = started
    floor = impls["floor"].module
    if not floor.running_on_valgrind():
        raise SystemExit("count child: not under valgrind, or the floor was built without "
                         "valgrind/callgrind.h")
    specs = {s.key: s for s in build_paths(impls, host, {})}
    n = operations(quick)
    counted = {}
    gc.disable()
    for key in PATHS:
        spec = specs[key]
        for impl_key in impl_order:
            impl = impls[impl_key]
            if impl_key != "floor" and not impl.available:
                continue
            if spec.setup:
                spec.setup(impl)
            run = spec.runner(impl)
            if run is not None:
                run(50)
                label = f"{key}/{impl_key}"
                floor.count_call(label, run, (n,), 1)
                counted[label] = n
            if spec.teardown:
                spec.teardown(impl)
            host.process()
    gc.enable()
    (Path(folder) / "counted.json").write_text(json.dumps(counted))
    return 0


def summary(counts: dict) -> dict:
    """Own instructions (minus the floor) and their ratios to the C++ module's."""
    out = {}
    for path, res in counts.items():
        entry = {"per_operation": res}
        if path in EVENT_FILTER_PATHS and "floor" in res:
            own = {k: v - res["floor"] for k, v in res.items() if k != "floor"}
            entry["own"] = own
            ref = own.get("cpp")
            entry["own_ratio_vs_cpp"] = {k: (v / ref if ref and ref > 0 else None) for k, v in own.items()}
        out[path] = entry
    return out


def print_counts(summ: dict, labels: dict, order: list[str]) -> None:
    if not summ:
        return
    shown = [k for k in order if any(k in e["per_operation"] for e in summ.values())]
    print()
    head = f"{'instructions per operation':<28}" + "".join(f"{labels[k]:>16}" for k in shown)
    print(head)
    print("-" * len(head))
    for path, e in summ.items():
        cells = [e["per_operation"].get(k) for k in shown]
        print(f"{path:<28}" + "".join(f"{'-' if c is None else f'{c:,.0f}':>16}" for c in cells))
        if "own" in e:
            cells = [e["own"].get(k) for k in shown]
            print((f"{'  own (minus floor)':<28}"
                   + "".join(f"{'' if c is None else f'{c:,.0f}':>16}" for c in cells)).rstrip())
            cells = [e["own_ratio_vs_cpp"].get(k) for k in shown]
            print((f"{'  own, ratio to C++':<28}"
                   + "".join(f"{'' if c is None else f'{c:.1f}x':>16}" for c in cells)).rstrip())


if __name__ == "__main__":
    sys.exit("run bench/run.py; it starts the count child itself")
