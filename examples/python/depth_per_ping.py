#!/usr/bin/python3
"""A depth-per-ping picture from the bathymetry records (7027) of a file.

    depth_per_ping.py FILE OUT.png [FIELD]

Each column of the picture is one ping, each row one detection point; the
colour is FIELD of that point (default "Detection point").
"""

import sys

import matplotlib

matplotlib.use("Agg")  # files only, no window
import matplotlib.pyplot as plt
import numpy as np

import tarvik


def main(path, out, field="Detection point"):
    f = tarvik.open(path)
    values = f.arrays(7027, field)  # one row per ping, one column per detection point
    if values.size == 0:
        sys.exit(f"{path} holds no 7027 records with {field!r}")
    fig, ax = plt.subplots(figsize=(9, 4))
    image = ax.imshow(values.T.astype(float), aspect="auto", origin="upper", interpolation="nearest")
    ax.set_xlabel("ping (7027 record)")
    ax.set_ylabel("detection point")
    fig.colorbar(image, ax=ax, label=field)
    ax.set_title(f"{path}: {values.shape[0]} pings")
    fig.tight_layout()
    fig.savefig(out)
    print(f"{out}: {values.shape[0]} pings x {values.shape[1]} points, {np.nanmin(values):g} to {np.nanmax(values):g}")


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(*sys.argv[1:])
