"""The drawer benchmark's harness: the implementations side by side, their host, and the
sampling of one timed path (bench/run.py is the entry point).

Each implementation gets its own, identical main window, and the application's `mainWindow`
attribute is pointed at it before anything of that implementation reads it, so that sending
an event to one window runs only that implementation's filter. A sample is one inner loop
driven from C (floor.repeat_call) and timed in this thread's CPU time; the implementations
are rotated in each round.
"""

from __future__ import annotations

import gc
import statistics
import sys
import time
from pathlib import Path

import build  # bench/build.py

BENCH = Path(__file__).resolve().parent
ROOT = BENCH.parent
OUT = BENCH / "out"

IMPL_LABELS = {
    "cpp": "C++ module",
    "py": "plain Python",
    "cy": "Cython build",
    "floor": "floor",
}
IMPL_ORDER = ["cpp", "py", "cy", "floor"]
PEER_MODULE = "drawer_plain"    # bench/peers/drawer_plain.py
# Where the peer is, and tests/, whose model package (tests/model/) the peer takes its
# window-system helpers from; this process and its children put them on sys.path.
PEER_PATHS = [str(BENCH / "peers"), str(ROOT / "tests")]


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
# statistics

def summarize(samples: list[float]) -> dict:
    s = sorted(samples)
    if len(s) >= 4:
        q1, _, q3 = statistics.quantiles(s, n=4)
    else:
        q1, q3 = s[0], s[-1]
    return {"median": statistics.median(s), "q1": q1, "q3": q3,
            "min": s[0], "max": s[-1], "samples": len(s)}



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
    sys.path[:0] = PEER_PATHS
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


# --------------------------------------------------------------------------
# start-up: the implementations, their main windows and drawers

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
    child_paths += PEER_PATHS
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
