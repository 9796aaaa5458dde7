"""The drawer benchmark's report: ratios between the implementations, the terminal table and
the chart."""

from __future__ import annotations

from pathlib import Path

import counts  # bench/counts.py
from harness import IMPL_LABELS, IMPL_ORDER


# --------------------------------------------------------------------------
# formatting

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
