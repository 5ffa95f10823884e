"""The archive audit's report as one self-contained HTML page: a summary, the
files, the problems grouped by kind with the file and position of each, and a
timeline picture per device (SVG in the page)."""

from __future__ import annotations

import datetime as _dt
from html import escape

_STYLE = """
body { font-family: sans-serif; margin: 1.5em; color: #222; }
table { border-collapse: collapse; margin-bottom: 1.2em; }
th, td { border: 1px solid #bbb; padding: 2px 8px; text-align: left; font-size: 90%; }
th { background: #eee; }
td.n { text-align: right; }
.clean { color: #176d17; } .bad { color: #b00; }
svg.timeline { max-width: 100%; height: auto; border: 1px solid #ccc; }
"""

# The kinds of finding between files, after check's own kinds.
_ARCHIVE_KINDS = ("gap", "overlap", "ping gap across files", "duplicated record", "unreadable",
                  "changed during the audit", "not checked")


# The timeline picture: lanes of bars on a time axis, drawn as SVG in the page
# (its tick labels are text a browser shows and a search finds).
_PLOT_LEFT, _PLOT_WIDTH, _PLOT_RIGHT = 80, 880, 50
_LANE, _ROW = 12, 16
_COLOURS = {"files": "#4a7ab8", "gaps": "#d62728", "overlaps": "#ff9f1c"}

_MS, _S = 10**6, 10**9
# Tick steps in nanoseconds: the first that leaves no more than _TICKS ticks is taken.
_STEPS = ([n * _MS for n in (1, 2, 5, 10, 20, 50, 100, 200, 500)]
          + [n * _S for n in (1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200)]
          + [n * 86400 * _S for n in (1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000)])
_TICKS = 8


def _tick_label(ns, step):
    """A tick's date and time (UTC), to the precision of the step, so that no two ticks read alike."""
    t = _dt.datetime(1970, 1, 1) + _dt.timedelta(microseconds=ns // 1000)
    if step < _S:
        clock = t.strftime("%H:%M:%S.") + f"{t.microsecond // 1000:03d}"
    elif step < 60 * _S:
        clock = t.strftime("%H:%M:%S")
    else:
        clock = t.strftime("%H:%M")
    return t.strftime("%Y-%m-%d"), clock


def _axis(t0, t1):
    """The time range drawn (a little wider than t0..t1, never empty) and its ticks."""
    span = t1 - t0
    if span <= 0:
        t0, t1, span = t0 - _S // 2, t1 + _S // 2, _S
    pad = max(span // 50, 1)
    t0, t1 = t0 - pad, t1 + pad
    step = next((s for s in _STEPS if (t1 - t0) // s <= _TICKS), None)
    if step is None:
        step = -(-(t1 - t0) // _TICKS)
    first = -(-t0 // step) * step
    return t0, t1, step, list(range(first, t1 + 1, step))


def _bars(spans, x, row_y, colour, what):
    """`spans` ((first ns, last ns, name)) as rects on one row: at least 2 px
    wide, those that would touch on screen drawn as one (its tooltip counts
    them), so that the page stays small whatever the number of files."""
    merged = []
    for a, b, name in sorted(spans):
        x0, x1 = x(a), x(b)
        x1 = max(x1, x0 + 2)
        if merged and x0 <= merged[-1][1] + 1:
            m = merged[-1]
            m[1], m[2] = max(m[1], x1), m[2] + 1
        else:
            merged.append([x0, x1, 1, name])
    out = []
    for x0, x1, n, name in merged:
        tip = name if n == 1 else f"{n} {what}"
        out.append(f'<rect class="{what}" x="{x0:.1f}" y="{row_y}" width="{x1 - x0:.1f}" height="{_LANE}" '
                   f'fill="{colour}"><title>{escape(tip)}</title></rect>')
    return out


def timeline_svg(device):
    """One device's timeline as an SVG element: its files as blue bars (on
    two rows, so that files that follow each other stay apart), the gaps in
    red and the overlaps in orange, each on a row of its own so that neither
    hides the files, over a time axis whose ticks give date and time (UTC)."""
    from .audit import _text_ns

    def spans(items, first, last, name):
        out = []
        for item in items:
            a, b = _text_ns(item[first]), _text_ns(item[last])
            if a is not None and b is not None:
                out.append((a, max(a, b), item[name]))
        return out

    files = spans(device["timeline"], "firstTime", "lastTime", "file")
    gaps = spans(device["gaps"], "from", "to", "after")
    overlaps = spans(device["overlaps"], "from", "to", "after")
    ends = [t for a, b, _ in files + gaps + overlaps for t in (a, b)]
    t0, t1, step, ticks = _axis(min(ends, default=0), max(ends, default=0))

    def x(ns):
        return _PLOT_LEFT + (ns - t0) * _PLOT_WIDTH / (t1 - t0)

    rows = [("files", files[0::2]), ("", files[1::2]), ("gaps", gaps), ("overlaps", overlaps)]
    axis_y = 6 + _ROW * len(rows) + 4
    width, height = _PLOT_LEFT + _PLOT_WIDTH + _PLOT_RIGHT, axis_y + 36
    label = f"timeline of device {device['device']}, enumerator {device['enumerator']}"
    out = [f'<svg class="timeline" xmlns="http://www.w3.org/2000/svg" role="img" aria-label="{escape(label)}" '
           f'width="{width}" height="{height}" viewBox="0 0 {width} {height}" font-family="sans-serif" '
           f'font-size="11">',
           f'<rect x="{_PLOT_LEFT}" y="4" width="{_PLOT_WIDTH}" height="{axis_y - 4}" fill="#f7f7f7"/>']
    for i, (name, items) in enumerate(rows):
        y = 6 + _ROW * i
        kind = "files" if i < 2 else name
        if name:
            out.append(f'<text x="{_PLOT_LEFT - 6}" y="{y + _LANE - 2}" text-anchor="end">{name}</text>')
        out += _bars(items, x, y, _COLOURS[kind], kind)
    out.append(f'<line x1="{_PLOT_LEFT}" y1="{axis_y}" x2="{_PLOT_LEFT + _PLOT_WIDTH}" y2="{axis_y}" stroke="#444"/>')
    for t in ticks:
        tx = x(t)
        day, clock = _tick_label(t, step)
        out.append(f'<line x1="{tx:.1f}" y1="{axis_y}" x2="{tx:.1f}" y2="{axis_y + 4}" stroke="#444"/>')
        out.append(f'<text class="tick" x="{tx:.1f}" y="{axis_y + 16}" text-anchor="middle">'
                   f'<tspan x="{tx:.1f}">{day}</tspan><tspan x="{tx:.1f}" dy="13">{clock}</tspan></text>')
    # Left of the first tick's label, which may reach 35 px left of the plot.
    out.append(f'<text x="{_PLOT_LEFT - 38}" y="{axis_y + 16}" text-anchor="end">UTC</text>')
    out.append("</svg>")
    return "\n".join(out)


def rate_svg(name, points):
    """One file's records per second over time as an SVG element: a line over
    the file's time span (ticks in UTC), the highest rate marked on the left."""
    label = f"records per second of {name}"
    height, top, axis_y = 96, 6, 66
    width = _PLOT_LEFT + _PLOT_WIDTH + _PLOT_RIGHT
    out = [f'<svg class="rate" xmlns="http://www.w3.org/2000/svg" role="img" aria-label="{escape(label)}" '
           f'width="{width}" height="{height}" viewBox="0 0 {width} {height}" font-family="sans-serif" '
           f'font-size="11">',
           f'<rect x="{_PLOT_LEFT}" y="{top}" width="{_PLOT_WIDTH}" height="{axis_y - top}" fill="#f7f7f7"/>']
    ns = [int(t * _S) for t, _ in points]
    t0, t1, step, ticks = _axis(min(ns, default=0), max(ns, default=0))
    peak = max((r for _, r in points), default=0) or 1

    def x(t):
        return _PLOT_LEFT + (t - t0) * _PLOT_WIDTH / (t1 - t0)

    def y(r):
        return axis_y - (r / peak) * (axis_y - top - 4)

    line = " ".join(f"{x(t):.1f},{y(r):.1f}" for t, (_, r) in zip(ns, points))
    out.append(f'<polyline points="{line}" fill="none" stroke="{_COLOURS["files"]}" stroke-width="1.5"/>')
    out.append(f'<text x="{_PLOT_LEFT - 6}" y="{top + 10}" text-anchor="end">{peak:g}/s</text>')
    out.append(f'<text x="{_PLOT_LEFT - 6}" y="{axis_y}" text-anchor="end">0</text>')
    out.append(f'<line x1="{_PLOT_LEFT}" y1="{axis_y}" x2="{_PLOT_LEFT + _PLOT_WIDTH}" y2="{axis_y}" stroke="#444"/>')
    for t in ticks:
        tx = x(t)
        day, clock = _tick_label(t, step)
        out.append(f'<line x1="{tx:.1f}" y1="{axis_y}" x2="{tx:.1f}" y2="{axis_y + 4}" stroke="#444"/>')
        out.append(f'<text class="tick" x="{tx:.1f}" y="{axis_y + 16}" text-anchor="middle">{day} {clock}</text>')
    out.append("</svg>")
    return "\n".join(out)


def _count(n, word):
    return f"{n} {word}" if n == 1 else f"{n} {word}s"


def _table(head, rows, numeric=()):
    out = ["<table><tr>" + "".join(f"<th>{escape(h)}</th>" for h in head) + "</tr>"]
    for row in rows:
        cells = []
        for i, v in enumerate(row):
            cls = ' class="n"' if i in numeric else ""
            cells.append(f"<td{cls}>{escape('' if v is None else str(v))}</td>")
        out.append("<tr>" + "".join(cells) + "</tr>")
    out.append("</table>")
    return "\n".join(out)


def problem_groups(report):
    """Every finding as (kind, file, index, offset, text), grouped by kind in order."""
    groups = {}
    for f in report["files"]:
        for p in f.get("problems", []):
            for item in p["first"]:
                groups.setdefault(p["kind"], []).append((f["file"], item["index"], item["offset"], item["text"]))
            if p["count"] > len(p["first"]):
                groups[p["kind"]].append((f["file"], None, None,
                                          f"and {p['count'] - len(p['first'])} more of this kind"))
    for c in report["continuity"]:
        dev = f"device {c['device']}, enumerator {c['enumerator']}"
        for g in c["gaps"]:
            groups.setdefault("gap", []).append((g["after"], None, None, f"{dev}: {g['seconds']:.3f} s without records "
                                                 f"from {g['from']} to {g['to']}, after {g['before']}"))
        for o in c["overlaps"]:
            groups.setdefault("overlap", []).append((o["after"], None, None, f"{dev}: {o['seconds']:.3f} s "
                                                     f"({o['from']} to {o['to']}) also in {o['before']}"))
        for p in c["pingGaps"]:
            groups.setdefault("ping gap across files", []).append((
                p["after"], None, None, f"{dev}, record type {p['recordType']}: ping {p['firstPing']} after ping "
                f"{p['lastPing']} at the end of {p['before']} ({p['missing']} missing)"))
        for d in c["duplicates"]:
            groups.setdefault("duplicated record", []).append((
                d["second"]["file"], d["second"]["index"], d["second"]["offset"],
                f"{dev}, record type {d['recordType']}, record counter {d['recordCounter']}, {d['time']}: the "
                f"same bytes as frame {d['first']['index']} (byte {d['first']['offset']}) of {d['first']['file']}"))
        if c["duplicateCount"] > len(c["duplicates"]):
            groups["duplicated record"].append(("", None, None, f"{dev}: and "
                                                f"{c['duplicateCount'] - len(c['duplicates'])} more"))
    for u in report["unreadable"]:
        groups.setdefault("unreadable", []).append((u["file"], None, None, u["error"]))
    for u in report["changed"]:
        groups.setdefault("changed during the audit", []).append((u["file"], None, None,
                                                                  f"{u['status']}: {u['error']}"))
    for u in report["missing"]:
        groups.setdefault("not checked", []).append((u["file"], None, None, u["error"]))
    order = [k for k in groups if k not in _ARCHIVE_KINDS] + [k for k in _ARCHIVE_KINDS if k in groups]
    return [(k, groups[k]) for k in order]


def html_page(report, rates=None):
    """The audit's page; `rates` (file -> [seconds, records per second] pairs,
    as audit() fills them) adds each file's rate plot."""
    t = report["totals"]
    verdict = ('<span class="clean">clean</span>' if report["clean"]
               else '<span class="bad">problems found</span>')
    parts = [
        "<!DOCTYPE html>",
        '<html lang="en"><head><meta charset="utf-8"><title>Archive audit</title>',
        f"<style>{_STYLE}</style></head><body>",
        f"<h1>Archive audit: {verdict}</h1>",
        "<p>" + escape(", ".join(report["paths"])) + f" &mdash; {_count(report['workers'], 'worker')}, "
        f"{report['elapsedSeconds']:.1f} s</p>",
        "<h2>Summary</h2>",
        _table(["Files", "Readable", "Clean", "Frames", "Bytes", "First time", "Last time", "Problems",
                "Unreadable", "Changed", "Not checked"],
               [[t["files"], t["readableFiles"], t["cleanFiles"], t["frames"], t["bytes"], t["firstTime"],
                 t["lastTime"], t["problemCount"], len(report["unreadable"]), len(report["changed"]),
                 len(report["missing"])]], numeric=(0, 1, 2, 3, 4, 7, 8, 9, 10)),
        "<h3>Record types</h3>",
        _table(["Record type", "Frames", "Bytes", "Share %", "Last time"],
               [[r["recordType"], r["frames"], r["bytes"], f"{r['share']:.1f}", r["lastTime"]]
                for r in t["recordTypes"]], numeric=(0, 1, 2, 3)),
        "<h3>Devices</h3>",
        _table(["Device", "Enumerator", "Files", "Frames", "Bytes", "First time", "Last time", "Gaps", "Overlaps",
                "Ping gaps", "Duplicated records"],
               [[d["device"], d["enumerator"], d["files"], d["frames"], d["bytes"], d["firstTime"], d["lastTime"],
                 *next(([len(c["gaps"]), len(c["overlaps"]), len(c["pingGaps"]), c["duplicateCount"]]
                        for c in report["continuity"]
                        if (c["device"], c["enumerator"]) == (d["device"], d["enumerator"])), ["", "", "", ""])]
                for d in t["devices"]], numeric=(0, 1, 2, 3, 4, 7, 8, 9, 10)),
    ]
    if "rules" in report:
        parts.append(f"<h2>Rules of {escape(report['rules']['profile'])}</h2>")
        parts.append(_table(["Rule", "Severity", "Files failing", "Passing", "Not evaluated", "Failures",
                             "First failing file", "Row", "Text"],
                            [[r["rule"], r["severity"], r["filesFailing"], r["filesPassing"], r["filesNotEvaluated"],
                              r["failures"], r["firstFailingFile"] or "", "" if r["firstFailingRow"] is None
                              else r["firstFailingRow"], r["firstFailingText"] or ""]
                             for r in report["rules"]["rules"]], numeric=(2, 3, 4, 5, 7)))
    parts.append("<h2>Problems by kind</h2>")
    groups = problem_groups(report)
    if not groups:
        parts.append("<p>None.</p>")
    for kind, items in groups:
        parts.append(f'<h3 id="kind-{escape(kind.replace(" ", "-"))}">{escape(kind)} ({len(items)})</h3>')
        parts.append(_table(["File", "Frame", "Byte offset", "Text"], items, numeric=(1, 2)))
    parts.append("<h2>Timelines</h2>")
    for c in report["continuity"]:
        parts.append(f'<h3>Device {c["device"]}, enumerator {c["enumerator"]}: {_count(c["files"], "file")} '
                     f'(blue), {_count(len(c["gaps"]), "gap")} (red), {_count(len(c["overlaps"]), "overlap")} '
                     f'(orange)</h3>')
        parts.append(f"<p>{timeline_svg(c)}</p>")
    if rates:
        parts.append("<h2>Record rates</h2>")
        for name in sorted(rates):
            parts.append(f"<h3>{escape(name)}</h3>")
            parts.append(f"<p>{rate_svg(name, rates[name])}</p>")
    parts.append("<h2>Files</h2>")
    rows = []
    for f in report["files"]:
        verdict = ("unreadable" if not f.get("readable") else "clean" if f.get("clean") else "problems")
        if f.get("status") != "checked":
            verdict += f" ({f['status']})"
        rows.append([f["file"], f.get("frames"), f.get("bytes"), f.get("firstTime"), f.get("lastTime"),
                     " ".join(f"{d['device']}/{d['enumerator']}" for d in f.get("devices", [])), verdict,
                     f.get("problemCount")])
    listed = {f["file"] for f in report["files"]}
    for u in report["unreadable"]:
        if u["file"] not in listed:
            rows.append([u["file"], None, None, None, None, "", "unreadable", None])
    parts.append(_table(["File", "Frames", "Bytes", "First time", "Last time", "Devices", "Verdict", "Problems"],
                        rows, numeric=(1, 2, 7)))
    parts.append("</body></html>")
    return "\n".join(parts) + "\n"
