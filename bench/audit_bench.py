#!/usr/bin/python3
"""Throughput of the archive audit against tarvik-cli check (not run by the tests).

    PYTHONPATH=build/python /usr/bin/python3 bench/audit_bench.py [--dir DIR] [--files 200] [--rounds 3]
    PYTHONPATH=build/python /usr/bin/python3 bench/audit_bench.py --overlapping 50000 [--dir DIR]

Makes an archive once (a generated recording of one device cut into FILES
files of about 10 MB, a few of them damaged), reads it once so that every run
finds it in the page cache, then runs ROUNDS rounds of: tarvik-cli check
--jobs 2 and --jobs 1 over all files, the same checks through the module in
two plain processes and in one (no engine: what the machine gives), the audit
on a LocalCluster of two worker processes and on one of one. Each cluster is started for its audit
and closed after it, one at a time; its start-up is timed apart, and so is
the audit's own fixed cost (an audit of an empty folder and of one file on
the running cluster: finding the files, the scheduler's round trips, the
reduction). Prints the best and the median of each, in MB/s, the same with
start-up counted, the ratios taken round by round, and the machine's load
average; check --jobs 1 against --jobs 2 shows how much a second core gives
on the machine as loaded as it is.

--overlapping N times the other extreme instead: N files of one record each,
all of one device at one time stamp (every file overlaps every other and
holds the same record), audited on a LocalCluster of two workers; the
continuity and the duplicate search must take time in proportion to
N log N, not to the N^2 pairs of files.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.environ.get("TARVIK_CLI", os.path.join(HERE, "..", "build", "bin", "tarvik-cli"))


def make_archive(folder, files, file_bytes):
    import tarvik

    os.makedirs(folder, exist_ok=True)
    stream = os.path.join(folder, "stream.vxr.src")
    # Frames of 40 to 60 kB: about 200 a file.
    frames = files * file_bytes // 50_000 + 10
    subprocess.run([CLI, "generate", stream, "--frames", str(frames), "--size", "40000", "60000", "--no-catalog",
                    "--force"], check=True, stdout=subprocess.DEVNULL)
    index = tarvik.open(stream).index
    offsets = [int(o) for o in index["offset"]] + [os.path.getsize(stream)]
    names, first = [], 0
    with open(stream, "rb") as src:
        for n in range(files):
            # Whole frames up to about file_bytes.
            last = first
            while last < len(index) and offsets[last + 1] - offsets[first] <= file_bytes:
                last += 1
            name = os.path.join(folder, f"survey-{n:04d}.vxr")
            src.seek(offsets[first])
            with open(name, "wb") as out:
                out.write(src.read(offsets[last] - offsets[first]))
            names.append(name)
            first = last
    os.unlink(stream)
    # A few damaged files: changed bytes (checksums), a broken header, a cut end.
    for n in (17, 88):
        with open(names[n], "r+b") as f:
            f.seek(200_000)
            f.write(b"\x55\xaa")
    with open(names[120], "r+b") as f:
        f.seek(0)
        f.write(b"\0" * 8)
    os.truncate(names[150], os.path.getsize(names[150]) - 1000)
    return names


def timed(fn, client=None):
    """Wall seconds, and CPU seconds of this process, its children and the workers."""
    def cpu():
        t = os.times()
        workers = sum(client.run(time.process_time).values()) if client else 0.0
        return t.user + t.system + t.children_user + t.children_system + workers
    c = cpu()
    t = time.perf_counter()
    fn()
    wall = time.perf_counter() - t
    return wall, cpu() - c


def plain_check(files):
    """The audit's check of each file, in a plain process: what the engine adds is the rest."""
    from tarvik import _tarvik

    for name in files:
        _tarvik.audit_file(name, None)


def overlapping(folder, files):
    """N one-record files sharing a time stamp: the audit's time, per file, at 1/10 and all of N."""
    from distributed import Client

    from tarvik import audit

    os.makedirs(folder, exist_ok=True)
    names = sorted(n for n in os.listdir(folder) if n.endswith(".vxr"))
    if len(names) != files:
        one = os.path.join(folder, "one.vxr.src")
        subprocess.run([CLI, "generate", one, "--frames", "1", "--no-catalog", "--force"], check=True,
                       stdout=subprocess.DEVNULL)
        data = open(one, "rb").read()
        os.unlink(one)
        for n in range(files):
            with open(os.path.join(folder, f"one-{n:06d}.vxr"), "wb") as out:
                out.write(data)
    tenth = os.path.join(folder, "tenth")
    if not os.path.isdir(tenth):
        os.makedirs(tenth)
        for n in range(files // 10):
            os.link(os.path.join(folder, f"one-{n:06d}.vxr"), os.path.join(tenth, f"one-{n:06d}.vxr"))
    with audit.local_cluster(2) as cluster, Client(cluster) as client:
        client.wait_for_workers(2)
        for label, where, n in (("a tenth", [os.path.join(tenth, "")], files // 10), ("all", [folder], files)):
            report = {}
            wall, _ = timed(lambda: report.update(audit.audit(where, client)))
            (c,) = report["continuity"]
            print(f"{n} overlapping one-record files ({label}): {wall:.1f} s, {wall / n * 1000:.2f} ms per file; "
                  f"{len(c['overlaps'])} overlaps, {c['duplicateCount']} duplicated records")
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", default="/tmp/tarvik-audit-bench")
    parser.add_argument("--files", type=int, default=200)
    parser.add_argument("--file-mb", type=int, default=10)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--overlapping", type=int, metavar="N", help="time N overlapping one-record files instead")
    args = parser.parse_args()
    if args.overlapping:
        return overlapping(os.path.join(args.dir, f"overlapping-{args.overlapping}"), args.overlapping)

    # A LocalCluster's nannies set variables for their workers (an allocator
    # setting among them) in this process's own environment: check runs with
    # the environment as it was.
    plain_env = dict(os.environ)

    from distributed import Client

    from tarvik import audit

    names = sorted(os.path.join(args.dir, n) for n in os.listdir(args.dir)) if os.path.isdir(args.dir) else []
    names = [n for n in names if n.endswith(".vxr")]
    if len(names) != args.files:
        t, _ = timed(lambda: names.extend(make_archive(args.dir, args.files, args.file_mb * 1_000_000)))
        print(f"archive made in {t:.1f} s")
    total = sum(os.path.getsize(n) for n in names)
    for n in names:  # into the page cache
        with open(n, "rb") as f:
            while f.read(1 << 24):
                pass
    print(f"{len(names)} files, {total / 1e6:.0f} MB; load average before: {os.getloadavg()}")

    times = {"check --jobs 2": [], "check --jobs 1": [], "audit, 2 workers": [], "audit, 1 worker": [],
             "plain, 2 processes": [], "plain, 1 process": []}
    cpus = {k: [] for k in times if not k.startswith("plain")}
    startup = {}
    empty = tempfile.mkdtemp(prefix="tarvik-audit-bench-")
    fixed = {2: [], 1: []}
    one = {2: [], 1: []}
    reports = {}
    ratios = {"audit 2 workers / check --jobs 2": [], "audit 2 / 1 worker": [], "check --jobs 2 / 1": [],
              "plain 2 / 1 process": []}
    # The same checks in two plain processes and in one, made before any cluster (forked from this one).
    import multiprocessing

    plain = multiprocessing.get_context("fork").Pool(2)
    plain.map(plain_check, [names[:1], names[1:2]], chunksize=1)
    # One cluster at a time, started anew each round: the scheduler of a
    # LocalCluster runs in this process, and a second, idle cluster's
    # scheduler beside it slowed the other's audits by a third (its periodic
    # work on the same event loop). A round runs everything once, close
    # together in time, and the ratios are taken round by round, so that a
    # change in the machine's load between rounds does not enter them.
    for _ in range(args.rounds):
        run = {}
        for jobs in (2, 1):
            wall, cpu = timed(lambda: subprocess.run([CLI, "check", "--jobs", str(jobs), *names],
                                                     stdout=subprocess.DEVNULL, env=plain_env))
            run[f"check --jobs {jobs}"] = wall
            cpus[f"check --jobs {jobs}"].append(cpu)
        run["plain, 2 processes"] = timed(lambda: plain.map(plain_check, [names[0::2], names[1::2]], chunksize=1))[0]
        run["plain, 1 process"] = timed(lambda: plain.apply(plain_check, (names,)))[0]
        for workers in (2, 1):
            label = f"audit, {workers} worker{'s' if workers > 1 else ''}"
            t = time.perf_counter()
            cluster = audit.local_cluster(workers)
            client = Client(cluster)
            client.wait_for_workers(workers)
            startup.setdefault(workers, []).append(time.perf_counter() - t)
            # Every worker once through a check, as its first task would: the module's import, the
            # built-in layouts read (a worker does it once).
            client.run(audit.check_file, names[0], os.path.getsize(names[0]), os.stat(names[0]).st_mtime_ns)
            fixed[workers].append(timed(lambda: audit.audit([empty], client))[0])
            one[workers].append(timed(lambda: audit.audit([names[0]], client))[0])
            time.sleep(0.2)  # as a fresh start of the audit finds the cluster: idle
            wall, cpu = timed(lambda: reports.__setitem__(workers, audit.audit([args.dir], client)), client)
            run[label] = wall
            cpus[label].append(cpu)
            client.close()
            cluster.close()
        for label, wall in run.items():
            times[label].append(wall)
        ratios["audit 2 workers / check --jobs 2"].append(run["check --jobs 2"] / run["audit, 2 workers"])
        ratios["audit 2 / 1 worker"].append(run["audit, 1 worker"] / run["audit, 2 workers"])
        ratios["check --jobs 2 / 1"].append(run["check --jobs 1"] / run["check --jobs 2"])
        ratios["plain 2 / 1 process"].append(run["plain, 1 process"] / run["plain, 2 processes"])
    plain.close()
    os.rmdir(empty)

    print(f"load average after: {os.getloadavg()}")
    startup = {w: statistics.median(ts) for w, ts in startup.items()}
    print(f"cluster start-up: 2 workers {startup[2]:.1f} s, 1 worker {startup[1]:.1f} s")
    for w in (2, 1):
        print(f"audit's fixed cost, {w} worker{'s' if w > 1 else ''}: empty folder median "
              f"{statistics.median(fixed[w]) * 1000:.0f} ms, one file {statistics.median(one[w]) * 1000:.0f} ms")
    best = {}
    for label, ts in times.items():
        best[label] = total / min(ts) / 1e6
        line = (f"{label:18s} best {min(ts):6.2f} s ({best[label]:6.0f} MB/s), median {statistics.median(ts):6.2f} s,"
                f" runs {', '.join(f'{t:.2f}' for t in ts)}")
        if cpus.get(label):
            cpu = statistics.median(cpus[label])
            line += f"; CPU median {cpu:.2f} s ({total / cpu / 1e6:.0f} MB per CPU second)"
        print(line)
    for label in ("audit, 2 workers", "audit, 1 worker"):
        w = 2 if "2" in label else 1
        print(f"{label}: {total / (min(times[label]) - statistics.median(fixed[w])) / 1e6:.0f} MB/s without the "
              f"fixed cost, {total / (min(times[label]) + startup[w]) / 1e6:.0f} MB/s with the cluster's start-up")
    medians = {k: total / statistics.median(v) / 1e6 for k, v in times.items()}
    print(f"medians: audit (2 workers) / check --jobs 2: {medians['audit, 2 workers'] / medians['check --jobs 2']:.0%};"
          f" audit 2 / 1 worker {medians['audit, 2 workers'] / medians['audit, 1 worker']:.2f}x;"
          f" check --jobs 2 / --jobs 1 {medians['check --jobs 2'] / medians['check --jobs 1']:.2f}x")
    print(f"audit (2 workers) / check --jobs 2: {best['audit, 2 workers'] / best['check --jobs 2']:.0%}; "
          f"CPU per run: audit {statistics.median(cpus['audit, 2 workers']) / statistics.median(cpus['check --jobs 2']):.2f}x "
          f"check's")
    print(f"audit 2 workers / 1 worker: {best['audit, 2 workers'] / best['audit, 1 worker']:.2f}x; "
          f"check --jobs 2 / --jobs 1: {best['check --jobs 2'] / best['check --jobs 1']:.2f}x")
    for label, rs in ratios.items():
        print(f"round by round, {label}: median {statistics.median(rs):.2f} ({', '.join(f'{r:.2f}' for r in rs)})")
    r = reports[2]
    print(f"per file: {statistics.median(cpus['audit, 2 workers']) / len(names) * 1000:.1f} ms of CPU (all processes)"
          f" for {total / len(names) / 1e6:.1f} MB, check {statistics.median(cpus['check --jobs 2']) / len(names) * 1000:.1f}"
          f" ms; report: {r['totals']['problemCount']} problems, "
          f"{sum(len(c['gaps']) for c in r['continuity'])} gaps, clean files {r['totals']['cleanFiles']}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
