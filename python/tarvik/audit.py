"""Audits a whole archive of record files on a Dask cluster.

    tarvik-audit PATH... [--scheduler ADDRESS] [--workers N] [--json OUT.json]
                         [--html OUT.html] [--layouts DIR] [--gap SECONDS] [--force]

(tarvik-audit runs this module with the interpreter the build found:
/usr/bin/python3 -m tarvik.audit.)

Every record file (*.vxr) and capture (*.pcap, *.pcapng) under the given
folders is checked by :func:`tarvik.check` as one Dask task; the results,
plain dicts, are reduced here: totals per record type and per device, the
continuity of each device's records from one file to the next (time gaps,
overlaps, ping numbers skipped across a file boundary, the same record in two
files) and the files that could not be read. Without ``--scheduler`` a
``LocalCluster`` of worker processes runs on this machine.

From Python::

    from tarvik import audit
    report = audit.run(["/data/survey"], workers=2)
    audit.exit_status(report)
"""

from __future__ import annotations

import argparse
import bisect
import datetime as _dt
import json
import logging
import os
import stat
import sys
import time

SUFFIXES = (".vxr", ".pcap", ".pcapng")

# How many findings of one kind are listed per file pair or device (the rest are counted),
# as check lists the first 20 problems of each kind.
KEEP = 20

# Two files of a device are apart by a gap when the time between them is
# longer than this, and longer than GAP_INTERVALS of the device's usual
# (median) time between records.
GAP_SECONDS = 1.0
GAP_INTERVALS = 5

# A task checks whole files, several small ones together up to this many bytes
# or files. Each task takes 1 / (BATCH_SHARE x workers) of the bytes still
# left, and no less than 1 / (BATCH_FLOOR x workers) of all of them.
BATCH_BYTES = 256 << 20
BATCH_FILES = 64
BATCH_SHARE = 2
BATCH_FLOOR = 32

# The results of finished tasks are fetched from the workers in about this many goes; results
# that have waited GATHER_SECONDS are fetched when the next task ends.
GATHER_GROUPS = 4
GATHER_SECONDS = 1.0

EXIT_CLEAN, EXIT_PROBLEMS, EXIT_UNUSABLE = 0, 1, 2

# The command's name in its messages (the launcher the build installs).
PROGRAM = "tarvik-audit"


# ---------------------------------------------------------------------------
# Finding the files

def find_files(paths):
    """The record files and captures under `paths` as (path, size, mtime_ns),
    sorted, and the paths that cannot be audited as {"file", "error"}.

    A path given by name is taken whatever its suffix; in folders only the
    known suffixes are. Only regular files are opened: a pipe or a device
    named like a record file would block or never end. Paths are str (a name
    that is not UTF-8 as os.fsdecode makes it, so that it opens again).
    """
    found, unreadable, seen = [], [], set()

    def take(path, named):
        try:
            st = os.stat(path)
        except OSError as e:
            unreadable.append({"file": path, "error": e.strerror or str(e)})
            return
        if stat.S_ISDIR(st.st_mode) and named:
            walk(path)
            return
        if not stat.S_ISREG(st.st_mode):
            unreadable.append({"file": path, "error": "not a regular file"})
            return
        key = (st.st_dev, st.st_ino)
        if key in seen:
            return
        seen.add(key)
        found.append((path, st.st_size, st.st_mtime_ns))

    def walk(folder):
        def failed(e):
            unreadable.append({"file": e.filename or folder, "error": e.strerror or str(e)})

        for root, dirs, names in os.walk(folder, onerror=failed):
            dirs.sort()
            for name in sorted(names):
                if name.lower().endswith(SUFFIXES):
                    take(os.path.join(root, name), False)

    for p in paths:
        take(os.fsdecode(p), True)
    found.sort()
    return found, unreadable


# ---------------------------------------------------------------------------
# The tasks (run on the workers: plain arguments in, plain dicts out)

def check_file(path, size, mtime_ns, layouts=None):
    """Checks one file: the ``check --json`` document, with what the reduction
    needs besides (devices, ping numbers at both ends) and whether the file
    stayed as it was found (``status``: checked, changed or disappeared)."""
    from tarvik import _tarvik

    path = os.fsdecode(path)

    def gone(e):
        return {"file": path, "readable": False, "error": e.strerror or str(e), "status": "disappeared"}

    try:
        before = os.stat(path)
    except OSError as e:
        return gone(e)
    facts = _tarvik.audit_file(path, layouts)
    doc = facts["check"]
    doc["status"] = "checked"
    doc["devices"], doc["pings"] = facts["devices"], facts["pings"]
    if doc.get("readable"):
        doc["rate"] = record_rate(path, layouts)
    try:
        after = os.stat(path)
    except OSError as e:
        return gone(e)
    found = (size, mtime_ns)
    if (before.st_size, before.st_mtime_ns) != found or (after.st_size, after.st_mtime_ns) != found:
        doc["status"] = "changed"
        doc["statusText"] = (f"found with {size} bytes, {after.st_size} bytes after the check"
                             if after.st_size != size else "modified while the audit ran")
    return doc


# The points of a file's rate plot in the HTML page, at most.
RATE_POINTS = 300


def record_rate(path, layouts=None):
    """A file's records per second, the ``rate`` series of ``tarvik-cli plot``,
    as at most RATE_POINTS [seconds since 1970, records per second] pairs
    (neighbouring seconds averaged); [] when it cannot be read."""
    import tarvik

    try:
        s = tarvik.open(path, layouts=layouts).series("rate")[0]
    except (OSError, ValueError):
        return []
    x, y = s["x"], s["y"]
    step = max(1, -(-len(x) // RATE_POINTS))
    return [[float(x[i]), float(y[i:i + step].mean())] for i in range(0, len(x), step)]


class Checked:
    """What a task returns: the documents of its files (``docs``), as one
    object to the engine. A list of dicts would be walked to the last string
    to estimate its memory and serialized element by element, at a cost
    beside the check's own that grows with every field of the documents."""

    __slots__ = ("docs",)

    # An estimate of a document's memory (it holds a few kilobytes of small objects).
    DOC_BYTES = 4096

    def __init__(self, docs):
        self.docs = docs

    def __sizeof__(self):
        return 64 + self.DOC_BYTES * len(self.docs)

    def __reduce__(self):
        return (Checked, (self.docs,))


def check_and_count(path, size, mtime_ns, layouts=None, where=None, file_task=check_file):
    """``file_task``, and how many records of the file pass the expression
    ``where`` (``whereMatches``, when the file could be read)."""
    doc = file_task(path, size, mtime_ns, layouts)
    if where is not None and doc.get("readable") and doc.get("status") == "checked":
        import tarvik

        try:
            doc["whereMatches"] = len(tarvik.open(os.fsdecode(path), layouts=layouts)._matching(where))
        except (OSError, ValueError) as e:  # gone since the check, or a layout the expression names is not there
            doc["whereError"] = str(e)
    return doc


def check_and_judge(path, size, mtime_ns, layouts=None, profile=None, file_task=check_file):
    """``file_task``, and the verdicts of the test profile ``profile`` over the
    file (``profileRules``, as tarvik.expect gives them, when it could be read)."""
    doc = file_task(path, size, mtime_ns, layouts)
    if profile is not None and doc.get("readable") and doc.get("status") == "checked":
        import tarvik

        try:
            doc["profileRules"] = tarvik.expect(os.fsdecode(path), profile, layouts)
        except (OSError, ValueError) as e:  # gone since the check
            doc["profileError"] = str(e)
    return doc


def _rules_table(profile, files, missing):
    """Per rule of the profile: the files it failed in, was not evaluated in,
    and the first failing file and row (the files in the order found)."""
    rules = {}
    verdicts = []
    for f in files:
        judged, error = f.pop("profileRules", None), f.pop("profileError", None)
        if error is not None:
            missing.append({"file": f["file"], "error": f"--profile not judged: {error}"})
        if judged is None:
            continue
        verdicts.append({"file": f["file"], "rules": judged})
        for r in judged:
            entry = rules.setdefault(r["rule"], {"rule": r["rule"], "kind": r["kind"], "severity": r["severity"],
                                                 "filesFailing": 0, "filesPassing": 0, "filesNotEvaluated": 0,
                                                 "failures": 0, "firstFailingFile": None, "firstFailingRow": None,
                                                 "firstFailingText": None})
            if r["outcome"] == "failed":
                entry["filesFailing"] += 1
                entry["failures"] += r["failures"]
                if entry["firstFailingFile"] is None:
                    entry["firstFailingFile"] = f["file"]
                    if r["rows"]:
                        entry["firstFailingRow"], entry["firstFailingText"] = r["rows"][0]["row"], r["rows"][0]["text"]
            elif r["outcome"] == "passed":
                entry["filesPassing"] += 1
            else:
                entry["filesNotEvaluated"] += 1
    return {"profile": profile, "rules": list(rules.values()), "verdicts": verdicts}


def junit_xml(rules):
    """The profile's verdicts over the archive as JUnit XML: a test suite per
    file, a test case per rule (a failed error rule is a failure, a rule not
    evaluated is skipped), as tarvik-cli expect --junit writes them."""
    import xml.etree.ElementTree as ET

    root = ET.Element("testsuites", name=str(rules["profile"]))
    totals = {"tests": 0, "failures": 0, "skipped": 0}
    for v in rules["verdicts"]:
        suite = ET.SubElement(root, "testsuite", name=shown_name(v["file"]))
        counts = {"tests": 0, "failures": 0, "skipped": 0}
        for r in v["rules"]:
            case = ET.SubElement(suite, "testcase", classname=str(rules["profile"]), name=r["rule"])
            counts["tests"] += 1
            rows = "".join(f"row {row['row']}: {row['text']}\n" for row in r["rows"])
            if r["outcome"] == "failed" and r["severity"] == "error":
                counts["failures"] += 1
                ET.SubElement(case, "failure", message=f"{r['failures']} failures", type=r["kind"]).text = rows
            elif r["outcome"] == "not_evaluated":
                counts["skipped"] += 1
                ET.SubElement(case, "skipped", message=f"not evaluated: {r['note']}")
            elif rows or r["outcome"] == "failed":
                head = f"warning: {r['failures']} failures\n" if r["outcome"] == "failed" else ""
                ET.SubElement(case, "system-out").text = head + rows
        for k, n in counts.items():
            suite.set(k, str(n))
            totals[k] += n
        suite.set("errors", "0")
    for k, n in totals.items():
        root.set(k, str(n))
    root.set("errors", "0")
    return '<?xml version="1.0" encoding="UTF-8"?>\n' + ET.tostring(root, encoding="unicode") + "\n"


def check_files(batch, layouts=None, file_task=check_file):
    """Checks a batch of files, [(path, size, mtime_ns)], one after the other."""
    return Checked([file_task(path, size, mtime, layouts) for path, size, mtime in batch])


def batches(found, workers):
    """The files in tasks, the largest files first, small files together.

    A task must be worth its round trip through the scheduler (a few
    milliseconds, as long as checking a few megabytes), and the workers must
    finish together: the first tasks are long, each later one takes a share
    of what is left, so that the last ones to run are short and a worker that
    ends early waits at most for a short task of another."""
    files = sorted(found, key=lambda f: (-f[1], f[0]))
    remaining = sum(size for _, size, _ in files)
    floor = remaining // (BATCH_FLOOR * workers)
    out, batch, held, target = [], [], 0, 1
    for f in files:
        if not batch:
            target = max(1, min(BATCH_BYTES, max(floor, remaining // (BATCH_SHARE * workers))))
        batch.append(f)
        held += f[1]
        if held >= target or len(batch) >= BATCH_FILES:
            out.append(batch)
            remaining -= held
            batch, held = [], 0
    if batch:
        out.append(batch)
    return out


def _submit(client, tasks, layouts, file_task):
    """The batches as tasks, run in the order given. All in one graph: each
    graph sent costs the client a look at the source of the function that
    sends it (for the scheduler's records) and the scheduler a round of its
    own, milliseconds each; a small function of its own keeps that look short."""
    futures = client.map(check_files, tasks, layouts=layouts, file_task=file_task, pure=False)
    return dict(zip(futures, tasks))


def frame_digests(path, device, enumerator, windows):
    """The frames of one device dated within the time windows [(first ns,
    last ns), ...]: (index, offset, record type, time ns, record counter,
    digest of the bytes)."""
    from tarvik import _tarvik

    return [tuple(r) for r in _tarvik.frame_digests(path, device, enumerator, windows)]


def digest_files(batch):
    """frame_digests of each (path, device, enumerator, windows) of `batch`,
    in one call into the module; a file that cannot be read (gone since it was
    checked) gives the reason, a str, instead of rows."""
    from tarvik import _tarvik

    return [r if isinstance(r, str) else [tuple(row) for row in r] for r in _tarvik.frame_digests_many(batch)]


def _digest_searches(client, searches):
    """The rows of every (device, file) of `searches`, as {(key, file): rows or
    the reason they are missing}, in tasks of several files (a task per file
    would cost the scheduler more than the digests when files are small)."""
    wanted = [(name, key[0], key[1], windows) for key, files in searches for name, windows in files]
    tasks = [wanted[i:i + BATCH_FILES] for i in range(0, len(wanted), BATCH_FILES)]
    futures = client.map(digest_files, tasks, pure=False)
    try:  # in one go: a fetch per task is a round trip each
        fetched = client.gather(futures)
    except Exception:  # noqa: BLE001 - one of them failed: each on its own below
        fetched = [None] * len(futures)
    out = {}
    for task, future, rows in zip(tasks, futures, fetched):
        if rows is None:
            try:
                rows = future.result()
            except Exception as e:  # noqa: BLE001 - a task whose worker died each time
                rows = [f"{type(e).__name__}: {e}"] * len(task)
        for (name, device, enumerator, _), r in zip(task, rows):
            out[((device, enumerator), name)] = r
    return out


# ---------------------------------------------------------------------------
# Times as check prints them

def time_text(ns):
    """Nanoseconds since 1970 (UTC) as check writes times: 03/05/2024 07:04:09.125."""
    if ns is None:
        return None
    ms = (ns + 500_000) // 1_000_000
    t = _dt.datetime(1970, 1, 1) + _dt.timedelta(milliseconds=ms)
    return t.strftime("%m/%d/%Y %H:%M:%S.") + f"{ms % 1000:03d}"


_EPOCH = _dt.datetime(1970, 1, 1)
_day_ns = {}  # "MM/DD/YYYY" -> nanoseconds at its midnight; an archive's files share a few days


def _text_ns(text):
    """check's time text as nanoseconds since 1970 (None when it is not a time)."""
    if not text:
        return None
    try:
        if len(text) == 23 and text[2] == text[5] == "/" and text[13] == text[16] == ":" and text[19] == ".":
            # check's own form, read without strptime: a report of many files has many of them.
            day = text[:10]
            midnight = _day_ns.get(day)
            if midnight is None:
                midnight = _day_ns[day] = int((_dt.datetime(int(text[6:10]), int(text[0:2]), int(text[3:5]))
                                               - _EPOCH).total_seconds()) * 10**9
            h, m, sec, ms = int(text[11:13]), int(text[14:16]), int(text[17:19]), int(text[20:23])
            if h > 23 or m > 59 or sec > 59 or min(h, m, sec, ms) < 0:
                return None
            return midnight + ((h * 60 + m) * 60 + sec) * 10**9 + ms * 10**6
        t = _dt.datetime.strptime(text, "%m/%d/%Y %H:%M:%S.%f")
    except ValueError:
        return None
    return int((t - _EPOCH) / _dt.timedelta(microseconds=1)) * 1000


# ---------------------------------------------------------------------------
# Names as the report shows them

def shown_name(text):
    """A name as the report shows it: the bytes of a name that are not UTF-8
    (os.fsdecode's surrogate escapes) as \\xNN, so that the JSON and HTML
    outputs stay valid UTF-8."""
    try:
        text.encode("utf-8")
        return text
    except UnicodeEncodeError:
        try:
            return text.encode("utf-8", "surrogateescape").decode("utf-8", "backslashreplace")
        except UnicodeEncodeError:  # a surrogate that stands for no byte
            return text.encode("utf-8", "backslashreplace").decode("utf-8")


def _shown(value):
    """`value` (dicts, lists, strings) with every string as shown_name shows it."""
    if isinstance(value, str):
        return shown_name(value)
    if isinstance(value, dict):
        return {k: _shown(v) for k, v in value.items()}
    if isinstance(value, list):
        return [_shown(v) for v in value]
    return value


def terminal_text(text):
    """A line for a terminal: control characters as \\n, \\t, \\x1b ..., so that a
    name can neither split the line nor reach the terminal as an escape sequence."""
    if text.isprintable():
        return text
    special = {"\n": "\\n", "\r": "\\r", "\t": "\\t"}
    return "".join(c if c.isprintable() or ord(c) > 0x9f else special.get(c, f"\\x{ord(c):02x}") for c in text)


def _plural(n, word, plural=None):
    """ "1 file", "2 files"."""
    return f"{n} {word if n == 1 else plural or word + 's'}"


# ---------------------------------------------------------------------------
# The reduction

def _totals(files):
    readable = [f for f in files if f.get("readable")]
    frames = sum(f["frames"] for f in readable)
    types, devices, kinds = {}, {}, {}
    for f in readable:
        for t in f.get("recordTypes", []):
            e = types.setdefault(t["recordType"], {"recordType": t["recordType"], "frames": 0, "bytes": 0,
                                                   "lastTime": None, "_last": None})
            e["frames"] += t["frames"]
            e["bytes"] += t["bytes"]
            ns = _text_ns(t["lastTime"])
            if ns is not None and (e["_last"] is None or ns > e["_last"]):
                e["_last"], e["lastTime"] = ns, t["lastTime"]
        for d in f.get("devices", []):
            e = devices.setdefault((d["device"], d["enumerator"]), {
                "device": d["device"], "enumerator": d["enumerator"], "files": 0, "frames": 0, "bytes": 0,
                "_first": None, "_last": None})
            e["files"] += 1
            e["frames"] += d["frames"]
            e["bytes"] += d["bytes"]
            if d["first"] is not None:
                e["_first"] = d["first"] if e["_first"] is None else min(e["_first"], d["first"])
                e["_last"] = d["last"] if e["_last"] is None else max(e["_last"], d["last"])
        for p in f.get("problems", []):
            e = kinds.setdefault(p["kind"], {"kind": p["kind"], "count": 0, "files": 0})
            e["count"] += p["count"]
            e["files"] += 1
    record_types = []
    for t in sorted(types):
        e = types[t]
        del e["_last"]
        e["share"] = 100.0 * e["frames"] / frames if frames else 0.0
        record_types.append({k: e[k] for k in ("recordType", "frames", "bytes", "share", "lastTime")})
    device_list = []
    for k in sorted(devices):
        e = devices.pop(k)
        e["firstTime"], e["lastTime"] = time_text(e.pop("_first")), time_text(e.pop("_last"))
        device_list.append(e)
    firsts = [ns for ns in (_text_ns(f.get("firstTime")) for f in readable) if ns is not None]
    lasts = [ns for ns in (_text_ns(f.get("lastTime")) for f in readable) if ns is not None]
    return {
        "files": len(files),
        "readableFiles": len(readable),
        "cleanFiles": sum(1 for f in readable if f.get("clean")),
        "bytes": sum(f.get("bytes", 0) for f in readable),
        "frames": frames,
        "firstTime": time_text(min(firsts)) if firsts else None,
        "lastTime": time_text(max(lasts)) if lasts else None,
        "recordTypes": record_types,
        "devices": device_list,
        "problemCount": sum(f.get("problemCount", 0) for f in readable),
        "problems": [kinds[k] for k in sorted(kinds)],
    }


def _shared_times(entries):
    """The times at which two or more of `entries` ((first, last, ...), by
    first) hold records, as sorted intervals apart from each other: a record
    two files hold lies in them. One sweep over the ends."""
    events = sorted([(e[0], 0) for e in entries] + [(e[1], 1) for e in entries])  # a start before an end at one time
    shared, held, since = [], 0, None
    for t, end in events:
        if end:
            if held == 2:
                shared.append((since, t))
            held -= 1
        else:
            held += 1
            if held == 2:
                since = t
    return shared


def _windows(shared, first, last):
    """The parts of the `shared` intervals within [first, last]."""
    out = []
    k = bisect.bisect_left(shared, (first,)) - 1
    for a, b in shared[max(k, 0):]:
        if a > last:
            break
        if b >= first:
            out.append((max(a, first), min(b, last)))
    return out


def _continuity(files, gap_seconds):
    """Per device: the files in time order with the gaps, overlaps and ping
    gaps between them, and the duplicate searches (returned apart): per
    device and file the time windows that other files of the device share.
    Sorting, then one pass: O(n log n) in the files, however they overlap."""
    per_device, pings = {}, {}
    for f in files:
        if not f.get("readable"):
            continue
        for d in f.get("devices", []):
            if d["first"] is not None:
                per_device.setdefault((d["device"], d["enumerator"]), []).append((d["first"], d["last"], f["file"], d))
        for p in f.get("pings", []):
            pings.setdefault((p["device"], p["enumerator"]), {}).setdefault(p["recordType"], {})[f["file"]] = p
    result, searches = [], []
    for key in sorted(per_device):
        entries = sorted(per_device[key], key=lambda e: (e[0], e[1], e[2]))
        gaps, overlaps, ping_gaps = [], [], []
        latest = None    # (end, file, interval) of the file that ends last so far
        for first, last, name, d in entries:
            if latest is not None:
                before_end, before_name, before_interval = latest
                if first > before_end:
                    seconds = (first - before_end) / 1e9
                    limit = max(gap_seconds, GAP_INTERVALS * max(before_interval, d["interval"]))
                    if seconds > limit:
                        gaps.append({"before": before_name, "after": name, "from": time_text(before_end),
                                     "to": time_text(first), "seconds": seconds})
                else:
                    # A file that starts before an earlier one ends: one overlap, with the
                    # earlier file that runs longest.
                    to = min(before_end, last)
                    overlaps.append({"before": before_name, "after": name, "from": time_text(first),
                                     "to": time_text(to), "seconds": (to - first) / 1e9})
            if latest is None or last > latest[0]:
                latest = (last, name, d["interval"])
        if overlaps:
            shared = _shared_times(entries)
            searches.append((key, [(name, w) for first, last, name, _ in entries
                                   for w in [_windows(shared, first, last)] if w]))
        order = [e[2] for e in entries]
        for rtype, by_file in sorted(pings.get(key, {}).items()):
            previous = None
            for name in order:
                p = by_file.get(name)
                if p is None:
                    continue
                if previous is not None:
                    before, after = previous["lastPing"], p["firstPing"]
                    # The record list's rule: a jump of 2 to 99 means 1 to 98 pings missing.
                    if before != 0 and (after - before - 2) % 2**32 <= 97:
                        ping_gaps.append({"recordType": rtype, "before": previous["_file"], "after": name,
                                          "lastPing": before, "firstPing": after, "missing": after - before - 1})
                previous = dict(p, _file=name)
        result.append({"device": key[0], "enumerator": key[1], "files": len(entries),
                       "firstTime": time_text(entries[0][0]), "lastTime": time_text(max(e[1] for e in entries)),
                       "timeline": [{"file": e[2], "firstTime": time_text(e[0]), "lastTime": time_text(e[1]),
                                     "first": e[0], "last": e[1]} for e in entries],
                       "gaps": gaps, "overlaps": overlaps, "pingGaps": ping_gaps,
                       "duplicateCount": 0, "duplicates": []})
    return result, searches


def _match_duplicates(digested):
    """The frames whose bytes a file earlier in the timeline holds too:
    `digested` is [(file, rows)] in timeline order; each such frame is matched
    with the first file that holds it. One pass, by digest."""
    first_seen, found = {}, []
    for name, rows in digested:
        for row in rows:
            key = (row[5], row[2], row[3], row[4])  # digest, record type, time, record counter
            other = first_seen.setdefault(key, (name, row))
            if other[0] != name:
                found.append({"recordType": row[2], "time": time_text(row[3]), "recordCounter": row[4],
                              "first": {"file": other[0], "index": other[1][0], "offset": other[1][1]},
                              "second": {"file": name, "index": row[0], "offset": row[1]}})
    return found


def exit_status(report):
    """0 clean, 1 problems found, 2 nothing readable (as check)."""
    if report["totals"]["readableFiles"] == 0:
        return EXIT_UNUSABLE
    return EXIT_CLEAN if report["clean"] else EXIT_PROBLEMS


class _Progress:
    """Files done of all and bytes per second, on one line of a terminal."""

    def __init__(self, total_files, stream):
        self.stream, self.total, self.done, self.bytes, self.start = stream, total_files, 0, 0, time.monotonic()
        self.shown = stream is not None

    def step(self, nbytes):
        self.done += 1
        self.bytes += nbytes
        if self.shown:
            rate = self.bytes / max(time.monotonic() - self.start, 1e-6)
            width = 30
            bar = "#" * (width * self.done // max(self.total, 1))
            self.stream.write(f"\r[{bar:<{width}}] {self.done} of {self.total} files, {_size(rate)}/s ")
            self.stream.flush()

    def end(self):
        if self.shown and self.total:
            self.stream.write("\n")
            self.stream.flush()


def _size(n):
    for unit in ("B", "kB", "MB", "GB", "TB"):
        if n < 1000 or unit == "TB":
            return f"{n:.0f} {unit}" if unit == "B" else f"{n:.1f} {unit}"
        n /= 1000


def _collect(client, done, futures, results):
    """The documents of the `done` tasks into `results` (by file), fetched in
    one go. Returns the tasks that failed: [(their files, the exception)]."""
    finished = [f for f in done if f.status == "finished"]
    try:
        fetched = client.gather(finished) if finished else []
    except Exception:  # noqa: BLE001 - one of them failed since: each on its own below
        fetched, finished = [], []
    finished = set(finished)
    for checked in fetched:
        for doc in checked.docs:
            results[doc["file"]] = doc
    failed = []
    for future in done:
        if future in finished:
            continue
        try:
            for doc in future.result().docs:
                results[doc["file"]] = doc
        except Exception as e:  # noqa: BLE001 - a task that never finished is reported, whatever killed it
            failed.append((futures[future], e))
    return failed


def _failure_text(e):
    """Why a file was not checked, for the report."""
    from distributed import KilledWorker

    if isinstance(e, KilledWorker):
        # Dask's own text names the task and the last worker, neither of which says anything here.
        return "KilledWorker: the worker process died each time this file was checked"
    return f"{type(e).__name__}: {e}"


def _run_tasks(client, tasks, layouts, file_task, results, bar=None):
    """Runs the tasks (lists of files), their documents into `results`;
    returns the tasks that failed, as _collect."""
    from distributed import as_completed

    if not tasks:
        return []
    futures = _submit(client, tasks, layouts, file_task)
    # Finished tasks' results stay on their workers until a few are fetched
    # together: a fetch is a round trip through the scheduler and two
    # messages with each worker. Not for long, though: the tasks whose
    # results a lost worker held are run again.
    group = max(1, -(-len(futures) // GATHER_GROUPS))
    waiting, since, failed = [], 0.0, []
    completed = as_completed(list(futures))
    for future in completed:
        if not waiting:
            since = time.monotonic()
        waiting.append(future)
        if bar is not None:
            for _, size, _ in futures[future]:
                bar.step(size)
        if len(waiting) >= group or time.monotonic() - since >= GATHER_SECONDS or completed.is_empty():
            failed += _collect(client, waiting, futures, results)
            waiting = []
    return failed + _collect(client, waiting, futures, results)


def audit(paths, client, layouts=None, gap_seconds=GAP_SECONDS, progress=None, file_task=check_file, inputs=None,
          where=None, profile=None, rates=None):
    """Audits the record files under `paths` on a Dask `client`; returns the
    report (see docs/audit.schema.json). `progress` is a stream for the
    progress bar (None: none). `file_task` is what runs per file (for wrapping).
    `inputs`, a list, gets every path the audit found, checked or not (what an
    output must never replace). Names that are not UTF-8 are shown escaped
    in the report (shown_name). `where`, an expression over fields (see
    docs/expressions.md), has the records it passes counted per file.
    `profile`, a test profile (a file or a built-in profile's name, see
    docs/profiles.md), is judged over each file on the workers; the report
    gains its rules table ("rules").
    `rates`, a dict, gets each readable file's records per second
    (record_rate) for the HTML page; the report itself does not hold them."""

    import functools

    from distributed import KilledWorker

    if where is not None:
        file_task = functools.partial(check_and_count, where=where, file_task=file_task)
    if profile is not None:
        file_task = functools.partial(check_and_judge, profile=os.fspath(profile), file_task=file_task)
    started = time.monotonic()
    found, unreadable = find_files(paths)
    if inputs is not None:
        inputs.extend([p for p, _, _ in found] + [u["file"] for u in unreadable])
    layouts = os.fspath(layouts) if layouts is not None else None
    bar = _Progress(len(found), progress)
    workers = len(client.scheduler_info().get("workers", {}))
    results = {}
    failed = _run_tasks(client, batches(found, workers or 1), layouts, file_task, results, bar)
    # A task that failed took the files checked with it; one whose workers died each time took
    # also the tasks waiting on those workers. Each of their files is checked again, one after
    # the other, so that only a file that fails alone is reported. (An error a file's own check
    # raised needs no second look.)
    again = [f for batch, e in failed if len(batch) > 1 or isinstance(e, KilledWorker) for f in batch]
    failed = [(batch, e) for batch, e in failed if len(batch) == 1 and not isinstance(e, KilledWorker)]
    for f in again:
        failed += _run_tasks(client, [[f]], layouts, file_task, results)
    missing = [{"file": path, "error": _failure_text(e)} for batch, e in failed for path, _, _ in batch]
    bar.end()

    files = [results[p] for p, _, _ in found if p in results]
    changed = [{"file": f["file"], "status": f["status"], "error": f.get("statusText") or f.get("error", "")}
               for f in files if f.get("status") != "checked"]
    for f in files:
        if not f.get("readable") and f.get("status") == "checked":
            unreadable.append({"file": f["file"], "error": f.get("error", "")})
    unreadable.sort(key=lambda u: u["file"])

    continuity, searches = _continuity(files, gap_seconds)
    by_device = {(c["device"], c["enumerator"]): c for c in continuity}
    digested = _digest_searches(client, searches)
    for key, searched in searches:
        rows = []
        for name, _ in searched:
            r = digested[(key, name)]
            if isinstance(r, str):
                missing.append({"file": name, "error": f"duplicates not searched: {r}"})
            else:
                rows.append((name, r))
        c = by_device[key]
        dups = _match_duplicates(rows)
        c["duplicateCount"] += len(dups)
        c["duplicates"].extend(dups[:KEEP])

    matched = None
    if where is not None:
        matched = {"expression": where, "matches": 0, "files": []}
        for f in files:
            n, error = f.pop("whereMatches", None), f.pop("whereError", None)
            if n is not None:
                matched["matches"] += n
                matched["files"].append({"file": f["file"], "matches": n})
            elif error is not None:
                missing.append({"file": f["file"], "error": f"--where not counted: {error}"})
    rules = _rules_table(os.fspath(profile), files, missing) if profile is not None else None
    totals = _totals(files)
    for f in files:
        rate = f.pop("rate", None)
        if rates is not None and rate:
            rates[shown_name(f["file"])] = rate  # named as the report names it
        f.pop("pings", None)
        for d in f.get("devices", []):
            d["firstTime"], d["lastTime"] = time_text(d.pop("first")), time_text(d.pop("last"))
            d["interval"] = round(d["interval"], 6)
    for c in continuity:
        for t in c["timeline"]:
            t.pop("first"), t.pop("last")

    findings = (totals["problemCount"] + len(unreadable) + len(changed) + len(missing) +
                sum(len(c["gaps"]) + len(c["overlaps"]) + len(c["pingGaps"]) + c["duplicateCount"]
                    for c in continuity) +
                (sum(r["filesFailing"] for r in rules["rules"] if r["severity"] == "error") if rules else 0))
    report = {
        "paths": [os.fsdecode(p) for p in paths],
        "clean": findings == 0 and totals["readableFiles"] > 0,
        "gapSeconds": gap_seconds,
        "elapsedSeconds": round(time.monotonic() - started, 3),
        "workers": workers,
        "totals": totals,
        "files": files,
        "continuity": continuity,
        "unreadable": unreadable,
        "changed": changed,
        "missing": missing,
    }
    if matched is not None:
        report["where"] = matched
    if rules is not None:
        report["rules"] = rules
    # Only a path can hold what is not UTF-8 (check's own texts are UTF-8).
    if any(shown_name(p) is not p for p in report["paths"] + [p for p, _, _ in found] + [u["file"] for u in unreadable]):
        report = _shown(report)
    return report


# What the processes of a LocalCluster do besides the tasks, made rarer: the
# workers' statistical profiler (a look at every thread's stack every 10 ms),
# the event loops' health checks, the system and memory monitors. They share
# the cores with the checks; an idle cluster of two workers took 12 % of a
# core with the defaults and 3 % with these.
LEAN_CONFIG = {
    "distributed.worker.profile.enabled": False,
    "distributed.admin.tick.interval": "200ms",
    "distributed.admin.system-monitor.interval": "2s",
    "distributed.worker.memory.monitor-interval": "1s",
}


def local_cluster(workers=None):
    """A LocalCluster of worker processes on this machine, one thread each
    (the check holds the interpreter lock only around its result), with
    LEAN_CONFIG. The scheduler's HTTP server (its dashboard, when Bokeh is
    installed) listens on a free port of the loopback interface: without an
    address it would take port 8787 on the listener's host."""
    import dask
    from distributed import LocalCluster

    # The worker processes take the configuration as it is when they are made.
    with dask.config.set(LEAN_CONFIG):
        return LocalCluster(n_workers=workers or os.cpu_count() or 1, threads_per_worker=1, processes=True,
                            host="127.0.0.1", dashboard_address="127.0.0.1:0", silence_logs=logging.ERROR)


def run(paths, scheduler=None, workers=None, **options):
    """Audits on the cluster at `scheduler`, or on a LocalCluster of `workers` processes."""
    from distributed import Client

    if scheduler:
        with Client(scheduler) as client:
            return audit(paths, client, **options)
    with local_cluster(workers) as cluster, Client(cluster) as client:
        return audit(paths, client, **options)


# ---------------------------------------------------------------------------
# Outputs

def _is_input(target, inputs):
    """Whether `target` names one of `inputs` (by name or as the same file)."""
    where = os.path.abspath(target)
    try:
        st = os.stat(target)
    except OSError:
        st = None
    for i in inputs:
        if os.path.abspath(i) == where:
            return True
        if st is not None:
            try:
                other = os.stat(i)
            except OSError:
                continue
            if (other.st_dev, other.st_ino) == (st.st_dev, st.st_ino):
                return True
    return False


def write_whole(target, text, force, inputs=()):
    """Writes a whole output file: a temporary file beside it, renamed in when
    complete. An existing file is kept unless `force`; an input (any path the
    audit found, checked or not) and what is not a regular file (a pipe, a
    device, a folder) never replaced."""
    if _is_input(target, inputs):
        raise FileExistsError(f"{shown_name(target)} is one of the audited paths: not replaced")
    if os.path.lexists(target):
        try:
            regular = stat.S_ISREG(os.stat(target).st_mode)
        except OSError:
            regular = True  # a link that leads nowhere: the link is replaced, nothing else
        if not regular:
            raise FileExistsError(f"{shown_name(target)} is not a regular file: not replaced")
        if not force:
            raise FileExistsError(f"{shown_name(target)} exists: not replaced (--force replaces it)")
    # The project's one writer of whole files: a new file gets the mode a plain
    # open() gives it, a replaced one keeps its own.
    from tarvik import _tarvik
    _tarvik.write_whole_file(os.fspath(target), text.encode("utf-8"), bool(force))


def summary_lines(report):
    t = report["totals"]
    lines = [f"{_plural(t['files'], 'file')}, {t['readableFiles']} readable, {t['cleanFiles']} clean: "
             f"{_plural(t['frames'], 'frame')}, {_plural(t['bytes'], 'byte')}"
             + (f", {t['firstTime']} to {t['lastTime']}" if t["firstTime"] else "")]
    for p in t["problems"]:
        lines.append(f"  {p['kind']}: {p['count']} in {_plural(p['files'], 'file')}")
    for c in report["continuity"]:
        parts = [_plural(len(c["gaps"]), "gap"), _plural(len(c["overlaps"]), "overlap"),
                 _plural(len(c["pingGaps"]), "ping gap"), _plural(c["duplicateCount"], "duplicated record")]
        lines.append(f"  device {c['device']}/{c['enumerator']}: {_plural(c['files'], 'file')}, {', '.join(parts)}")
    if "where" in report:
        w = report["where"]
        lines.append(f"  {_plural(w['matches'], 'record')} in {_plural(len(w['files']), 'file')} "
                     f"pass --where {w['expression']}")
    if "rules" in report:
        for r in report["rules"]["rules"]:
            if r["filesFailing"]:
                first = f"first {r['firstFailingFile']}" + (f" row {r['firstFailingRow']}"
                                                             if r["firstFailingRow"] is not None else "")
                lines.append(f"  rule {r['rule']} ({r['severity']}): fails in {_plural(r['filesFailing'], 'file')}, "
                             f"{first}")
            else:
                lines.append(f"  rule {r['rule']}: passes in {_plural(r['filesPassing'], 'file')}, not evaluated in "
                             f"{r['filesNotEvaluated']}")
    for u in report["unreadable"]:
        lines.append(f"  cannot be read: {u['file']}: {u['error']}")
    for u in report["changed"]:
        lines.append(f"  {u['status']} during the audit: {u['file']}: {u['error']}")
    for u in report["missing"]:
        lines.append(f"  not checked: {u['file']}: {u['error']}")
    lines.append("clean" if report["clean"] else "problems found")
    return [terminal_text(line) for line in lines]


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Check every record file and capture under the given folders on a Dask cluster, and "
                    "the continuity of each device's records from file to file.",
        epilog="Exit status: 0 clean, 1 problems found, 2 usage error or nothing readable.")
    parser.add_argument("paths", nargs="+", metavar="PATH", help="folders (searched for *.vxr, *.pcap, "
                        "*.pcapng) and files")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="a running Dask scheduler (tcp://HOST:PORT) "
                        "whose workers have tarvik and see the same paths; without it a LocalCluster")
    parser.add_argument("--workers", type=int, metavar="N", help="LocalCluster worker processes (default: "
                        "one per core)")
    parser.add_argument("--json", metavar="OUT.json", help="write the report as JSON")
    parser.add_argument("--html", metavar="OUT.html", help="write the report as a self-contained HTML page")
    parser.add_argument("--layouts", metavar="DIR", help="also load the layout definition files of DIR")
    parser.add_argument("--gap", type=float, default=GAP_SECONDS, metavar="SECONDS",
                        help=f"least time between two files of a device reported as a gap (default "
                             f"{GAP_SECONDS:g}; at least {GAP_INTERVALS} times the device's median time "
                             f"between records)")
    parser.add_argument("--force", action="store_true", help="replace existing output files")
    parser.add_argument("--where", metavar="EXPR", help="count the records of each file that pass this expression "
                        "over their fields (as tarvik-cli list --filter; see docs/expressions.md)")
    from . import __version__

    parser.add_argument("--profile", metavar="PROFILE", help="judge this test profile (a file, or a built-in "
                        "profile's name; see docs/profiles.md) over each file; the reports gain a rules table")
    parser.add_argument("--junit", metavar="OUT.xml", help="with --profile: write its verdicts as JUnit XML (a "
                        "test suite per file, a test case per rule)")
    parser.add_argument("--version", action="version", version=f"{PROGRAM} {__version__}")
    args = parser.parse_args(argv)
    if args.workers is not None and not 1 <= args.workers <= 1024:
        parser.error("--workers: 1 to 1024")
    if args.workers is not None and args.scheduler:
        parser.error("--workers starts a LocalCluster: not with --scheduler")
    if not args.gap >= 0:
        parser.error("--gap: a time of 0 or more seconds")
    if args.junit and not args.profile:
        parser.error("--junit writes the verdicts of --profile: give one")
    outs = [o for o in (args.json, args.html, args.junit) if o]
    if len({os.path.abspath(o) for o in outs}) < len(outs):
        parser.error("two outputs name the same file")
    for out in (args.json, args.html, args.junit):
        if out and os.path.lexists(out) and not args.force:
            parser.error(f"{shown_name(out)} exists: not replaced (--force replaces it)")

    if args.layouts:
        import tarvik

        try:  # a faulty layout file would fail every task: said once, before any starts
            tarvik.catalogue(args.layouts)
        except tarvik.TarvikError as e:
            print(f"{PROGRAM}: --layouts: {e}", file=sys.stderr)
            return EXIT_UNUSABLE
    if args.where is not None:
        from tarvik import _tarvik

        try:  # a faulty expression would fail every file: said once, before any task starts
            _tarvik._check_filter(args.where, args.layouts)
        except ValueError as e:
            print(f"{PROGRAM}: --where: {e}", file=sys.stderr)
            return EXIT_UNUSABLE
    if args.profile is not None:
        import tarvik
        from tarvik import _tarvik

        try:  # a faulty profile would fail every file: said once, before any task starts
            found = [p for p in _tarvik._builtin_profiles()
                     if os.path.splitext(os.path.basename(p))[0] == args.profile]
            if found and not os.path.exists(args.profile):
                args.profile = found[0]
            _tarvik._load_profile(args.profile, args.layouts)
        except tarvik.TarvikError as e:
            print(f"{PROGRAM}: --profile: {e}", file=sys.stderr)
            return EXIT_UNUSABLE
    progress = sys.stderr if sys.stderr.isatty() else None
    inputs = list(args.paths) + ([args.profile] if args.profile else [])
    try:
        rates = {}
        report = run(args.paths, scheduler=args.scheduler, workers=args.workers, layouts=args.layouts,
                     gap_seconds=args.gap, progress=progress, inputs=inputs, where=args.where,
                     profile=args.profile, rates=rates)
    except OSError as e:  # no scheduler at that address, no room for a LocalCluster
        print(f"{PROGRAM}: {e}", file=sys.stderr)
        return EXIT_UNUSABLE
    try:
        if args.json:
            write_whole(args.json, json.dumps(report, indent=2) + "\n", args.force, inputs)
        if args.html:
            from ._audit_report import html_page
            write_whole(args.html, html_page(report, rates), args.force, inputs)
        if args.junit:
            write_whole(args.junit, junit_xml(report["rules"]), args.force, inputs)
    except OSError as e:
        print(f"{PROGRAM}: {e}", file=sys.stderr)
        return EXIT_UNUSABLE
    for line in summary_lines(report):
        print(line)
    return exit_status(report)


if __name__ == "__main__":
    # Run as tarvik.audit, not __main__, so that the tasks reach the workers by name.
    from tarvik import audit as _audit

    sys.exit(_audit.main())
