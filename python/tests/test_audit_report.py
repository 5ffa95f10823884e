"""The audit's reduction and its HTML page, on reports made here: the
continuity of many overlapping files, the timeline picture (also in a real
browser where one is installed), names that are not UTF-8, and the outputs
that must never replace what the audit found."""

import json
import os
import shutil
import stat
import subprocess
import tempfile
import time
import xml.etree.ElementTree as ET

import pytest

from tarvik import audit
from tarvik._audit_report import html_page, timeline_svg

SVG = "{http://www.w3.org/2000/svg}"
S = 10**9
T0 = 1_709_622_249_125_000_000  # 03/05/2024 07:04:09.125


def doc(name, first, last, device=7125, interval=0.5):
    """A file's document as check_file returns it, reduced to what the continuity reads."""
    return {"file": name, "readable": True, "pings": [],
            "devices": [{"device": device, "enumerator": 0, "first": first, "last": last, "interval": interval,
                         "frames": 20, "bytes": 2000}]}


def test_overlapping_files_take_time_in_proportion():
    # Every file holds the same instant (one-record files sharing a time stamp), then a few in a row.
    n = 5000
    files = [doc(f"/a/{i:05d}.vxr", T0, T0) for i in range(n)]
    files += [doc(f"/b/{i}.vxr", T0 + (10 + 10 * i) * S, T0 + (11 + 10 * i) * S) for i in range(3)]
    started = time.monotonic()
    (c,), searches = audit._continuity(files, audit.GAP_SECONDS)
    elapsed = time.monotonic() - started
    assert elapsed < 10, elapsed  # all pairs (12.5 million) took minutes
    # One overlap per file that starts before an earlier one ends, with the earlier file that runs longest.
    assert len(c["overlaps"]) == n - 1
    assert all(o["before"] == "/a/00000.vxr" and o["seconds"] == 0 for o in c["overlaps"])
    assert [(g["before"], g["after"]) for g in c["gaps"]] == [("/a/00000.vxr", "/b/0.vxr"), ("/b/0.vxr", "/b/1.vxr"),
                                                                ("/b/1.vxr", "/b/2.vxr")]
    # Only the overlapping files are searched for duplicates, each at the shared instant.
    ((key, searched),) = searches
    assert key == (7125, 0) and len(searched) == n and all(w == [(T0, T0)] for _, w in searched)


def test_shared_windows_cover_every_time_two_files_hold():
    entries = sorted([(0, 10, "a"), (2, 3, "b"), (8, 20, "c"), (25, 30, "d"), (30, 31, "e"), (40, 50, "f")])
    shared = audit._shared_times(entries)
    assert shared == [(2, 3), (8, 10), (30, 30)]
    assert audit._windows(shared, 0, 10) == [(2, 3), (8, 10)]
    assert audit._windows(shared, 8, 20) == [(8, 10)]
    assert audit._windows(shared, 31, 31) == []
    assert audit._windows(shared, 40, 50) == []
    # Duplicates: each frame matched with the first file (in timeline order) that holds it.
    row = lambda i, digest, t: (i, 100 * i, 7000, t, 42, digest)  # noqa: E731
    dups = audit._match_duplicates([("a", [row(0, 1, 8), row(1, 2, 9)]), ("c", [row(0, 1, 8), row(1, 3, 9)]),
                                    ("x", [row(5, 1, 8)])])
    assert [(d["first"]["file"], d["second"]["file"], d["second"]["index"]) for d in dups] == [("a", "c", 0),
                                                                                                ("a", "x", 5)]


def tick_labels(svg):
    root = ET.fromstring(svg)
    return ["\n".join(t.text for t in text) for text in root.iter(f"{SVG}text") if text.get("class") == "tick"]


def device(timeline, gaps=(), overlaps=()):
    t = audit.time_text
    return {"device": 7125, "enumerator": 0, "files": len(timeline),
            "timeline": [{"file": n, "firstTime": t(a), "lastTime": t(b)} for n, a, b in timeline],
            "gaps": [{"before": "", "after": "", "from": t(a), "to": t(b)} for a, b in gaps],
            "overlaps": [{"before": "", "after": "", "from": t(a), "to": t(b)} for a, b in overlaps]}


@pytest.mark.parametrize("span", [0, S // 2, 40 * S, 3 * 3600 * S, 9 * 86400 * S])
def test_timeline_ticks_give_dates_and_times_that_differ(span):
    svg = timeline_svg(device([("a.vxr", T0, T0 + span // 3), ("b.vxr", T0 + span // 2, T0 + span)]))
    labels = tick_labels(svg)
    assert len(labels) >= 3 and len(set(labels)) == len(labels), labels
    assert all(label.startswith("2024-03-") for label in labels), labels


def test_timeline_keeps_files_and_gaps_apart():
    # Five short files, then a long gap and one more: every file has a bar of its own, and the
    # gap's bar covers none of them.
    files = [(f"{i}.vxr", T0 + i * S // 10, T0 + i * S // 10) for i in range(5)] + [("late.vxr", T0 + 600 * S,
                                                                                     T0 + 601 * S)]
    root = ET.fromstring(timeline_svg(device(files, gaps=[(T0 + S // 2, T0 + 600 * S)])))
    rects = {kind: [r for r in root.iter(f"{SVG}rect") if r.get("class") == kind] for kind in ("files", "gaps")}
    assert len(rects["gaps"]) == 1 and len(rects["files"]) >= 2
    gap_rows = {r.get("y") for r in rects["gaps"]}
    assert all(r.get("y") not in gap_rows and float(r.get("width")) >= 2 for r in rects["files"])
    # The five close files, drawn where they touch as one bar per row, still count five.
    counted = sum(1 if "files" not in r.find(f"{SVG}title").text else int(r.find(f"{SVG}title").text.split()[0])
                  for r in rects["files"])
    assert counted == 6


def small_report(tmp_path, name="a.vxr"):
    """A report of two files of one device with a gap, as audit() makes it."""
    files = [doc(str(tmp_path / name), T0, T0 + 10 * S), doc(str(tmp_path / "b.vxr"), T0 + 40 * S, T0 + 50 * S)]
    for f in files:
        f.update(frames=20, bytes=2000, clean=True, problemCount=0, problems=[], recordTypes=[], status="checked",
                 firstTime=audit.time_text(f["devices"][0]["first"]), lastTime=audit.time_text(f["devices"][0]["last"]))
    continuity, _ = audit._continuity(files, 1.0)
    for c in continuity:
        for t in c["timeline"]:
            t.pop("first"), t.pop("last")
    return {"paths": [str(tmp_path)], "clean": False, "gapSeconds": 1.0, "elapsedSeconds": 0.1, "workers": 1,
            "totals": audit._totals(files), "files": files, "continuity": continuity, "unreadable": [],
            "changed": [], "missing": []}


def test_summary_counts_in_words():
    report = {"totals": {"files": 1, "readableFiles": 1, "cleanFiles": 1, "frames": 1, "bytes": 100,
                         "firstTime": None, "lastTime": None, "problems": [{"kind": "checksum", "count": 1,
                                                                            "files": 1}]},
              "continuity": [{"device": 1, "enumerator": 0, "files": 1, "gaps": [{}], "overlaps": [],
                              "pingGaps": [{}, {}], "duplicateCount": 1}],
              "unreadable": [{"file": "x\x1b[2J\nlost.vxr", "error": "gone"}], "changed": [], "missing": [],
              "clean": False}
    lines = audit.summary_lines(report)
    assert lines[0] == "1 file, 1 readable, 1 clean: 1 frame, 100 bytes"
    assert lines[1] == "  checksum: 1 in 1 file"
    assert lines[2] == "  device 1/0: 1 file, 1 gap, 0 overlaps, 2 ping gaps, 1 duplicated record"
    assert lines[3] == "  cannot be read: x\\x1b[2J\\nlost.vxr: gone"


def test_names_that_are_not_utf8_are_shown_escaped():
    name = os.fsdecode(b"/a/survey-\xff\xfe.vxr")
    assert audit.shown_name(name) == "/a/survey-\\xff\\xfe.vxr"
    assert audit.shown_name("/a/plain-\u00e9.vxr") == "/a/plain-\u00e9.vxr"
    assert audit.shown_name("\ud800") == "\\ud800"
    assert audit._shown({"files": [{"file": name, "n": 3}]}) == {"files": [{"file": "/a/survey-\\xff\\xfe.vxr",
                                                                           "n": 3}]}


def test_outputs_never_replace_what_the_audit_found(tmp_path):
    archive = tmp_path / "archive"
    archive.mkdir()
    record = archive / "a.vxr"
    record.write_bytes(b"record")
    fifo = archive / "pipe.vxr"
    os.mkfifo(fifo)
    os.symlink(archive / "nowhere.vxr", archive / "lost.vxr")
    inputs = [str(record), str(fifo), str(archive / "lost.vxr")]
    # A found file under another name, a pipe, a name that leads nowhere, a device node: all kept.
    os.link(record, tmp_path / "same.vxr")
    for target in (record, tmp_path / "same.vxr", fifo, archive / "lost.vxr", "/dev/null", archive):
        with pytest.raises(FileExistsError):
            audit.write_whole(str(target), "{}", True, inputs)
    assert record.read_bytes() == b"record" and stat.S_ISFIFO(os.lstat(fifo).st_mode)
    assert os.path.islink(archive / "lost.vxr") and stat.S_ISCHR(os.stat("/dev/null").st_mode)
    assert sorted(os.listdir(archive)) == ["a.vxr", "lost.vxr", "pipe.vxr"]  # no temporary file left
    out = tmp_path / "out.json"
    audit.write_whole(str(out), "{}", False, inputs)
    with pytest.raises(FileExistsError):
        audit.write_whole(str(out), "[]", False, inputs)
    audit.write_whole(str(out), "[]", True, inputs)
    assert out.read_text() == "[]"
    umask = os.umask(0o022)
    os.umask(umask)
    assert stat.S_IMODE(os.stat(out).st_mode) == 0o666 & ~umask


def chromium():
    for name in ("chromium", "chromium-browser"):
        found = shutil.which(name)
        if found:
            return found
    pytest.skip("chromium is not installed: the page is not checked in a browser")


def browse(page, *args):
    """Runs headless chromium on `page` with a profile of its own; returns its stdout."""
    # The browser runs as it would for a user: without the sanitizer runtime the
    # sanitized test run preloads into this interpreter (it hangs the browser).
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
    with tempfile.TemporaryDirectory() as profile:
        run = subprocess.run([chromium(), "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                              "--no-first-run", "--disable-background-networking", "--disable-component-update",
                              "--disable-sync", "--hide-scrollbars", f"--user-data-dir={profile}", *args,
                              page.as_uri()], capture_output=True, text=True, timeout=120, env=env)
    assert run.returncode == 0, run.stderr[-2000:]
    return run.stdout


def test_page_in_a_browser(tmp_path):
    from html.parser import HTMLParser

    from PIL import Image

    report = small_report(tmp_path, name=os.fsdecode(b"a-\xff.vxr"))
    report = audit._shown(report)
    page = tmp_path / "audit.html"
    page.write_text(html_page(report), encoding="utf-8")

    class Ticks(HTMLParser):
        def __init__(self):
            super().__init__()
            self.ticks, self.cells, self._in = [], [], None

        def handle_starttag(self, tag, attrs):
            if tag == "text" and ("class", "tick") in attrs:
                self._in = "tick"
                self.ticks.append("")
            elif tag == "td":
                self._in = "td"
                self.cells.append("")

        def handle_endtag(self, tag):
            if tag in ("text", "td"):
                self._in = None

        def handle_data(self, data):
            if self._in == "tick":
                self.ticks[-1] += data
            elif self._in == "td":
                self.cells[-1] += data

    dom = Ticks()
    dom.feed(browse(page, "--dump-dom"))
    assert len(dom.ticks) >= 3 and len(set(dom.ticks)) == len(dom.ticks), dom.ticks
    assert all("2024-03-05" in t for t in dom.ticks), dom.ticks
    assert str(tmp_path / "a-\\xff.vxr") in dom.cells
    # The page as drawn: the file bars (blue) and the gap (red) are there in pixels.
    shot = tmp_path / "shot.png"
    browse(page, "--window-size=1200,2400", f"--screenshot={shot}")
    pixels = Image.open(shot).convert("RGB").getdata()

    def count(colour):
        rgb = tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))
        return sum(1 for p in pixels if all(abs(a - b) <= 8 for a, b in zip(p, rgb)))

    assert count("#4a7ab8") > 200 and count("#d62728") > 200
