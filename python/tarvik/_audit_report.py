"""The archive audit's report as one self-contained HTML page: a summary, the
files, the problems grouped by kind with the file and position of each, and a
timeline picture per device (matplotlib, embedded as PNG data)."""

from __future__ import annotations

import base64
import datetime as _dt
import io
from html import escape

_STYLE = """
body { font-family: sans-serif; margin: 1.5em; color: #222; }
table { border-collapse: collapse; margin-bottom: 1.2em; }
th, td { border: 1px solid #bbb; padding: 2px 8px; text-align: left; font-size: 90%; }
th { background: #eee; }
td.n { text-align: right; }
.clean { color: #176d17; } .bad { color: #b00; }
img { max-width: 100%; border: 1px solid #ccc; }
"""

# The kinds of finding between files, after check's own kinds.
_ARCHIVE_KINDS = ("gap", "overlap", "ping gap across files", "duplicated record", "unreadable",
                  "changed during the audit", "not checked")


def _ns(text):
    return _dt.datetime.strptime(text, "%m/%d/%Y %H:%M:%S.%f")


def timeline_png(device):
    """A PNG of one device's files as bars on a time axis, gaps in red and
    overlaps in orange."""
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.dates as mdates
    import matplotlib.pyplot as plt

    files = device["timeline"]
    fig, ax = plt.subplots(figsize=(10, 1.8), dpi=90)
    try:
        for i, f in enumerate(files):
            start, end = _ns(f["firstTime"]), _ns(f["lastTime"])
            width = max(mdates.date2num(end) - mdates.date2num(start), 1e-9)
            ax.broken_barh([(mdates.date2num(start), width)], (i % 2, 0.8), facecolors="#4a7ab8")
        for g in device["gaps"]:
            ax.axvspan(_ns(g["from"]), _ns(g["to"]), color="#d62728", alpha=0.35, lw=0)
        for o in device["overlaps"]:
            ax.axvspan(_ns(o["from"]), _ns(o["to"]), color="#ff9f1c", alpha=0.6, lw=0)
        ax.set_yticks([])
        ax.set_ylim(-0.2, 2.0)
        ax.xaxis.set_major_formatter(mdates.DateFormatter("%H:%M:%S"))
        ax.set_title(f"device {device['device']}, enumerator {device['enumerator']}: {device['files']} files "
                     f"(blue), {len(device['gaps'])} gaps (red), {len(device['overlaps'])} overlaps (orange)",
                     fontsize=9)
        ax.tick_params(labelsize=8)
        fig.tight_layout()
        out = io.BytesIO()
        fig.savefig(out, format="png")
        return out.getvalue()
    finally:
        plt.close(fig)


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


def html_page(report):
    t = report["totals"]
    verdict = ('<span class="clean">clean</span>' if report["clean"]
               else '<span class="bad">problems found</span>')
    parts = [
        "<!DOCTYPE html>",
        '<html lang="en"><head><meta charset="utf-8"><title>Archive audit</title>',
        f"<style>{_STYLE}</style></head><body>",
        f"<h1>Archive audit: {verdict}</h1>",
        "<p>" + escape(", ".join(report["paths"])) + f" &mdash; {report['workers']} workers, "
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
    parts.append("<h2>Problems by kind</h2>")
    groups = problem_groups(report)
    if not groups:
        parts.append("<p>None.</p>")
    for kind, items in groups:
        parts.append(f'<h3 id="kind-{escape(kind.replace(" ", "-"))}">{escape(kind)} ({len(items)})</h3>')
        parts.append(_table(["File", "Frame", "Byte offset", "Text"], items, numeric=(1, 2)))
    parts.append("<h2>Timelines</h2>")
    for c in report["continuity"]:
        png = base64.b64encode(timeline_png(c)).decode("ascii")
        alt = f"timeline of device {c['device']}, enumerator {c['enumerator']}"
        parts.append(f'<h3>Device {c["device"]}, enumerator {c["enumerator"]}</h3>')
        parts.append(f'<p><img class="timeline" alt="{escape(alt)}" src="data:image/png;base64,{png}"></p>')
    parts.append("<h2>Files</h2>")
    rows = []
    for f in report["files"]:
        verdict = ("unreadable" if not f.get("readable") else "clean" if f.get("clean") else "problems")
        if f.get("status") != "checked":
            verdict += f" ({f['status']})"
        rows.append([f["file"], f.get("frames"), f.get("bytes"), f.get("firstTime"), f.get("lastTime"),
                     " ".join(f"{d['device']}/{d['enumerator']}" for d in f.get("devices", [])), verdict,
                     f.get("problemCount")])
    for u in report["unreadable"]:
        if not any(u["file"] == f["file"] for f in report["files"]):
            rows.append([u["file"], None, None, None, None, "", "unreadable", None])
    parts.append(_table(["File", "Frames", "Bytes", "First time", "Last time", "Devices", "Verdict", "Problems"],
                        rows, numeric=(1, 2, 7)))
    parts.append("</body></html>")
    return "\n".join(parts) + "\n"
