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
The test model bench/pydrawer/drawer.py is a literal transcription that reads
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
"""

from __future__ import annotations

import argparse
import datetime
import gc
import json
import os
import platform
import statistics
import subprocess
import sys
import time
import tracemalloc
from pathlib import Path

BENCH = Path(__file__).resolve().parent
ROOT = BENCH.parent
OUT = BENCH / "out"

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
# qtpy would prefer PyQt6 whenever it is installed; the project's default
# binding is PySide6. QT_API=pyqt6 measures the other binding.
os.environ.setdefault("QT_API", "pyside6")
sys.path.insert(0, str(BENCH))
import build  # noqa: E402  (bench/build.py)
import counts  # noqa: E402  (bench/counts.py)

IMPL_LABELS = {
    "cpp": "C++ module",
    "py": "plain Python",
    "cy": "Cython build",
    "floor": "floor",
}
IMPL_ORDER = ["cpp", "py", "cy", "floor"]
PEER_MODULE = "drawer_plain"    # bench/peers/drawer_plain.py

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


# --------------------------------------------------------------------------
# settings

class Settings:
    def __init__(self, quick: bool, cycles: int | None):
        self.quick = quick
        self.rounds = 3 if quick else 41           # samples per path and impl
        self.target_ns = 300_000 if quick else 15_000_000   # duration of a sample
        self.max_inner = 1 << 22
        self.import_runs = 1 if quick else 7
        self.per_drawer = 5 if quick else 200      # drawers kept alive for memory
        self.cycles = cycles if cycles is not None else (50 if quick else 10_000)
        self.warmup_cycles = 5 if quick else 200


# --------------------------------------------------------------------------
# statistics and formatting

def summarize(samples: list[float]) -> dict:
    s = sorted(samples)
    if len(s) >= 4:
        q1, _, q3 = statistics.quantiles(s, n=4)
    else:
        q1, q3 = s[0], s[-1]
    return {"median": statistics.median(s), "q1": q1, "q3": q3,
            "min": s[0], "max": s[-1], "samples": len(s)}


def fmt_ns(x: float | None) -> str:
    if x is None:
        return "-"
    a = abs(x)
    if a < 1e3:
        return f"{x:.0f} ns"
    if a < 1e6:
        return f"{x / 1e3:.2f} µs"
    if a < 1e9:
        return f"{x / 1e6:.2f} ms"
    return f"{x / 1e9:.2f} s"


def fmt_spread(median: float, lo: float, hi: float) -> str:
    """'1.90 µs [1.83-2.19]': the bounds in the median's unit."""
    for scale, unit in ((1, "ns"), (1e3, "µs"), (1e6, "ms"), (1e9, "s")):
        if abs(median) < scale * 1e3 or unit == "s":
            digits = 0 if unit == "ns" else 2
            return f"{median / scale:.{digits}f} {unit} [{lo / scale:.{digits}f}-{hi / scale:.{digits}f}]"


def fmt_bytes(x: float | None) -> str:
    if x is None:
        return "-"
    a = abs(x)
    if a < 1024:
        return f"{x:.0f} B"
    if a < 1024 ** 2:
        return f"{x / 1024:.1f} KiB"
    return f"{x / 1024 ** 2:.2f} MiB"


def fmt_ratio(x: float | None) -> str:
    return "-" if x is None else f"{x:.2f}x"


def rss_bytes() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


# --------------------------------------------------------------------------
# implementations and host

class Impl:
    def __init__(self, key: str):
        self.key = key
        self.label = IMPL_LABELS[key]
        self.module = None
        self.cls = None
        self.origin = None
        self.note = None
        self.mw = None          # this implementation's main window
        self.drawer = None      # the drawer the per-call paths use

    @property
    def available(self) -> bool:
        return self.cls is not None


def load_impls(built: dict, notes: list[str]) -> dict[str, Impl]:
    import importlib
    impls = {k: Impl(k) for k in IMPL_ORDER}

    cpp = impls["cpp"]
    try:
        mod = importlib.import_module("zarnu.material.drawer.drawer")
    except Exception as exc:
        raise SystemExit(f"bench: the C++ module does not import ({type(exc).__name__}: {exc}); "
                         "build and install it first (scripts/bootstrap.sh setup)") from exc
    cpp.module, cpp.cls, cpp.origin = mod, mod.Drawer, getattr(mod, "__file__", None)

    py = impls["py"]
    sys.path[:0] = [str(BENCH / "peers"), str(BENCH / "pydrawer")]
    mod = importlib.import_module(PEER_MODULE)
    py.module, py.cls, py.origin = mod, mod.Drawer, mod.__file__

    cy = impls["cy"]
    if built.get("cython"):
        sys.path.insert(0, str(Path(built["cython"]).parent))
        try:
            mod = importlib.import_module(build.CY_MODULE)
            cy.module, cy.cls, cy.origin = mod, mod.Drawer, mod.__file__
        except Exception as exc:
            cy.note = f"compiled peer failed to import ({type(exc).__name__}: {exc})"
            notes.append(cy.note)
    else:
        cy.note = "; ".join(built.get("notes") or ["not built"])

    fl = impls["floor"]
    sys.path.insert(0, str(Path(built["floor"]).parent))
    fl.module = importlib.import_module("floor")
    fl.origin = fl.module.__file__
    return impls


class Host:
    def __init__(self):
        from qtpy.QtWidgets import QApplication
        self.app = QApplication.instance() or QApplication([sys.argv[0]])
        self.app.mainWindow = None

    def new_main_window(self, title: str):
        from qtpy.QtWidgets import QMainWindow
        mw = QMainWindow()
        mw.setWindowTitle(title)
        mw.resize(800, 600)
        mw.show()
        self.process()
        return mw

    def use(self, impl: Impl) -> None:
        self.app.mainWindow = impl.mw

    def process(self) -> None:
        from qtpy.QtCore import QCoreApplication, QEvent
        QCoreApplication.sendPostedEvents(None, QEvent.Type.DeferredDelete)
        self.app.processEvents()


def make_floor_splitter(floor_mod):
    """A frameless translucent top-level QSplitter whose eventFilter is the C floor. It carries
    what the resize floor reads: an `_anchorEl` attribute and an `update_position` method."""
    from qtpy.QtCore import Qt
    from qtpy.QtWidgets import QSplitter

    class FloorSplitter(QSplitter):
        eventFilter = floor_mod.event_filter_method

        def update_position(self):
            pass

    fs = FloorSplitter()
    fs._anchorEl = None
    fs.setWindowFlags(Qt.WindowType.Window | Qt.WindowType.FramelessWindowHint)
    fs.setAttribute(Qt.WidgetAttribute.WA_TranslucentBackground, True)
    return fs


def new_drawer(impl: Impl, host: Host):
    from zarnu.hooks.use_state import State
    host.use(impl)
    return impl.cls(open=State(False), minWidth=300)


# --------------------------------------------------------------------------
# timing

def timed_total(run, n: int) -> int:
    """CPU time of this thread for run(n): on a shared machine the time the thread spends
    preempted would otherwise count, and it is most of the noise."""
    enabled = gc.isenabled()
    gc.disable()
    try:
        t0 = time.thread_time_ns()
        run(n)
        t1 = time.thread_time_ns()
    finally:
        if enabled:
            gc.enable()
    return t1 - t0


def calibrate(run, st: Settings, after=None) -> int:
    run(1)
    if after:
        after()
    n = 1
    while True:
        t = timed_total(run, n)
        if after:
            after()
        if t >= st.target_ns * 0.2 or n >= st.max_inner:
            break
        n *= 4
    return int(max(1, min(st.max_inner, round(n * st.target_ns / max(t, 1)))))


class PathSpec:
    """One timed path. `runner(impl)` returns run(n) or None (not applicable)."""

    def __init__(self, key, title, runner, *, ef=False, setup=None, teardown=None,
                 after=None, floor_note=None):
        self.key, self.title, self.runner = key, title, runner
        self.ef = ef
        self.setup, self.teardown, self.after = setup, teardown, after
        self.floor_note = floor_note


def measure_path(spec: PathSpec, impls: dict[str, Impl], host: Host, st: Settings) -> dict:
    runs = {}
    for key in IMPL_ORDER:
        impl = impls[key]
        if key != "floor" and not impl.available:
            continue
        if spec.setup:
            spec.setup(impl)
        run = spec.runner(impl)
        if run is not None:
            runs[key] = run
    after = spec.after or (lambda: None)
    inner = {k: calibrate(run, st, after) for k, run in runs.items()}
    samples = {k: [] for k in runs}
    order = list(runs)
    gc.collect()
    for r in range(st.rounds):
        rot = order[r % len(order):] + order[:r % len(order)] if order else []
        for k in rot:
            samples[k].append(timed_total(runs[k], inner[k]) / inner[k])
            after()
    if spec.teardown:
        for key in IMPL_ORDER:
            if key in runs:
                spec.teardown(impls[key])
    host.process()
    results = {}
    for k in runs:
        results[k] = summarize(samples[k]) | {"inner": inner[k]}
    return {"title": spec.title, "unit": "ns per operation", "event_filter": spec.ef,
            "floor_note": spec.floor_note, "results": results}


def build_paths(impls: dict[str, Impl], host: Host, extras: dict) -> list[PathSpec]:
    from qtpy.QtCore import QPoint, QSize, QTimerEvent
    from qtpy.QtGui import QResizeEvent
    from qtpy.QtWidgets import QApplication

    floor = impls["floor"].module
    repeat = floor.repeat_call
    send = QApplication.sendEvent
    fs = impls["floor"].drawer      # the floor's QSplitter, filtering its window

    # an ordinary event: a timer event whose id belongs to no timer, so the
    # window's own handling after the filters does nothing
    ev_timer = QTimerEvent(0x5EED)
    ev_resize = QResizeEvent(QSize(800, 600), QSize(800, 600))

    def ef_direct(impl):
        if impl.key == "floor":
            return lambda n: floor.event_filter_floor(fs, impl.mw, ev_timer, n)
        return lambda n, f=impl.drawer.eventFilter, mw=impl.mw: repeat(f, (mw, ev_timer), n)

    def ef_send(impl):
        return lambda n, mw=impl.mw: repeat(send, (mw, ev_timer), n)

    def show_for_resize(impl):
        host.use(impl)
        if impl.key == "floor":
            mw = impl.mw
            pos = mw.mapToGlobal(QPoint(0, 0))
            fs._anchorEl = mw
            fs.setGeometry(pos.x(), pos.y(), mw.width(), mw.height())
            fs.setVisible(True)
        else:
            impl.drawer.showDrawer()
        host.process()

    def hide_after_resize(impl):
        if impl.key == "floor":
            fs.setVisible(False)
        else:
            impl.drawer._close()

    def ef_resize(impl):
        if impl.key == "floor":
            return lambda n: floor.resize_floor(fs, impl.mw, ev_resize, n, QPoint)
        return lambda n, f=impl.drawer.eventFilter, mw=impl.mw: repeat(f, (mw, ev_resize), n)

    def getter(impl):
        if impl.key == "floor":
            return None
        return lambda n, f=impl.drawer._get_anchor: repeat(f, (), n)

    def setter(impl):
        if impl.key == "floor":
            return None
        return lambda n, f=impl.drawer._set_elevation: repeat(f, (8,), n)

    def show_close(impl):
        if impl.key == "floor":
            return None
        d = impl.drawer

        def op(show=d.showDrawer, close=d._close):
            show()
            close()
        return lambda n: repeat(op, (), n)

    def use_impl(impl):
        host.use(impl)

    def stylesheet(impl):
        if impl.key == "floor":
            return None
        return lambda n, f=impl.drawer._set_stylesheet: repeat(f, (), n)

    def construct(impl):
        if impl.key == "floor":
            return None
        from zarnu.hooks.use_state import State
        cls = impl.cls

        def op():
            d = cls(open=State(False), minWidth=300)
            d.deleteLater()

        def run(n):
            host.use(impl)
            repeat(op, (), n)
        return run

    # Extra reference points, measured once per run and reported as notes.
    def extra_points():
        mw_bare = host.new_main_window("bare")
        pts = {}
        st_quick = Settings(True, None)
        for name, run in (
            ("send_without_filter", lambda n: repeat(send, (mw_bare, ev_timer), n)),
        ):
            inner = calibrate(run, st_quick)
            pts[name] = statistics.median(timed_total(run, inner) / inner for _ in range(5))
        mw_bare.close()
        mw_bare.deleteLater()
        return pts
    extras["points"] = extra_points

    return [
        PathSpec("ef_direct", "eventFilter, ordinary event, called directly (drawer hidden)",
                 ef_direct, ef=True, setup=use_impl,
                 floor_note="event.type() x4 + QSplitter.eventFilter(self, source, event), from C"),
        PathSpec("ef_send", "eventFilter via QApplication.sendEvent(mainWindow, event) (drawer hidden)",
                 ef_send, ef=True, setup=use_impl,
                 floor_note="same calls made by a C method installed as eventFilter of a QSplitter "
                            "subclass, reached through the same sendEvent dispatch"),
        PathSpec("ef_resize", "eventFilter, resize of the anchor while visible, called directly",
                 ef_resize, ef=True, setup=show_for_resize, teardown=hide_after_resize,
                 floor_note="event.type() x3, source == self._anchorEl, isVisible(), the look-up "
                            "(not the call) of self.update_position, bool(self._anchorEl), "
                            "self._anchorEl.mapToGlobal(QPoint(0, 0)), x(), y(), "
                            "self._anchorEl.width(), self._anchorEl.height(), "
                            "setGeometry(x, y, w, h), base eventFilter; the anchor is already "
                            "stored, so no instance()/mainWindow lookup is needed"),
        PathSpec("get_anchor", "_get_anchor()", getter),
        PathSpec("set_elevation", "_set_elevation(8) through its validation wrapper", setter),
        PathSpec("show_close", "showDrawer() + _close()", show_close, setup=use_impl,
                 after=host.process),
        PathSpec("set_stylesheet", "_set_stylesheet()", stylesheet, after=host.process),
        PathSpec("construct_drop", "Drawer(open=State(False), minWidth=300) + deleteLater, drop",
                 construct, after=host.process),
    ]


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
        cmd = [sys.executable, str(Path(__file__).resolve()), "--memory-child", key,
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


# --------------------------------------------------------------------------
# ratios

def add_ratios(paths: dict, ref: str | None) -> None:
    for p in paths.values():
        res = p["results"]
        ref_med = res.get(ref, {}).get("median") if ref else None
        p["ratio_vs_ref"] = {k: (v["median"] / ref_med if ref_med else None)
                             for k, v in res.items()}
        if p["event_filter"] and "floor" in res:
            fl = res["floor"]["median"]
            own = {k: v["median"] - fl for k, v in res.items() if k != "floor"}
            p["own_overhead"] = own
            ref_own = own.get(ref) if ref else None
            p["own_ratio_vs_ref"] = {k: (v / ref_own if ref_own and ref_own > 0 else None)
                                     for k, v in own.items()}
            # an own overhead smaller than the floor's interquartile range is
            # indistinguishable from zero, and ratios against it mean little
            noise = res["floor"]["q3"] - res["floor"]["q1"]
            p["own_within_floor_noise"] = {k: v < noise for k, v in own.items()}
            # on a shared machine other processes only ever add time: the fastest samples
            # are the least disturbed ones
            p["own_overhead_min"] = {k: v["min"] - res["floor"]["min"] for k, v in res.items() if k != "floor"}


# --------------------------------------------------------------------------
# terminal table

def print_report(report: dict) -> None:
    impls = report["implementations"]
    ref = report["reference"]
    shown = [k for k in IMPL_ORDER if impls[k]["available"] or k == "floor"]
    print()
    print(f"Drawer benchmark ({'quick' if report['meta']['quick'] else 'full'} mode); "
          f"times are medians per operation [interquartile range]")
    print(f"Python {report['meta']['python']}, {report['meta']['qt_api']} (Qt {report['meta']['qt']}), "
          f"{report['meta']['rounds']} samples per cell")
    print()
    w0 = 16
    head = f"{'path':<{w0}}" + "".join(f"{IMPL_LABELS[k]:>27}" for k in shown)
    print(head)
    print("-" * len(head))
    for key, p in report["paths"].items():
        row = f"{key:<{w0}}"
        for k in shown:
            r = p["results"].get(k)
            cell = "-" if r is None else fmt_spread(r["median"], r["q1"], r["q3"])
            row += f"{cell:>27}"
        print(row)
    print()
    ref_label = IMPL_LABELS[ref] if ref else "-"
    others = [k for k in shown if k != ref]
    head = f"{'ratio to ' + ref_label:<28}" + "".join(f"{IMPL_LABELS[k]:>16}" for k in others)
    print(head)
    print("-" * len(head))
    for key, p in report["paths"].items():
        row = f"{key:<28}" + "".join(f"{fmt_ratio(p['ratio_vs_ref'].get(k)):>16}" for k in others)
        print(row)
        if "own_overhead" in p:
            row = f"{'  own overhead':<28}"
            for k in others:
                if k == "floor":
                    row += f"{'':>16}"
                else:
                    row += f"{fmt_ns(p['own_overhead'].get(k)):>16}"
            noisy = p["own_within_floor_noise"].get(ref)
            print(row + f"   ({ref_label}: {fmt_ns(p['own_overhead'].get(ref))}"
                  + (", within the floor's noise: ratios below are rough)" if noisy else ")"))
            row = f"{'  own overhead ratio':<28}" + "".join(
                f"{fmt_ratio(p['own_ratio_vs_ref'].get(k)):>16}" for k in others if k != "floor")
            print(row)
            own_min = p["own_overhead_min"]
            print(f"{'  own overhead, of minima':<28}" + "".join(
                f"{fmt_ns(own_min.get(k)):>16}" for k in others if k != "floor")
                + f"   ({ref_label}: {fmt_ns(own_min.get(ref))})")
    print()
    for key, p in report["paths"].items():
        print(f"  {key}: {p['title']}")
        if p.get("floor_note"):
            print(f"      floor = {p['floor_note']}")
    pts = report.get("reference_points") or {}
    if pts:
        print(f"  sendEvent to a main window with no filter installed: {fmt_ns(pts.get('send_without_filter'))}")

    counts.print_counts(report.get("instructions") or {}, IMPL_LABELS, IMPL_ORDER)

    imp = report.get("import") or {}
    if imp:
        print()
        print(f"{'import, fresh interpreter':<28}{'module only':>26}{'whole process':>26}"
              "   (median [min-max])")
        for k, v in imp.items():
            if "error" in v:
                print(f"  {IMPL_LABELS[k]:<26}error: {v['error']}")
                continue
            a, b = v["module_only"], v["process_wall"]
            print(f"  {IMPL_LABELS[k]:<26}{fmt_spread(a['median'], a['min'], a['max']):>26}"
                  f"{fmt_spread(b['median'], b['min'], b['max']):>26}")
    mem = report.get("memory") or {}
    if mem:
        print()
        print(f"{'memory, fresh interpreter':<16}")
        print(f"{'':<16}{'RSS/drawer':>12}{'traced/drawer':>15}{'blocks/drawer':>15}"
              f"{'cycles':>8}{'Δblocks':>10}{'Δblocks/cyc':>13}{'ΔRSS':>11}{'Δtoplevels':>12}")
        for k, v in mem.items():
            if "error" in v:
                print(f"  {IMPL_LABELS[k]:<14}error: {v['error']}")
                continue
            print(f"  {IMPL_LABELS[k]:<14}{fmt_bytes(v['rss_per_drawer']):>12}"
                  f"{fmt_bytes(v['traced_per_drawer']):>15}{v['blocks_per_drawer']:>15.1f}"
                  f"{v['cycles']:>8}{v['blocks_growth']:>10}{v['blocks_growth_per_cycle']:>13.3f}"
                  f"{fmt_bytes(v['rss_growth']):>11}{v['toplevel_growth']:>12}")
    if report["notes"]:
        print()
        for n in report["notes"]:
            print(f"note: {n}")


# --------------------------------------------------------------------------
# chart (QPainter into a QImage, no plotting dependency)

def chart_rows(report: dict) -> list[tuple[str, dict]]:
    rows = []
    for key, p in report["paths"].items():
        rows.append((key, p["ratio_vs_ref"]))
        if "own_ratio_vs_ref" in p:
            rows.append((key + " (own)", p["own_ratio_vs_ref"]))
    ref = report["reference"]
    imp = report.get("import") or {}
    if ref in imp and "module_only" in imp[ref]:
        base = imp[ref]["module_only"]["median"]
        rows.append(("import", {k: v["module_only"]["median"] / base
                                for k, v in imp.items() if "module_only" in v}))
    mem = report.get("memory") or {}
    if mem.get(ref, {}).get("traced_per_drawer", 0) > 0:
        base = mem[ref]["traced_per_drawer"]
        rows.append(("traced mem/drawer", {k: v["traced_per_drawer"] / base
                                           for k, v in mem.items() if "traced_per_drawer" in v}))
    if mem.get(ref, {}).get("rss_per_drawer", 0) > 0:
        base = mem[ref]["rss_per_drawer"]
        rows.append(("RSS/drawer", {k: v["rss_per_drawer"] / base
                                    for k, v in mem.items() if v.get("rss_per_drawer", 0) > 0}))
    return rows


def draw_chart(report: dict, path: Path) -> None:
    import math
    from qtpy.QtCore import QPointF, QRectF, Qt
    from qtpy.QtGui import QColor, QFont, QImage, QPainter, QPen

    ref = report["reference"]
    series = [k for k in IMPL_ORDER if k != ref and (report["implementations"][k]["available"] or k == "floor")]
    colours = {"cpp": QColor("#4c72b0"), "py": QColor("#dd8452"), "cy": QColor("#55a868"),
               "floor": QColor("#8c8c8c")}
    rows = chart_rows(report)
    vals = [v for _, r in rows for k, v in r.items() if k in series and v and v > 0]
    lo = min([0.1] + [v / 1.5 for v in vals])
    hi = max([10.0] + [v * 1.5 for v in vals])
    lo_e, hi_e = math.floor(math.log10(lo)), math.ceil(math.log10(hi))

    bar_h, gap = 14, 12
    left, right, top = 200, 60, 90
    plot_w = 760
    group_h = bar_h * len(series) + gap
    height = top + group_h * len(rows) + 60
    width = left + plot_w + right
    img = QImage(width, height, QImage.Format.Format_ARGB32)
    img.fill(QColor("white"))
    p = QPainter(img)
    p.setRenderHint(QPainter.RenderHint.Antialiasing, True)

    def xpos(v):
        return left + (math.log10(v) - lo_e) / (hi_e - lo_e) * plot_w

    font = QFont()
    font.setPixelSize(13)
    p.setFont(font)
    title = (f"Drawer benchmark: time relative to the {IMPL_LABELS[ref]} (log scale; "
             f"right of 1 = slower){'  [quick mode]' if report['meta']['quick'] else ''}")
    p.setPen(QColor("black"))
    p.drawText(QRectF(10, 8, width - 20, 22), Qt.AlignmentFlag.AlignLeft, title)
    # legend
    x = left
    for k in series:
        p.fillRect(QRectF(x, 38, 14, 14), colours[k])
        p.drawText(QRectF(x + 18, 36, 140, 18), Qt.AlignmentFlag.AlignLeft, IMPL_LABELS[k])
        x += 150
    # grid
    bottom = top + group_h * len(rows)
    small = QFont()
    small.setPixelSize(11)
    p.setFont(small)
    for e in range(lo_e, hi_e + 1):
        for m in (1, 2, 5):
            v = m * 10 ** e
            if v < 10 ** lo_e or v > 10 ** hi_e:
                continue
            xx = xpos(v)
            p.setPen(QPen(QColor("#bbbbbb") if m == 1 else QColor("#e6e6e6"), 1))
            p.drawLine(QPointF(xx, top - 6), QPointF(xx, bottom))
            if m == 1 or (hi_e - lo_e) <= 3:
                p.setPen(QColor("#444444"))
                label = f"{v:g}"
                p.drawText(QRectF(xx - 30, bottom + 4, 60, 16), Qt.AlignmentFlag.AlignHCenter, label)
    p.setPen(QPen(QColor("black"), 2))
    p.drawLine(QPointF(xpos(1), top - 10), QPointF(xpos(1), bottom))
    # bars
    y = top
    for name, ratios in rows:
        p.setPen(QColor("black"))
        p.setFont(font)
        p.drawText(QRectF(8, y, left - 16, group_h - gap),
                   Qt.AlignmentFlag.AlignRight | Qt.AlignmentFlag.AlignVCenter, name)
        p.setFont(small)
        for i, k in enumerate(series):
            v = ratios.get(k)
            yy = y + i * bar_h
            if not v or v <= 0:
                continue
            x0, x1 = sorted((xpos(1), xpos(v)))
            p.fillRect(QRectF(x0, yy + 1, max(1.0, x1 - x0), bar_h - 2), colours[k])
            p.setPen(QColor("#222222"))
            tx = x1 + 4 if v >= 1 else x0 - 64
            p.drawText(QRectF(tx, yy, 60, bar_h),
                       (Qt.AlignmentFlag.AlignLeft if v >= 1 else Qt.AlignmentFlag.AlignRight)
                       | Qt.AlignmentFlag.AlignVCenter, f"{v:.2f}x")
        y += group_h
    p.end()
    img.save(str(path))


# --------------------------------------------------------------------------

def built_outputs() -> dict:
    """The build outputs in bench/out as they are (--no-build, child processes)."""
    cy = OUT / "cy" / (build.CY_MODULE + build.EXT_SUFFIX)
    return {"cython": cy if cy.exists() else None, "floor": OUT / "floor" / ("floor" + build.EXT_SUFFIX)}


def start(args, built: dict, notes: list[str]):
    """Loads the implementations and makes the host: a main window and a drawer for each
    (the floor's splitter for the floor). Returns (impls, host, sys.path entries for children)."""
    child_paths = []
    if args.tree:
        sys.path.insert(0, str(ROOT / "python"))
        child_paths.append(str(ROOT / "python"))
    impls = load_impls(built, notes)
    child_paths += [str(BENCH / "peers"), str(BENCH / "pydrawer")]
    if built.get("cython"):
        child_paths.append(str(Path(built["cython"]).parent))

    host = Host()
    for key in IMPL_ORDER:
        impl = impls[key]
        if key == "floor" or impl.available:
            impl.mw = host.new_main_window(f"host for {impl.label}")
    fl = impls["floor"]
    fl.drawer = make_floor_splitter(fl.module)
    fl.mw.installEventFilter(fl.drawer)
    for key in ("cpp", "py", "cy"):
        impl = impls[key]
        if impl.available:
            try:
                impl.drawer = new_drawer(impl, host)
            except Exception as exc:
                if key == "cpp":
                    raise
                impl.note = f"construction failed ({type(exc).__name__}: {exc})"
                notes.append(f"{impl.label} skipped: {impl.note}")
                impl.cls = None
    host.process()
    return impls, host, child_paths


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
