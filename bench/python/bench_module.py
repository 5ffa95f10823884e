#!/usr/bin/python3
"""The tarvik module against a plain struct-based reader, side by side.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_module.py [FILE] [--frames N]

Without FILE, writes a record file of N frames (default 1,000,000) with
tarvik-cli generate (TARVIK_CLI, else build/bin/tarvik-cli) into a temporary
folder. Measures, each the best of a few runs (the struct side: one run), in wall-clock
time and in the CPU time of the process:
  index      the whole index as a numpy structured array
  iterate    every record with its header fields (type, device, enumerator,
             time), each side as a user writes it: struct.unpack_from of the
             header and a datetime; `for r in f` and r.type, r.device, ...;
             then the same again building a dict per record
  table      a DataFrame of every 7027 record of the file, both sides
The baseline reads the same file as a user would today: struct.unpack_from
over the 64-byte frame headers, the 7027 fields from a hand-written format.
Both sides start from an open file: the module's indexed File, the baseline's
bytes read into memory.
Not part of the test command.
"""

import datetime
import os
import struct
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas as pd

import tarvik

HEADER = struct.Struct("<HHIIII HHfBB H I I H H I H H I I I")  # the 64-byte frame header
TIME = struct.Struct("<HHfBB")
# The 7027 fields before its repeat block, from the layout.
BATHY = struct.Struct("<QIHIIBIff f60x")
BATHY_NAMES = ["Sonar serial number", "Ping number", "Multi-Ping Sequence", "Number of detection Points",
               "Data field size", "Bottom Detect Algorithm", "Flags", "Sample rate (Hz)",
               "Tx Steering angle (deg.)", "Applied gate roll (deg.)"]


def plain_frames(data):
    """(offset, header tuple) of every frame, walking Size by Size as a user's reader does."""
    pos, end = 0, len(data)
    while pos + 64 <= end:
        h = HEADER.unpack_from(data, pos)
        size = h[3]
        if h[2] != 0x0000FFFF or size < 64 or pos + size > end:
            break
        yield pos, h
        pos += size


def plain_time(h):
    year, day, seconds, hours, minutes = h[6], h[7], h[8], h[9], h[10]
    if year == 0 or day == 0:
        return None
    return datetime.datetime(year, 1, 1) + datetime.timedelta(days=day - 1, hours=hours, minutes=minutes, seconds=seconds)


def plain_index(data):
    rows = [(h[12], h[3], h[13], h[15], plain_time(h), h[16], pos) for pos, h in plain_frames(data)]
    return pd.DataFrame(rows, columns=["type", "size", "device", "enumerator", "time", "record_counter", "offset"])


def plain_iterate(data):
    n = 0
    for pos, h in plain_frames(data):
        rtype, device, enumerator, when = h[12], h[13], h[15], plain_time(h)
        n += rtype > 0
    return n


def plain_iterate_dicts(data):
    n = 0
    for pos, h in plain_frames(data):
        record = {"type": h[12], "device": h[13], "enumerator": h[15], "time": plain_time(h)}
        n += record["type"] > 0
    return n


def plain_table(data):
    rows = []
    for pos, h in plain_frames(data):
        if h[12] != 7027:
            continue
        start = pos + 4 + h[1]
        rows.append((pos, plain_time(h), h[13], h[15], *BATHY.unpack_from(data, start)))
    return pd.DataFrame(rows, columns=["offset", "time", "device", "enumerator", *BATHY_NAMES])


def best(fn, runs=3):
    """The least wall-clock time and the least CPU time of the process over `runs` runs."""
    times, cpu = [], []
    for _ in range(runs):
        start, start_cpu = time.perf_counter(), time.process_time()
        result = fn()
        times.append(time.perf_counter() - start)
        cpu.append(time.process_time() - start_cpu)
    return min(times), min(cpu), result


def main():
    args = sys.argv[1:]
    frames = 1_000_000
    if "--frames" in args:
        i = args.index("--frames")
        frames = int(args[i + 1])
        del args[i:i + 2]
    tmp = None
    if args:
        path = args[0]
    else:
        tmp = tempfile.TemporaryDirectory()
        path = os.path.join(tmp.name, "bench.vxr")
        cli = os.environ.get("TARVIK_CLI", "build/bin/tarvik-cli")
        subprocess.run([cli, "generate", path, "--frames", str(frames)], check=True, stdout=subprocess.DEVNULL)
    size = os.path.getsize(path)

    f = tarvik.open(path)
    with open(path, "rb") as fh:
        data = fh.read()
    n = len(f)
    n7027 = int((f.index["type"] == 7027).sum())
    print(f"{path}: {n:,} records, {size / 1e6:.0f} MB, {n7027:,} of type 7027 (the table's rows)")

    def module_iterate():
        k = 0
        for r in f:
            rtype, device, enumerator, when = r.type, r.device, r.enumerator, r.time
            k += rtype > 0
        return k

    def module_iterate_dicts():
        k = 0
        for r in f:
            record = {"type": r.type, "device": r.device, "enumerator": r.enumerator, "time": r.time}
            k += record["type"] > 0
        return k

    def module_table():
        return f.table(7027)

    runs = [
        ("open + index", lambda: tarvik.open(path).index, lambda: plain_index(data)),
        ("index (open file)", lambda: f.index, lambda: plain_index(data)),
        ("iterate with header fields", module_iterate, lambda: plain_iterate(data)),
        ("  the same, a dict per record", module_iterate_dicts, lambda: plain_iterate_dicts(data)),
        ("table of 7027", module_table, lambda: plain_table(data)),
    ]
    # Wall-clock time, and the CPU time of the process: on a machine that
    # other work shares, the CPU times are the steadier comparison.
    print(f"{'':28} {'tarvik':>10} {'struct':>10} {'speed-up':>9}   {'CPU: tarvik':>11} {'struct':>9} {'speed-up':>9}")
    for name, ours, theirs in runs:
        a, a_cpu, _ = best(ours)
        b, b_cpu, _ = best(theirs, runs=1)
        extra = f"  ({n / a / 1e6:.2f} M records/s)" if name.startswith(("iterate", "  the same")) else ""
        print(f"{name:28} {a:9.3f}s {b:9.3f}s {b / a:8.1f}x   {a_cpu:10.3f}s {b_cpu:8.3f}s {b_cpu / a_cpu:8.1f}x{extra}")
    if tmp:
        tmp.cleanup()


if __name__ == "__main__":
    main()
