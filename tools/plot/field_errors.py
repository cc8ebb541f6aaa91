#!/usr/bin/python3
"""Plot the errors of a field-distortion check: error vectors before and
after the correction in three horizontal slices through the surveyed volume,
and histograms of the position and orientation errors.

Usage: field_errors.py DATA PNG [TITLE]

DATA is the CSV that "mstar-calibrate check --plot" writes: true position
(tx,ty,tz, feet), position error before and after (bx,by,bz and ax,ay,az,
inches) and orientation error before and after (bo, ao, degrees).
"""
import csv
import itertools
import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib import colors  # noqa: E402

SLICES = 3


def read_rows(path):
    with open(path, newline="") as f:
        return [{k: float(v) for k, v in row.items()} for row in csv.DictReader(f)]


def length(row, prefix):
    return math.sqrt(sum(row[prefix + a] ** 2 for a in "xyz"))


def rms(values):
    return math.sqrt(sum(v * v for v in values) / len(values)) if values else 0.0


def magnification(largest_before, largest_after):
    """The largest of 1, 2, 5, 10, 20, ... (up to 1000) that keeps the errors
    after within the largest before."""
    factor = 1
    for step in itertools.cycle((2, 2.5, 2)):
        if largest_after * factor * step > largest_before or factor >= 1000:
            return factor
        factor = round(factor * step)


def slices_by_height(rows):
    """Rows split into SLICES bands of the vertical axis (y), lowest first."""
    ordered = sorted(rows, key=lambda r: r["ty"])
    n = len(ordered)
    return [ordered[i * n // SLICES:(i + 1) * n // SLICES] for i in range(SLICES)]


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit("usage: field_errors.py DATA PNG [TITLE]")
    rows = read_rows(sys.argv[1])
    if not rows:
        sys.exit("no data to plot")
    title = sys.argv[3] if len(sys.argv) == 4 else "field correction check"

    before = [length(r, "b") for r in rows]
    after = [length(r, "a") for r in rows]
    largest = max(before) or 1.0
    span = max(max(r[k] for r in rows) - min(r[k] for r in rows) for k in ("tx", "tz")) or 1.0
    # The largest error before is drawn a tenth of the volume long; the errors
    # after are magnified (1, 2, 5, 10, ...) to show what is left.
    scale = largest / (0.1 * span)
    magnify = magnification(largest, max(after))
    norm = colors.Normalize(0.0, largest)

    fig, axes = plt.subplots(3, SLICES, figsize=(5 * SLICES, 14), layout="constrained")
    fig.suptitle(title)
    for column, band in enumerate(slices_by_height(rows)):
        low, high = band[0]["ty"], band[-1]["ty"]
        for row_index, (prefix, label, factor) in enumerate((("b", "before", 1),
                                                             ("a", "after", magnify))):
            ax = axes[row_index][column]
            arrows = ax.quiver([r["tx"] for r in band], [r["tz"] for r in band],
                               [r[prefix + "x"] * factor for r in band],
                               [r[prefix + "z"] * factor for r in band],
                               [length(r, prefix) for r in band], cmap="viridis", norm=norm,
                               angles="xy", scale_units="xy", scale=scale, width=0.004)
            drawn = f", arrows x{factor}" if factor != 1 else ""
            ax.set_title(f"{label}: y {low:.1f} .. {high:.1f} ft{drawn}")
            ax.set_xlabel("x (ft)")
            ax.set_ylabel("z (ft)")
            ax.set_aspect("equal", adjustable="datalim")
    fig.colorbar(arrows, ax=axes[:2, :].ravel().tolist(), shrink=0.6,
                 label="position error (in); arrows: its x and z parts")

    bins = [largest * i / 30 for i in range(31)]
    ax = axes[2][0]
    ax.hist(before, bins=bins, alpha=0.6, label="before")
    ax.hist(after, bins=bins, alpha=0.6, label="after")
    ax.set_yscale("log")
    ax.set_xlabel("position error (in)")
    ax.set_ylabel("pairs")
    ax.legend()

    ori_before = [r["bo"] for r in rows]
    ori_after = [r["ao"] for r in rows]
    top = max(ori_before + ori_after) or 1.0
    ax = axes[2][1]
    ax.hist(ori_before, bins=[top * i / 30 for i in range(31)], alpha=0.6, label="before")
    ax.hist(ori_after, bins=[top * i / 30 for i in range(31)], alpha=0.6, label="after")
    ax.set_yscale("log")
    ax.set_xlabel("orientation error (deg)")
    ax.legend()

    ax = axes[2][2]
    ax.axis("off")
    ax.text(0.0, 0.9, "\n".join([
        f"{len(rows)} pairs",
        "",
        "position (in)       RMS      max",
        f"  before       {rms(before):8.3f} {max(before):8.3f}",
        f"  after        {rms(after):8.3f} {max(after):8.3f}",
        "",
        "orientation (deg)   RMS      max",
        f"  before       {rms(ori_before):8.3f} {max(ori_before):8.3f}",
        f"  after        {rms(ori_after):8.3f} {max(ori_after):8.3f}",
    ]), family="monospace", va="top")

    fig.savefig(sys.argv[2], dpi=90)


if __name__ == "__main__":
    main()
