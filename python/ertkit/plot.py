"""Plot helpers; they need matplotlib, which the rest of the package does not.

Each helper draws on the axes it is given (or on new ones) and returns them.
"""

import numpy as np

from . import _ertkit


def _axes(ax):
    if ax is not None:
        return ax
    try:
        import matplotlib.pyplot as plt
    except ImportError as error:  # pragma: no cover - depends on the installation
        raise ImportError("the ertkit plot helpers need matplotlib") from error
    return plt.figure().add_subplot()


def plot_start(start, ax=None, channels=None):
    """The channels of a recording's start against time, with overloaded samples marked by
    crosses and PPS pulses by ticks along the bottom."""
    ax = _axes(ax)
    channels = range(start.n_channels) if channels is None else channels
    times = start.times
    data, overload = start.data, start.overload
    for c in channels:
        (line,) = ax.plot(times, data[:, c], linewidth=0.8, label=f"channel {c}")
        flagged = overload[:, c]
        if flagged.any():
            ax.plot(times[flagged], data[flagged, c], "x", color=line.get_color(), markersize=4)
    pulses = times[start.pps]
    if len(pulses):
        ax.plot(pulses, np.zeros(len(pulses)), "|", color="black", markersize=8,
                transform=ax.get_xaxis_transform(), label="PPS")
    ax.set_xlabel("time (UTC)")
    ax.set_ylabel("sample value")
    ax.set_title(f"start {start.index}: {start.n_samples} samples of {start.sample_period / np.timedelta64(1, 'ms'):g} ms")
    ax.legend(loc="upper right", fontsize="small")
    return ax


def plot_decay(record, ax=None):
    """A record's IP decay: the chargeability of each window (mV/V) at the middle of the
    window (ms after the current is cut)."""
    ax = _axes(ax)
    middles, values = record.decay()
    ax.plot(middles, values, "o-")
    ax.set_xlabel("time after cut-off (ms)")
    ax.set_ylabel("chargeability (mV/V)")
    ax.set_title(f"record {record.index}: M = {record.m_mV_V:g} mV/V")
    return ax


def pseudo_section_positions(table):
    """Abscissa and pseudo-depth of every row of a record table (to_numpy()), NaN where fewer
    than two electrodes are not at infinity.

    The abscissa is the mean x of the electrodes not at infinity (9999998 or beyond); the
    pseudo-depth is 0.19 times the largest distance between two of them, one rule for every
    array that approximates the median depth of investigation over a uniform earth. The
    command-line plots place measures the same way (the same code computes both).
    """
    points = np.stack([np.stack([table[f"{e}{axis}"] for axis in "xyz"], axis=-1) for e in "abmn"], axis=1)
    positions = _ertkit.pseudo_positions(points.astype(float))
    return positions[:, 0], positions[:, 1]


def plot_pseudo_section(results, ax=None, column="rhoa_ohm_m"):
    """A pseudo-section of a result file (or of its to_numpy() table): one point per record at
    its midpoint and pseudo-depth, coloured by log10 of the column (apparent resistivity by
    default). Ignored records and records without a value are left out."""
    ax = _axes(ax)
    table = results.to_numpy() if hasattr(results, "to_numpy") else results
    midpoint, depth = pseudo_section_positions(table)
    values = np.asarray(table[column], dtype=float)
    keep = np.isfinite(values) & (values > 0) & np.isfinite(midpoint) & ~table["ignore"]
    points = ax.scatter(midpoint[keep], depth[keep], c=np.log10(values[keep]), cmap="viridis", s=30)
    ax.figure.colorbar(points, ax=ax, label=f"log10 {column}")
    ax.set_title(f"pseudo-section of {column} ({keep.sum()} records)")
    if not ax.yaxis_inverted():
        ax.invert_yaxis()
    ax.set_xlabel("x (m)")
    ax.set_ylabel("pseudo-depth (m)")
    return ax
