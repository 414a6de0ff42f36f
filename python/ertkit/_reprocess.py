"""Reprocessing result files from their full-wave recordings."""

import errno
import numbers
import os

import numpy

from . import _ertkit
from ._binx import BinxFile
from ._core import fs_path
from ._results import BinFile


def _windows(windows):
    """(start, end) pairs in ms from pairs, or from the bounds alone; the extension checks
    that they follow one another."""
    if isinstance(windows, (str, bytes)) or not hasattr(windows, "__iter__"):
        raise TypeError(f"windows must be a list of (start, end) pairs in ms, or of bounds in ms, not {type(windows).__name__}")
    windows = list(windows)
    if all(isinstance(w, numbers.Real) for w in windows):
        bounds = [_ms(w) for w in windows]
        return list(zip(bounds, bounds[1:]))
    pairs = []
    for window in windows:
        if isinstance(window, (str, bytes)) or not hasattr(window, "__len__") or len(window) != 2:
            raise TypeError(f"windows must be a list of (start, end) pairs in ms, or of bounds in ms, not a list holding {window!r}")
        pairs.append((_ms(window[0]), _ms(window[1])))
    return pairs


def _ms(value):
    if not isinstance(value, numbers.Real) or isinstance(value, bool):
        raise TypeError(f"a window bound must be a number of ms, not {type(value).__name__}")
    return float(value)


def _frame(pandas, columns):
    """The report's columns as a DataFrame: integers that may be undefined as pandas' Int64,
    texts as str objects, reals (NaN where undefined) and flags as numpy arrays."""
    data = {}
    for name, kind, values, mask in columns:
        if kind == "integer":
            values = pandas.arrays.IntegerArray(values, mask)
        elif kind == "text":
            values = numpy.array(values, dtype=object)
        data[name] = values
    return pandas.DataFrame(data)


def _work_on_results(name, results, progress):
    """pandas, once `results` and `progress` are what a whole-file work of the package
    (reprocess, qc) takes; ImportError or TypeError saying what is wrong otherwise."""
    try:
        import pandas
    except ImportError as error:  # pragma: no cover - depends on the installation
        raise ImportError(f"{name} needs pandas") from error
    if not isinstance(results, (BinxFile, BinFile)):
        raise TypeError(f"{name} takes a BinxFile or BinFile from ertkit.open, not {type(results).__name__}")
    if progress is not None and not callable(progress):
        raise TypeError("progress must be a callable taking (done, total)")
    return pandas


def _gates(gates):
    """Log-spaced gates as the extension takes them: their name, or (first_ms, last_ms, per_decade)."""
    if gates is None or isinstance(gates, str):
        return gates
    if isinstance(gates, bytes) or not hasattr(gates, "__len__") or len(gates) != 3:
        raise TypeError(f"gates must be 'log:FIRST_MS:LAST_MS:PER_DECADE' or (first_ms, last_ms, per_decade), not {gates!r}")
    return tuple(_number("gates", value) for value in gates)


def _taper(taper):
    if taper is None:
        return False
    if not isinstance(taper, str):
        raise TypeError(f"taper must be None or a str (none or hann), not {type(taper).__name__}")
    if taper not in ("none", "hann"):
        raise ValueError(f"taper must be none or hann, not {taper!r}")
    return taper == "hann"


def _number(name, value):
    if not isinstance(value, numbers.Real) or isinstance(value, bool):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    return float(value)


def _optional_number(name, value):
    return None if value is None else _number(name, value)


def _arguments(stack, trim, windows, gates, taper, spikes, drift_order, mains, cole_cole):
    """The options as the extension takes them, their types checked; their values are checked
    by the extension, in the words the tool uses."""
    if not isinstance(stack, str):
        raise TypeError(f"stack must be a str (mean, median or trimmed), not {type(stack).__name__}")
    if not isinstance(trim, numbers.Real) or isinstance(trim, bool):
        raise TypeError(f"trim must be a number, not {type(trim).__name__}")
    if drift_order is not None and (not isinstance(drift_order, numbers.Integral) or isinstance(drift_order, bool)):
        raise TypeError(f"drift_order must be None or a whole number, not {type(drift_order).__name__}")
    if not isinstance(cole_cole, (bool, numpy.bool_)):
        raise TypeError(f"cole_cole must be True or False, not {type(cole_cole).__name__}")
    return (stack, float(trim), None if windows is None else _windows(windows), _gates(gates), _taper(taper),
            _optional_number("spikes", spikes), None if drift_order is None else max(-2 ** 31, min(int(drift_order), 2 ** 31 - 1)),
            _optional_number("mains", mains), bool(cole_cole))


def _report_columns(**options):
    """An empty report frame of the columns reprocess gives with these options (its keywords
    but `recordings` and `progress`); raises as reprocess does for options it refuses."""
    import pandas
    return _frame(pandas, _ertkit.reprocess_columns(*_arguments(**{**_DEFAULTS, **options})))


_DEFAULTS = dict(stack="mean", trim=0.25, windows=None, gates=None, taper=None, spikes=None, drift_order=None, mains=None,
                 cole_cole=False)


def reprocess(results, *, stack="mean", windows=None, recordings=None, trim=0.25, gates=None, taper=None, spikes=None,
              drift_order=None, mains=None, cole_cole=False, progress=None):
    """Computes Vp, I and the chargeabilities of each record again from its full-wave
    recordings, and compares them with the stored values.

    `results` is a BinxFile or BinFile from ``ertkit.open``. Each record is joined to the start
    of its voltage (.vmn) and current (.iab) recordings that holds its injection, found in the
    folder `recordings` (by default the folder of the file the results were read from; a file
    read from bytes has none and needs `recordings`). The injection is cut into half cycles,
    the self-potential drift removed, half cycles holding an overloaded sample dropped, and the
    rest stacked with `stack`: "mean" (what the meter does), "median", or "trimmed" (the mean
    of what is left once the `trim` fraction of the smallest and of the largest values are
    cut). Vp and I are read over the record's voltage window, M over `windows`: (start, end)
    pairs in ms after switch-off that follow one another, or the bounds alone
    (``[(40, 80), (80, 160)]`` or ``[40, 80, 160]``); by default each record's own windows.

    Beyond what the meter does (each off by default):

    - `gates`: gates spaced evenly in log time instead of windows, ``"log:10:1900:6"`` or
      ``(10, 1900, 6)``: from 10 to 1900 ms after switch-off, 6 a decade.
    - `taper`: ``"hann"`` weighs each window's or gate's samples highest at its middle;
      None (or ``"none"``) weighs them alike.
    - `spikes`: samples this many robust deviations from the other half cycles' are left
      out of the stack (e.g. 5).
    - `drift_order`: the self potential's drift removed as a polynomial of this order (0 to
      5) instead of the meter's line.
    - `mains`: the power line's noise at this frequency (Hz) and its harmonics removed.
    - `cole_cole`: a Cole-Cole decay (m, tau, c) fitted to each record's gates and stored.

    Values the tool refuses raise ValueError in its words (TypeError for a wrong type), before
    any work; so do windows or gates the decay does not hold, or a taper on gates of one
    sample, once the records are read.

    Returns ``(new_file, frame)``. `new_file` is a new BinxFile (a BIN file gives BINX records
    made from its records) whose records are those of `results` with the recomputed Vp, I,
    chargeabilities, windows, deviations, stacked half cycle and stack count; a record that
    could not be reprocessed keeps its values. `frame` is a pandas DataFrame, one row per
    record, with the columns of the tool's ``reprocess --report`` CSV: whether the record was
    reprocessed (ok) or why not (failure), the recordings, starts and channels joined, the
    half cycles used and dropped, the stored and new Vp, I and M with their relative
    differences and the new standard deviations, and R and rho_a stored and new; processed
    beyond the meter, also the spikes left out, the power-line frequencies removed, the gates
    and the Cole-Cole model (cc_m, cc_tau_s, cc_c with their deviations, cc_misfit,
    cc_failure).

    `progress` (see the package's documentation) counts the recordings read, then the records
    computed (``ertkit.tqdm_progress(unit="item", unit_scale=False)`` shows them as a bar); an
    exception raised in it, or Ctrl-C, stops the work. The work runs with the GIL released,
    the recordings read in parallel. Needs pandas.
    """
    pandas = _work_on_results("reprocess", results, progress)
    arguments = _arguments(stack, trim, windows, gates, taper, spikes, drift_order, mains, cole_cole)
    origin = results._origin
    result_file = origin[1] if origin is not None and origin[0] == "path" else None
    if recordings is not None:
        recordings = fs_path(recordings)
        if not os.path.isdir(recordings):
            missing = not os.path.exists(recordings)
            error = FileNotFoundError if missing else NotADirectoryError
            raise error(errno.ENOENT if missing else errno.ENOTDIR, "no folder of recordings", os.fsdecode(recordings))
    elif result_file is None:
        raise ValueError("these results were not read from a path: recordings= must give the folder of their recordings")
    core, columns = _ertkit.reprocess(results._core, *arguments, recordings, result_file or b"", progress)
    new_file = BinxFile._from_core(core)
    new_file._edited = True  # pickled by value: it is nowhere on disk
    return new_file, _frame(pandas, columns)
