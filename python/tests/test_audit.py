"""The archive audit on a LocalCluster of two worker processes, against
tarvik-cli check --json run file by file."""

import importlib
import json
import os
import signal
import stat
import subprocess
import sys
import threading
import time
from html.parser import HTMLParser

import pytest

import tarvik
from conftest import cli
from tarvik import audit

distributed = pytest.importorskip("distributed")


def frames_of(path):
    """(offset, size) of each frame of a record file, as tarvik reads it."""
    index = tarvik.open(path).index
    return [(int(r["offset"]), int(r["size"])) for r in index]


def write_frames(source, frames, first, last, target):
    """Frames first..last (inclusive) of `source` into a file of their own, as a
    recorder that starts a new file writes them."""
    with open(source, "rb") as f:
        data = f.read()
    with open(target, "wb") as out:
        for offset, size in frames[first:last + 1]:
            out.write(data[offset:offset + size])
    return str(target)


@pytest.fixture(scope="module")
def cluster():
    with audit.local_cluster(2) as c, distributed.Client(c) as client:
        client.wait_for_workers(2)
        yield c, client


@pytest.fixture(scope="module")
def archive(tmp_path_factory):
    """One device's recording cut into files: two in a row, then 15 frames
    missing (7.5 s and a few pings), one that repeats the last five frames of
    the one before, a damaged one, a truncated one and a name that leads nowhere."""
    root = tmp_path_factory.mktemp("archive")
    stream = root.parent / "stream.vxr"
    cli("generate", stream, "--frames", 160, "--no-catalog", "--force")
    frames = frames_of(stream)
    for sub in ("clean", "gap", "overlap", "damaged"):
        (root / sub).mkdir()
    files = {
        "a": write_frames(stream, frames, 0, 29, root / "clean" / "a.vxr"),
        "b": write_frames(stream, frames, 30, 59, root / "clean" / "b.vxr"),
        "c": write_frames(stream, frames, 75, 99, root / "gap" / "c.vxr"),
        "d": write_frames(stream, frames, 95, 119, root / "overlap" / "d.vxr"),
        "e": write_frames(stream, frames, 120, 139, root / "damaged" / "e.vxr"),
        "f": write_frames(stream, frames, 140, 160, root / "damaged" / "f.vxr"),
    }
    # A byte of a frame's data changed: its checksum no longer holds.
    with open(files["e"], "r+b") as f:
        f.seek(frames[123][0] - frames[120][0] + 70)
        b = f.read(1)
        f.seek(-1, 1)
        f.write(bytes([b[0] ^ 0x5A]))
    # The last frame cut short.
    os.truncate(files["f"], os.path.getsize(files["f"]) - 50)
    os.symlink(root / "nowhere.vxr", root / "damaged" / "lost.vxr")
    (root / "clean" / "notes.txt").write_text("not a record file\n")
    return {"root": root, "stream": stream, "frames": frames, "files": files}


@pytest.fixture(scope="module")
def report(cluster, archive):
    return audit.audit([archive["root"]], cluster[1])


def test_every_file_as_check_reports_it(report, archive):
    by_name = {f["file"]: f for f in report["files"]}
    assert sorted(by_name) == sorted(archive["files"].values())
    for path in archive["files"].values():
        expected = json.loads(cli("check", "--json", path, check=False).stdout)
        entry = by_name[path]
        assert {k: entry[k] for k in expected} == expected
        assert entry["status"] == "checked"
    assert by_name[archive["files"]["a"]]["clean"]
    kinds = {p["kind"] for p in by_name[archive["files"]["e"]]["problems"]}
    assert "checksum" in kinds
    assert "truncated" in {p["kind"] for p in by_name[archive["files"]["f"]]["problems"]}
    # Devices per file: the frames of the index.
    for path in archive["files"].values():
        index = tarvik.open(path, read_past_damage=True).index
        (device,) = by_name[path]["devices"]
        assert (device["device"], device["frames"], device["bytes"]) == (7125, len(index), int(index["size"].sum()))


def test_archive_totals_add_the_files_up(report, archive):
    docs = [json.loads(cli("check", "--json", p, check=False).stdout) for p in archive["files"].values()]
    t = report["totals"]
    assert t["files"] == len(docs) and t["readableFiles"] == len(docs)
    assert t["cleanFiles"] == sum(d["clean"] for d in docs)
    assert t["frames"] == sum(d["frames"] for d in docs)
    assert t["bytes"] == sum(d["bytes"] for d in docs)
    assert t["problemCount"] == sum(d["problemCount"] for d in docs)
    per_type = {}
    for d in docs:
        for r in d["recordTypes"]:
            e = per_type.setdefault(r["recordType"], [0, 0])
            e[0] += r["frames"]
            e[1] += r["bytes"]
    assert {r["recordType"]: [r["frames"], r["bytes"]] for r in t["recordTypes"]} == per_type
    assert abs(sum(r["share"] for r in t["recordTypes"]) - 100) < 1e-6
    (device,) = t["devices"]
    assert (device["device"], device["files"], device["frames"]) == (7125, len(docs), t["frames"])
    assert t["firstTime"] == docs[0]["firstTime"] and t["lastTime"] == max(d["lastTime"] for d in docs)
    assert report["unreadable"] == [{"file": str(archive["root"] / "damaged" / "lost.vxr"),
                                     "error": "No such file or directory"}]
    assert report["changed"] == [] and report["missing"] == []
    assert not report["clean"] and audit.exit_status(report) == 1


def test_continuity_between_files(report, archive, tmp_path):
    files, frames = archive["files"], archive["frames"]
    (c,) = report["continuity"]
    assert [t["file"] for t in c["timeline"]] == [files[k] for k in "abcdef"]
    # 15 frames at half a second each are missing between b and c.
    (gap,) = c["gaps"]
    assert (gap["before"], gap["after"], gap["seconds"]) == (files["b"], files["c"], 8.0)
    (overlap,) = c["overlaps"]
    assert (overlap["before"], overlap["after"], overlap["seconds"]) == (files["c"], files["d"], 2.0)
    # The five frames d repeats, where each file holds them.
    assert c["duplicateCount"] == 5
    assert [(d["first"]["index"], d["first"]["offset"], d["second"]["index"], d["second"]["offset"])
            for d in c["duplicates"]] == [
        (20 + i, frames[95 + i][0] - frames[75][0], i, frames[95 + i][0] - frames[95][0]) for i in range(5)]
    # The ping gaps across b|c are those check finds in the two files back to back.
    joined = tmp_path / "bc.vxr"
    joined.write_bytes(open(files["b"], "rb").read() + open(files["c"], "rb").read())
    doc = json.loads(cli("check", "--json", joined, check=False).stdout)
    expected = [p["text"] for k in doc["problems"] if k["kind"] == "ping-gap" for p in k["first"]]
    assert expected, "the generated stream has no ping records across the gap"
    assert sorted(f"record type {p['recordType']}, device 7125, enumerator 0: ping {p['firstPing']} after ping "
                  f"{p['lastPing']} ({p['missing']} missing)" for p in c["pingGaps"]) == sorted(expected)
    assert all((p["before"], p["after"]) == (files["b"], files["c"]) for p in c["pingGaps"])


# The launcher the build makes (it names the interpreter CMake found).
AUDIT = os.environ.get("TARVIK_AUDIT", "tarvik-audit")


def test_command_line_on_a_running_scheduler_writes_json_and_html(cluster, archive, report, tmp_path):
    out_json, out_html = tmp_path / "audit.json", tmp_path / "audit.html"
    # A python3 first on PATH that is not the one the build found: the launcher names its own.
    fake = tmp_path / "fake-bin"
    fake.mkdir()
    (fake / "python3").write_text("#!/bin/sh\necho wrong python3 >&2\nexit 99\n")
    (fake / "python3").chmod(0o755)
    env = dict(os.environ, PATH=f"{fake}:{os.environ.get('PATH', '')}", PYTHONPATH="")
    run = subprocess.run([AUDIT, str(archive["root"]), "--scheduler",
                          cluster[0].scheduler_address, "--json", str(out_json), "--html", str(out_html)],
                         capture_output=True, text=True, timeout=120, env=env)
    assert run.returncode == 1, run.stderr
    assert run.stdout.splitlines()[-1] == "problems found"
    written = json.loads(out_json.read_text())
    for key in ("totals", "files", "continuity", "unreadable", "changed", "missing"):
        assert written[key] == report[key]
    # The reports get the mode a plain open() gives a new file.
    mask = os.umask(0)
    os.umask(mask)
    for out in (out_json, out_html):
        assert out.stat().st_mode & 0o7777 == 0o666 & ~mask
    # Outputs are not replaced without --force.
    again = subprocess.run([sys.executable, "-m", "tarvik.audit", str(archive["root"]), "--json", str(out_json)],
                           capture_output=True, text=True, timeout=60)
    assert again.returncode == 2 and "exists" in again.stderr

    class Page(HTMLParser):
        def __init__(self):
            super().__init__()
            self.cells, self.images, self._cell = [], [], None

        def handle_starttag(self, tag, attrs):
            if tag == "td":
                self._cell = ""
            if tag == "svg":
                self.images.append(dict(attrs))

        def handle_data(self, data):
            if self._cell is not None:
                self._cell += data

        def handle_endtag(self, tag):
            if tag == "td":
                self.cells.append(self._cell)
                self._cell = None

    page = Page()
    page.feed(out_html.read_text())
    cells = set(page.cells)
    for f in report["files"]:
        assert f["file"] in cells
        for kind in f["problems"]:
            for p in kind["first"]:
                assert p["text"] in cells
    assert report["unreadable"][0]["file"] in cells
    texts = " ".join(page.cells)
    assert "8.000 s without records" in texts and "2.000 s" in texts and "ping " in texts
    assert sum("same bytes as frame" in c for c in page.cells) == 5
    (image,) = [i for i in page.images if i.get("class") == "timeline"]
    assert image["aria-label"] == "timeline of device 7125, enumerator 0"
    # A rate plot for each readable file.
    rates = [i["aria-label"] for i in page.images if i.get("class") == "rate"]
    assert len(rates) == report["totals"]["readableFiles"] and all(r.startswith("records per second of ") for r in rates)
    # The summary is printed with the outputs written.
    assert run.stdout.splitlines()[0].startswith("6 files, 6 readable, 4 clean:")


def test_names_that_are_not_utf8_and_outputs_onto_found_paths(cluster, archive, tmp_path):
    root = tmp_path / "odd"
    root.mkdir()
    odd = os.path.join(os.fsencode(root), b"a-\xff\xfe.vxr")
    with open(odd, "wb") as out:
        out.write(open(archive["files"]["a"], "rb").read())
    fifo = root / "pipe.vxr"
    os.mkfifo(fifo)
    address = ["--scheduler", cluster[0].scheduler_address]
    # The outputs never replace a path the audit found, checked or not, whatever --force says.
    for target in (fifo, os.fsdecode(odd)):
        run = subprocess.run([AUDIT, str(root), *address, "--json", target, "--force"],
                             capture_output=True, text=True, timeout=120)
        assert run.returncode == 2 and "not replaced" in run.stderr, run.stderr
    assert stat.S_ISFIFO(os.lstat(fifo).st_mode) and os.path.getsize(odd) == os.path.getsize(archive["files"]["a"])
    out_json, out_html = tmp_path / "audit.json", tmp_path / "audit.html"
    run = subprocess.run([AUDIT, str(root), *address, "--json", str(out_json), "--html", str(out_html)],
                         capture_output=True, timeout=120)
    assert run.returncode == 1, run.stderr  # the pipe cannot be read
    shown = str(root) + "/a-\\xff\\xfe.vxr"
    written = json.loads(out_json.read_bytes().decode("utf-8"))
    assert [f["file"] for f in written["files"]] == [shown] and written["missing"] == []
    assert written["files"][0]["readable"] and written["files"][0]["status"] == "checked"
    assert [t["file"] for t in written["continuity"][0]["timeline"]] == [shown]
    assert f"<td>{shown}</td>" in out_html.read_bytes().decode("utf-8")
    assert f"cannot be read: {fifo}: not a regular file" in run.stdout.decode("utf-8")
    # From Python, the same file by its bytes name.
    r = audit.audit([os.fsencode(root)], cluster[1])
    assert [f["file"] for f in r["files"]] == [shown] and r["paths"] == [str(root)]


def test_nothing_readable(cluster, tmp_path):
    os.symlink(tmp_path / "nowhere.vxr", tmp_path / "lost.vxr")
    r = audit.audit([tmp_path], cluster[1])
    assert audit.exit_status(r) == 2 and r["unreadable"][0]["error"] == "No such file or directory"
    assert audit.exit_status(audit.audit([tmp_path / "empty"], cluster[1])) == 2


def changing_task(path, size, mtime, layouts):
    """Changes or removes the file just before it is checked."""
    if path.endswith("grows.vxr"):
        with open(path, "ab") as f:
            f.write(b"\0" * 10)
    elif path.endswith("goes.vxr"):
        os.unlink(path)
    return audit.check_file(path, size, mtime, layouts)


def test_files_that_change_or_disappear(cluster, archive, tmp_path):
    for name in ("grows", "goes", "stays"):
        (tmp_path / f"{name}.vxr").write_bytes(open(archive["files"]["a"], "rb").read())
    r = audit.audit([tmp_path], cluster[1], file_task=changing_task)
    status = {os.path.basename(f["file"]): f["status"] for f in r["files"]}
    assert status == {"goes.vxr": "disappeared", "grows.vxr": "changed", "stays.vxr": "checked"}
    assert {os.path.basename(c["file"]) for c in r["changed"]} == {"goes.vxr", "grows.vxr"}
    assert audit.exit_status(r) == 1


def failing_task(path, size, mtime, layouts):
    if path.endswith("bad.vxr"):
        raise RuntimeError("the task failed")
    return audit.check_file(path, size, mtime, layouts)


def test_a_file_whose_task_fails_is_reported_and_the_files_checked_with_it_are_not_lost(cluster, archive, tmp_path):
    names = [f"{n}.vxr" for n in ("bad", "p1", "p2", "p3", "p4", "p5", "p6", "p7")]
    for name in names:
        (tmp_path / name).write_bytes(open(archive["files"]["a"], "rb").read())
    # Several files to a task, so that the failing one takes others down with it at first.
    assert max(len(t) for t in audit.batches(audit.find_files([tmp_path])[0], 2)) > 1
    r = audit.audit([tmp_path], cluster[1], file_task=failing_task)
    assert r["missing"] == [{"file": str(tmp_path / "bad.vxr"), "error": "RuntimeError: the task failed"}]
    assert sorted(os.path.basename(f["file"]) for f in r["files"]) == sorted(names[1:])
    assert all(f["readable"] and f["status"] == "checked" for f in r["files"])
    assert not r["clean"] and audit.exit_status(r) == 1


def killing_task(path, size, mtime, layouts):
    """Kills the worker process that checks `a-poison.vxr`, as a crash in the check would."""
    if path.endswith("a-poison.vxr"):
        os.kill(os.getpid(), signal.SIGKILL)
    return audit.check_file(path, size, mtime, layouts)


def test_a_file_that_kills_its_worker_every_time_is_the_only_one_reported(archive, tmp_path):
    import dask

    names = ["a-poison.vxr"] + [f"p{i}.vxr" for i in range(11)]
    for name in names:
        (tmp_path / name).write_bytes(open(archive["files"]["a"], "rb").read())
    # The first task holds the poison and another file.
    assert [os.path.basename(f[0]) for f in audit.batches(audit.find_files([tmp_path])[0], 3)[0]] == names[:2]
    # A cluster of its own (its workers are killed), three workers so that one is always up
    # while the others come back, and a task given up after its second worker died.
    with dask.config.set({"distributed.scheduler.allowed-failures": 1}):
        with audit.local_cluster(3) as c, distributed.Client(c) as client:
            client.wait_for_workers(3)
            result = {}
            runner = threading.Thread(daemon=True, target=lambda: result.setdefault(
                "r", audit.audit([tmp_path], client, file_task=killing_task)))
            runner.start()
            runner.join(180)
            assert not runner.is_alive()
    r = result["r"]
    assert [(os.path.basename(m["file"]), m["error"]) for m in r["missing"]] == [
        ("a-poison.vxr", "KilledWorker: the worker process died each time this file was checked")]
    assert sorted(os.path.basename(f["file"]) for f in r["files"]) == sorted(names[1:])
    assert audit.exit_status(r) == 1


def slow_task(path, size, mtime, layouts):
    time.sleep(0.6)
    return audit.check_file(path, size, mtime, layouts)


def test_a_killed_worker_loses_no_file(cluster, archive, tmp_path):
    _, client = cluster
    for i in range(8):
        (tmp_path / f"part{i}.vxr").write_bytes(open(archive["files"]["a"], "rb").read())
    pids = client.run(os.getpid)
    result = {}
    runner = threading.Thread(target=lambda: result.setdefault("r", audit.audit([tmp_path], client,
                                                                              file_task=slow_task)))
    runner.start()
    killed = None
    deadline = time.monotonic() + 30
    while killed is None and time.monotonic() < deadline:
        busy = [w for w, keys in client.processing().items() if keys and w in pids]
        if busy:
            killed = pids[busy[0]]
            os.kill(killed, signal.SIGKILL)
        time.sleep(0.1)
    runner.join(60)
    assert killed is not None and not runner.is_alive()
    r = result["r"]
    assert len(r["files"]) == 8 and r["missing"] == []
    assert all(f["readable"] and f["status"] == "checked" for f in r["files"])
    client.wait_for_workers(2, timeout=90)


def conforms(value, schema, root, where="report"):
    """The parts of JSON Schema docs/audit.schema.json uses: type, required,
    properties, additionalProperties false, items, enum and local $ref."""
    if "$ref" in schema:
        schema = root["$defs"][schema["$ref"].rsplit("/", 1)[1]]
    if "enum" in schema:
        assert value in schema["enum"], where
    kinds = schema.get("type")
    kinds = [kinds] if isinstance(kinds, str) else kinds or []
    python = {"object": dict, "array": list, "string": str, "integer": int, "number": (int, float),
              "boolean": bool, "null": type(None)}
    if kinds:
        assert any(isinstance(value, python[k]) and not (k in ("integer", "number") and isinstance(value, bool))
                   for k in kinds), f"{where}: {value!r} is not {kinds}"
    if isinstance(value, dict):
        for key in schema.get("required", []):
            assert key in value, f"{where}: {key} missing"
        props = schema.get("properties", {})
        for key, v in value.items():
            if schema.get("additionalProperties") is False:
                assert key in props, f"{where}: {key} not in the schema"
            if key in props:
                conforms(v, props[key], root, f"{where}.{key}")
    if isinstance(value, list) and "items" in schema:
        for i, v in enumerate(value):
            conforms(v, schema["items"], root, f"{where}[{i}]")


def test_the_report_follows_its_schema(report, cluster, tmp_path):
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "..", "..", "docs", "audit.schema.json")) as f:
        schema = json.load(f)
    conforms(report, schema, schema)
    os.symlink(tmp_path / "nowhere.vxr", tmp_path / "lost.vxr")
    conforms(audit.audit([tmp_path], cluster[1]), schema, schema)


def test_usage_errors_exit_2(tmp_path):
    bad = tmp_path / "layouts"
    bad.mkdir()
    (bad / "x.yaml").write_text("this: [is not a layout\n")
    same = str(tmp_path / "out")
    for args, said in ((["--layouts", str(bad)], "x.yaml:2"), (["--workers", "0"], "--workers"),
                       (["--json", same, "--html", same], "same file")):
        run = subprocess.run([sys.executable, "-m", "tarvik.audit", str(tmp_path), *args],
                             capture_output=True, text=True, timeout=60)
        assert run.returncode == 2 and said in run.stderr


def test_tasks_take_every_file_once_and_shrink_towards_the_end():
    mb = 1 << 20
    archive = [(f"/a/{i:03d}.vxr", 10 * mb + i, 0) for i in range(200)] + [("/a/big.vxr", 900 * mb, 0)]
    for workers in (1, 2, 8):
        tasks = audit.batches(archive, workers)
        assert sorted(f for t in tasks for f in t) == sorted(archive)
        assert tasks[0] == [("/a/big.vxr", 900 * mb, 0)]  # the largest first, alone however large
        held = [sum(size for _, size, _ in t) for t in tasks[1:]]
        assert all(h <= audit.BATCH_BYTES + 11 * mb for h in held)
        assert held == sorted(held, reverse=True)
        # The last tasks are short: no more than a thirtieth of a worker's share each, yet not single
        # files for all of the rest.
        share = sum(size for _, size, _ in archive) / workers
        assert held[-1] <= share / 30 + 11 * mb and len(tasks) < 40 * workers
    # A handful of small files still spread over the workers.
    few = [(f"/b/{i}.vxr", 4000, 0) for i in range(8)]
    assert len(audit.batches(few, 2)) >= 4
    assert audit.batches([], 2) == []


def stamped_task(path, size, mtime, layouts):
    from distributed import get_worker

    started = time.time()
    time.sleep(0.2)
    return {"file": path, "started": started, "worker": get_worker().address}


def test_tasks_start_in_the_order_given(cluster):
    # The largest tasks go first so that the workers end together: each worker
    # takes its tasks in the order given, and the first ones start before the
    # last ones. (A worker slowed by a busy machine may start its first task
    # after the other worker's third: the order is held per worker and from
    # the first tasks to the last, not to the tenth of a second.)
    _, client = cluster
    # A worker started anew (after the killed worker above) imports the package with its first
    # task: long enough for the other worker to take several tasks meanwhile.
    client.run(importlib.import_module, "tarvik.audit")
    tasks = [[(f"/t/{i:02d}.vxr", 100 - i, 0)] for i in range(10)]
    futures = audit._submit(client, tasks, None, stamped_task)
    started, worker = {}, {}
    for future, batch in futures.items():
        result = future.result()
        assert isinstance(result, audit.Checked) and [d["file"] for d in result.docs] == [batch[0][0]]
        started[batch[0][0]] = result.docs[0]["started"]
        worker[batch[0][0]] = result.docs[0]["worker"]
    names = [t[0][0] for t in tasks]
    for address in set(worker.values()):
        mine = [started[n] for n in names if worker[n] == address]
        assert mine == sorted(mine), (address, mine)
    assert max(started[n] for n in names[:2]) < min(started[n] for n in names[-2:]), started


def test_many_files_at_one_time_stamp(cluster, tmp_path):
    # One-record files that share their time stamp and their record: each overlaps the first,
    # and each record is the first file's again.
    one = tmp_path / "one.src"
    cli("generate", one, "--frames", 1, "--no-catalog", "--force")
    data = one.read_bytes()
    n = 300
    for i in range(n):
        (tmp_path / f"f{i:04d}.vxr").write_bytes(data)
    started = time.monotonic()
    r = audit.audit([tmp_path], cluster[1])
    assert time.monotonic() - started < 120
    (c,) = r["continuity"]
    assert c["files"] == n and len(c["overlaps"]) == n - 1 and c["gaps"] == []
    frames = len(tarvik.open(one))
    assert c["duplicateCount"] == frames * (n - 1) and len(c["duplicates"]) == audit.KEEP
    first = str(tmp_path / "f0000.vxr")
    assert all(d["first"]["file"] == first and d["first"]["index"] < frames for d in c["duplicates"])
    assert r["missing"] == [] and audit.exit_status(r) == 1
