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
    window (ms after the current is cut), and the Cole-Cole model's decay, dashed, when the
    record keeps one."""
    ax = _axes(ax)
    middles, values = record.decay()
    ax.plot(middles, values, "o-", label="windows")
    model = record.cole_cole
    if model is not None:
        bounds = record.window_times
        times, curve = record.cole_cole_decay(1.05 * max(bounds[-1], 1.0) if bounds else None)
        ax.plot(times, curve, "--", color="#2a9d2a", label="Cole-Cole m {:.4g} \u03c4 {:.4g} s c {:.3g}".format(*model))
        # The model's first milliseconds rise far above the first window: the scale follows
        # the windows, giving the curve at most a third more, as the tool's plot does.
        high = max(values.max(), 0.0) if len(values) else 0.0
        late = curve[times >= bounds[0]] if bounds else curve
        if high > 0:
            ax.set_ylim(0.0, 1.15 * max(high, min(late.max() if len(late) else 0.0, 1.3 * high)))
        ax.legend(loc="upper right", fontsize="small")
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


def pseudo_section_layout(results, column="rhoa_ohm_m", skip_ignored=False):
    """What plot_pseudo_section draws, as the command line's pseudo-section lays it out: a dict
    of the markers (``abscissa``, ``depth``, ``ignore``, ``values`` and the ``records`` in
    each; repeats of one quadrupole are one marker, the mean of those not ignored, or of all
    when every one is), the ``panels`` (one per array, judged from the electrodes' distances,
    split per spacing where markers would share a position; each with its ``title`` and the
    indexes of its ``points``), the ``electrodes`` along the line, ``positions`` of every
    record and the counts the plot's notes give. ``column`` is a column of the record table or
    a quantity of the command line's --quantity (rhoa, m, r, vp, i, k)."""
    table = _table(results)
    column = _quantity(column)["column"]
    values = np.asarray(table[column], dtype=float)
    ignore = np.asarray(table["ignore"], dtype=bool)
    drawn = np.isfinite(values) & ~(ignore & bool(skip_ignored))
    return _ertkit.section_layout(_electrode_points(table), ignore, drawn, values)


def _quantity(column):
    for quantity in _ertkit.section_quantities():
        if column in (quantity["key"], quantity["column"]):
            return quantity
    return {"key": column, "column": column, "symbol": column, "unit": "", "log": True, "title": column}


def _colour_norm(values, log):
    """The colour scale over the values, widened around a single value, as the command line's."""
    from matplotlib.colors import LogNorm, Normalize
    low, high = float(values.min()), float(values.max())
    if high > low:
        return LogNorm(low, high) if log else Normalize(low, high)
    if log:
        return LogNorm(low / 1.5, low * 1.5)
    pad = abs(low) * 0.1 or 1.0
    return Normalize(low - pad, high + pad)


def _colour_bar(figure, axes, norm, cmap, title):
    """A colour bar in the values' unit: on a log scale, its ends and each decade between them
    (and its 2 and 5 within two decades), away from the ends, as the command line's bar."""
    from matplotlib.cm import ScalarMappable
    from matplotlib.colors import LogNorm
    from matplotlib.ticker import FuncFormatter, LogLocator, NullLocator
    bar = figure.colorbar(ScalarMappable(norm=norm, cmap=cmap), ax=axes, label=title)
    if isinstance(norm, LogNorm):
        subs = (1.0,) if norm.vmax >= 100.0 * norm.vmin else (1.0, 2.0, 5.0)
        inner = [t for t in LogLocator(subs=subs).tick_values(norm.vmin, norm.vmax)
                 if 0.06 < norm(t) < 0.94]
        bar.set_ticks([norm.vmin, *inner, norm.vmax])
        bar.ax.yaxis.set_minor_locator(NullLocator())
        bar.ax.yaxis.set_major_formatter(FuncFormatter(lambda value, _: f"{value:.3g}"))
    return bar


def _panel_axes(ax, count):
    if ax is None:
        try:
            import matplotlib.pyplot as plt
        except ImportError as error:  # pragma: no cover - depends on the installation
            raise ImportError("the ertkit plot helpers need matplotlib") from error
        figure = plt.figure(figsize=(8.0, 1.5 + 2.8 * count), layout="constrained")
        return list(figure.subplots(count, 1, sharex=True, squeeze=False)[:, 0])
    axes = [ax] if hasattr(ax, "scatter") else list(ax)
    if len(axes) != count:
        raise ValueError(f"the pseudo-section has {count} panel{'s' if count != 1 else ''}: "
                         f"pass as many axes, or none, not {len(axes)}")
    return axes


def plot_pseudo_section(results, ax=None, column="rhoa_ohm_m", skip_ignored=False):
    """A pseudo-section of a result file (or of its to_numpy() table), drawn as the command
    line's ``plot`` draws it: each record at its distance along the line and its pseudo-depth
    (pseudo_section_layout), coloured by the column (apparent resistivity by default; log
    colours when every value is positive, except for M), repeats of one quadrupole drawn once,
    ignored records hollow (left out with ``skip_ignored``), the electrodes as triangles along
    the top, and one panel per array. ``ax`` is an Axes, or one per panel; new ones by default.
    Returns the list of panel Axes; the colour bar, in the column's unit, spans them all."""
    from matplotlib import colormaps
    quantity = _quantity(column)
    table = _table(results)
    layout = pseudo_section_layout(table, quantity["column"], skip_ignored)
    values = layout["values"]
    if not len(values):
        raise ValueError(f"no record with a value of {quantity['symbol']} to plot")
    panels = layout["panels"]
    axes = _panel_axes(ax, len(panels))
    norm = _colour_norm(values, quantity["log"] and bool((values > 0).all()))
    cmap = colormaps["viridis"]
    abscissa, depth, ignore, electrodes = layout["abscissa"], layout["depth"], layout["ignore"], layout["electrodes"]
    span = np.concatenate([abscissa, electrodes])
    low, high = float(span.min()), float(span.max())
    pad = (high - low) * 0.03 or (abs(low) * 0.1 or 1.0)
    deepest = float(depth.max()) * 1.1 or 1.0
    size = float(np.clip(780.0 / (2.5 * max(len(electrodes), 1)), 1.5, 9.0)) ** 2
    for axes_of_panel, panel in zip(axes, panels):
        points = panel["points"]
        measured, hollow = points[~ignore[points]], points[ignore[points]]
        axes_of_panel.scatter(abscissa[measured], depth[measured], c=values[measured], cmap=cmap, norm=norm, s=size,
                              edgecolors="#333333", linewidths=0.5, label="readings")
        if len(hollow):
            axes_of_panel.scatter(abscissa[hollow], depth[hollow], s=size, facecolors="white",
                                  edgecolors=cmap(norm(values[hollow])), linewidths=1.5, label="ignored")
        axes_of_panel.plot(electrodes, np.ones(len(electrodes)), "v", color="black", markersize=4, clip_on=False,
                           transform=axes_of_panel.get_xaxis_transform(), label="electrodes")
        axes_of_panel.set_xlim(low - pad, high + pad)
        axes_of_panel.set_ylim(deepest, 0.0)
        axes_of_panel.set_xlabel(layout["distance_title"])
        axes_of_panel.set_ylabel("pseudo-depth (m)")
        if len(panels) > 1:
            axes_of_panel.set_title(panel["title"], loc="left", pad=10)
    figure = axes[0].figure
    _colour_bar(figure, axes, norm, cmap, quantity["title"])
    figure.suptitle(f"{quantity['title']} pseudo-section: {layout['drawn']} of {len(table)} records plotted"
                    f"{' (ignored ones left out)' if skip_ignored else ', ignored ones hollow'}")
    return axes
