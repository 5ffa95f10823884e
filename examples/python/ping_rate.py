#!/usr/bin/python3
"""Ping rate and gaps of a record file, as a picture.

    ping_rate.py FILE OUT.png [TYPE]

Plots the pings per second of one record type (default: the most frequent)
over the file's time, and marks the gaps: intervals above twice the median.
"""

import sys

import matplotlib

matplotlib.use("Agg")  # files only, no window
import matplotlib.pyplot as plt
import numpy as np

import tarvik


def main(path, out, record_type=None):
    index = tarvik.open(path).index
    if record_type is None:
        types, counts = np.unique(index["type"], return_counts=True)
        record_type = int(types[counts.argmax()])
    pings = index[index["type"] == record_type]
    times = pings["time"][~np.isnat(pings["time"])]
    if len(times) < 2:
        sys.exit(f"fewer than two records of type {record_type} with a time")
    seconds = (times - times[0]) / np.timedelta64(1, "s")
    step = np.diff(seconds)
    rate = np.divide(1.0, step, out=np.full_like(step, np.nan), where=step > 0)
    gaps = step > 2 * np.median(step)

    fig, ax = plt.subplots(figsize=(9, 4))
    ax.plot(seconds[1:], rate, ".-", label=f"{record_type} records per second")
    for start, length in zip(seconds[:-1][gaps], step[gaps]):
        ax.axvspan(start, start + length, color="tab:red", alpha=0.3)
    ax.set_xlabel(f"seconds after {np.datetime_as_string(times[0], unit='ms')} UTC")
    ax.set_ylabel("rate (1/s)")
    ax.set_title(f"{path}: {len(times)} records, {int(gaps.sum())} gaps")
    ax.legend()
    fig.tight_layout()
    fig.savefig(out)
    print(f"{out}: {len(times)} records of type {record_type}, {int(gaps.sum())} gaps")


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) == 4 else None)
