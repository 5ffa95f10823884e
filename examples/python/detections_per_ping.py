#!/usr/bin/python3
"""A detections-per-ping picture from the bathymetry records (7027) of a file.

    detections_per_ping.py FILE OUT.png [FIELD]

Each column of the picture is one ping, each row one detection; the colour is
FIELD of that detection: by default "Detection point", the sample at which the
bottom was detected (a two-way travel time in samples, not a depth), or any
other per-detection field such as "Rx Angle (deg)" (in degrees, as the report
shows it) or "Quality".
"""

import sys

import matplotlib

matplotlib.use("Agg")  # files only, no window
import matplotlib.pyplot as plt
import numpy as np

import tarvik

UNITS = {"Detection point": "samples", "Rx Angle (deg)": "degrees"}


def main(path, out, field="Detection point"):
    f = tarvik.open(path)
    values = f.arrays(7027, field)  # one row per ping, one column per detection
    if values.size == 0:
        sys.exit(f"{path} holds no 7027 records with {field!r}")
    fig, ax = plt.subplots(figsize=(9, 4))
    image = ax.imshow(values.T.astype(float), aspect="auto", origin="upper", interpolation="nearest")
    ax.set_xlabel("ping (7027 record)")
    ax.set_ylabel("detection")
    unit = UNITS.get(field)
    fig.colorbar(image, ax=ax, label=f"{field} ({unit})" if unit else field)
    ax.set_title(f"{path}: {field} of {values.shape[0]} pings")
    fig.tight_layout()
    fig.savefig(out)
    print(f"{out}: {values.shape[0]} pings x {values.shape[1]} detections, {field} "
          f"{np.nanmin(values):g} to {np.nanmax(values):g}")


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(*sys.argv[1:])
