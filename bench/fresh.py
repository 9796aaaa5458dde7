"""Measurements in fresh interpreters: the import of each drawer module, and the memory of
each implementation in a process of its own."""

from __future__ import annotations

import gc
import json
import os
import subprocess
import sys
import time
import tracemalloc

import build  # bench/build.py
from harness import BENCH, PEER_MODULE, ROOT, Host, Impl, Settings, built_outputs, load_impls, summarize

# The modules every drawer implementation imports; the import measurement
# loads them first so that only the drawer module itself is timed.
DEPENDENCIES = [
    "typing", "uuid", "qtpy.QtWidgets", "qtpy.QtCore", "qtpy.QtGui",
    "zarnu.material.button", "zarnu.material.typography", "zarnu.material.stack",
    "zarnu.material.styles", "zarnu.i18n.use_translation", "zarnu.hooks.use_state",
    "zarnu.material.styles.create_theme.components.get_qss_styles",
    "zarnu.material.system.color_manipulator", "zarnu.zarnu_assets",
    "zarnu.material.utils.validate_params", "zarnu.material.drawer",
]


def rss_bytes() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


# --------------------------------------------------------------------------
# import time (fresh interpreters)

IMPORT_CHILD = r"""
import sys, time
sys.path[:0] = {paths!r}
t_start = time.perf_counter_ns()
for name in {deps!r}:
    __import__(name)
t0 = time.perf_counter_ns()
import {module}
t1 = time.perf_counter_ns()
print(t1 - t0, t0 - t_start)
"""


def measure_imports(impls: dict[str, Impl], st: Settings, paths: list[str]) -> dict:
    modules = {"cpp": "zarnu.material.drawer.drawer", "py": PEER_MODULE, "cy": build.CY_MODULE}
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    env.pop("PYTHONDONTWRITEBYTECODE", None)
    out = {}
    for key, module in modules.items():
        if not impls[key].available:
            continue
        own, cold = [], []
        code = IMPORT_CHILD.format(paths=paths, deps=DEPENDENCIES, module=module)
        # one untimed run first, so that bytecode caches exist (as after an install)
        subprocess.run([sys.executable, "-c", code], capture_output=True, env=env)
        for _ in range(st.import_runs):
            proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env)
            if proc.returncode != 0:
                out[key] = {"error": proc.stderr.strip().splitlines()[-1:]}
                break
            own.append(float(proc.stdout.split()[0]))
            t0 = time.perf_counter_ns()
            proc = subprocess.run(
                [sys.executable, "-c", f"import sys; sys.path[:0] = {paths!r}; import {module}"],
                capture_output=True, text=True, env=env)
            cold.append(float(time.perf_counter_ns() - t0))
        else:
            out[key] = {"module_only": summarize(own), "process_wall": summarize(cold)}
    return out


# --------------------------------------------------------------------------
# memory

def measure_memory_here(impl: Impl, host: Host, st: Settings) -> dict:
    """Memory of one implementation; run in a process of its own."""
    from qtpy.QtWidgets import QApplication
    from zarnu.hooks.use_state import State
    host.use(impl)
    cls = impl.cls
    res = {}

    def settle():
        host.process()
        gc.collect()
        host.process()

    def cycle(count):
        for i in range(count):
            d = cls(open=State(False), minWidth=300)
            d.deleteLater()
            del d
            if i % 100 == 99:
                host.process()
        settle()

    # Per drawer: RSS and allocated blocks without tracing. A few drawers are
    # built first and kept, so that one-time caches (styles, fonts, type
    # objects) are filled without leaving freed heap behind that the measured
    # drawers would reuse (which would hide them from RSS).
    warm = [cls(open=State(False), minWidth=300) for _ in range(3)]
    settle()
    rss0, blocks0 = rss_bytes(), sys.getallocatedblocks()
    keep = [cls(open=State(False), minWidth=300) for _ in range(st.per_drawer)]
    settle()
    res["drawers_kept"] = st.per_drawer
    res["rss_per_drawer"] = (rss_bytes() - rss0) / st.per_drawer
    res["blocks_per_drawer"] = (sys.getallocatedblocks() - blocks0) / st.per_drawer
    for d in keep + warm:
        d.deleteLater()
    del keep, warm
    settle()

    tracemalloc.start()
    base = tracemalloc.get_traced_memory()[0]
    keep = [cls(open=State(False), minWidth=300) for _ in range(st.per_drawer)]
    settle()
    res["traced_per_drawer"] = (tracemalloc.get_traced_memory()[0] - base) / st.per_drawer
    for d in keep:
        d.deleteLater()
    del keep
    settle()
    tracemalloc.stop()

    # growth over construct-and-drop cycles
    cycle(st.warmup_cycles)
    rss0, blocks0 = rss_bytes(), sys.getallocatedblocks()
    tops0 = len(QApplication.topLevelWidgets())
    t0 = time.perf_counter_ns()
    cycle(st.cycles)
    elapsed = time.perf_counter_ns() - t0
    res["cycles"] = st.cycles
    res["cycle_time_ns"] = elapsed / st.cycles
    res["blocks_growth"] = sys.getallocatedblocks() - blocks0
    res["blocks_growth_per_cycle"] = res["blocks_growth"] / st.cycles
    res["rss_growth"] = rss_bytes() - rss0
    res["toplevel_growth"] = len(QApplication.topLevelWidgets()) - tops0
    return res


def measure_memory(impls: dict[str, Impl], args, st: Settings) -> dict:
    """Each implementation in a fresh interpreter, so that none inherits the
    heap another one freed (RSS per drawer would read 0 for the later ones)."""
    out = {}
    for key in ("cpp", "py", "cy"):
        if not impls[key].available:
            continue
        cmd = [sys.executable, str(BENCH / "run.py"), "--memory-child", key,
               "--cycles", str(st.cycles)]
        cmd += ["--quick"] if st.quick else []
        cmd += ["--tree"] if args.tree else []
        proc = subprocess.run(cmd, capture_output=True, text=True)
        lines = proc.stdout.strip().splitlines()
        if proc.returncode != 0 or not lines:
            out[key] = {"error": (proc.stderr.strip().splitlines() or ["no output"])[-1]}
            continue
        out[key] = json.loads(lines[-1])
    return out


def memory_child(key: str, args, st: Settings) -> int:
    if args.tree:
        sys.path.insert(0, str(ROOT / "python"))
    impls = load_impls(built_outputs(), [])
    impl = impls[key]
    host = Host()
    impl.mw = host.new_main_window(f"host for {impl.label}")
    print(json.dumps(measure_memory_here(impl, host, st)))
    return 0
