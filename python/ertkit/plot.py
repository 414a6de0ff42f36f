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


def _value_limits(values, margin=0.05):
    """y-limits that hold every value given, with a margin; None when there is none."""
    finite = values[np.isfinite(values)]
    if finite.size == 0:
        return None
    low, high = float(finite.min()), float(finite.max())
    pad = (high - low) * margin or max(abs(high) * margin, 1.0)
    return low - pad, high + pad


def _time_axis(ax):
    """Date ticks that stay apart whatever the length of the start: a few ticks, each label
    only as long as what changes between them."""
    import matplotlib.dates as mdates
    locator = mdates.AutoDateLocator(minticks=3, maxticks=7)
    ax.xaxis.set_major_locator(locator)
    ax.xaxis.set_major_formatter(mdates.ConciseDateFormatter(locator))


def plot_start(start, ax=None, channels=None):
    """The channels of a recording's start against time.

    An overloaded sample says only that the input was out of range, so it is left out of the
    line and of the y-limits (a spike would otherwise flatten the signal) and marked by a
    cross, on the edge of the axes when it lies beyond them. PPS pulses are ticks along the
    bottom.
    """
    ax = _axes(ax)
    channels = range(start.n_channels) if channels is None else channels
    times = start.times
    data, overload = start.data, start.overload
    drawn = []
    for c in channels:
        flagged = overload[:, c]
        (line,) = ax.plot(times, np.where(flagged, np.nan, data[:, c]), linewidth=0.8, label=f"channel {c}")
        drawn.append((c, flagged, line.get_color()))
    kept = np.concatenate([data[~flagged, c] for c, flagged, _ in drawn]) if drawn else np.empty(0)
    limits = _value_limits(kept)
    if limits is None:  # nothing but overloads: show them as they are
        limits = _value_limits(np.concatenate([data[flagged, c] for c, flagged, _ in drawn]) if drawn else kept)
    if limits is not None:
        ax.set_ylim(*limits)
    for c, flagged, color in drawn:
        if flagged.any():
            values = data[flagged, c] if limits is None else np.clip(data[flagged, c], *limits)
            ax.plot(times[flagged], values, "x", color=color, markersize=4, clip_on=False)
    pulses = times[start.pps]
    if len(pulses):
        ax.plot(pulses, np.zeros(len(pulses)), "|", color="black", markersize=8,
                transform=ax.get_xaxis_transform(), label="PPS")
    _time_axis(ax)
    ax.set_xlabel("time (UTC)")
    ax.set_ylabel(f"sample ({start.sample_unit})")
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


def _electrode_points(table):
    """A, B, M, N (x, y, z) of every row of a record table, as an (n, 4, 3) array."""
    return np.stack([np.stack([table[f"{e}{axis}"] for axis in "xyz"], axis=-1) for e in "abmn"], axis=1).astype(float)


def _table(results):
    return results.to_numpy() if hasattr(results, "to_numpy") else results


def pseudo_section_positions(table):
    """Distance along the line and pseudo-depth of every row of a record table (to_numpy()),
    NaN where fewer than two electrodes are not at infinity or where a position is not a
    finite number.

    The line is fitted to the electrodes not at infinity (9999998 or beyond); along x or y the
    distance is that coordinate, along another direction it runs from the line's start. The
    abscissa is the mean distance of a row's electrodes not at infinity, the pseudo-depth 0.19
    times the largest distance between two of them, one rule for every array that
    approximates the median depth of investigation over a uniform earth. The command line's
    pseudo-section places its markers by the same code (the extension's section_layout).
    """
    table = _table(table)
    everything = np.ones(len(table), dtype=bool)
    positions = _ertkit.section_layout(_electrode_points(table), ~everything, everything)["positions"]
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
