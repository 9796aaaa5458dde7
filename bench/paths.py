"""The timed paths of the drawer benchmark: what each implementation runs per operation, and
the floor's counterpart of the event-filter paths."""

from __future__ import annotations

import statistics

from harness import Host, Impl, PathSpec, Settings, calibrate, timed_total


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
