"""Many files as one Dask collection (needs dask; distributed to run on a cluster).

``reprocess`` reprocesses many result files from their recordings, one task per file, and gives
their reports as one frame. ``read_results`` gives the records of many result files as one ``dask.dataframe``, one row per
record, with the columns of ``to_pandas`` and a ``file`` column; ``read_recordings`` gives the
starts of many recordings as a metadata frame and one lazy ``dask.array`` of their samples.
Both are built from one task per file (``dask.dataframe.from_map`` for the frame, whose one
graph layer stays cheap for thousands of files, ``dask.delayed`` for the recordings), so they
run unchanged on the threads of the local scheduler, on processes, or on a
``distributed.Client``'s workers: each file is read where its task runs (its path must be
readable there). A task that fails on a
worker that died is run again elsewhere by Dask, and reading is free of side effects, so the
result is the same.

Building a collection reads each file once, in parallel on the same scheduler and in batches
of files, for what the collection's shape needs (a result file is read whole for its records
and window columns, a recording header-only for its starts, samples and channels); computing
it reads the files again.

Errors name the file they come from (``reprocess`` also: a file none of whose records could be
joined to its recordings, or whose decay does not hold the windows or gates asked for). ``errors="raise"`` (the default) fails the building, or
the computation, with the first file that cannot be read, or that changed in between (other
records, starts or samples than when the collection was built: a file cut meanwhile); the
error keeps its type (``ertkit.FormatError``, ``OSError``...). ``errors="skip"`` leaves such a
file out instead, and says so in a warning on the "ertkit" logger (of the worker that read it,
when computing): the frame then has no rows for it, the samples NaN where its starts were.
"""

import functools
import glob as _glob
import logging
import os

import dask
import numpy as np
import pandas as pd
from dask import array as da
from dask import dataframe as dd

from . import _ertkit
from . import open as _open_file
from ._core import counted, fs_path
from ._recording import Recording
from ._results import ResultFile

__all__ = ["read_results", "read_recordings", "result_summary", "recording_summary", "reprocess"]


def _paths(paths_or_glob):
    """A list of paths: the files a glob pattern matches (sorted), or the paths given."""
    if isinstance(paths_or_glob, (str, bytes, os.PathLike)):
        pattern = os.fspath(paths_or_glob)
        if _glob.has_magic(pattern):
            found = sorted(_glob.glob(pattern))
            if not found:
                raise FileNotFoundError(f"no file matches {os.fsdecode(pattern)}")
            return found
        return [pattern]
    paths = [os.fspath(path) for path in paths_or_glob]
    if not paths:
        raise ValueError("no files given")
    return paths


def _name(path):
    return os.fsdecode(path)


_log = logging.getLogger("ertkit")


def _errors_mode(errors):
    if errors not in ("raise", "skip"):
        raise ValueError(f"errors must be 'raise' or 'skip', not {errors!r}")
    return errors


def _named(path, error):
    """`error` said again with the name of the file it came from, of the same type when that
    type takes a message; an error that names the file already is kept as it is."""
    name = _name(path)
    if name in str(error) or (isinstance(error, OSError) and error.filename is not None):
        return error
    try:
        named = type(error)(f"{name}: {error}")
    except Exception:
        named = RuntimeError(f"{name}: {type(error).__name__}: {error}")
    return named


def _failed(path, error, errors):
    """A file that could not be read, or changed: raised with its name, or logged as skipped."""
    if errors == "raise":
        raise _named(path, error) from error
    _log.warning("%s skipped: %s", _name(path), _named(path, error))


# Files per task of a summary pass: a file's summary takes about a millisecond, a task of a
# distributed scheduler a few, so files are summarised in batches.
_SUMMARY_BATCH = 25


def _summaries_of(summarise, paths):
    # Failures come back as values: the caller raises the first, or skips each, by name.
    out = []
    for path in paths:
        try:
            out.append((summarise(path), None))
        except Exception as error:
            out.append((None, _named(path, error)))
    return out


def _summaries(summarise, paths, errors):
    """(paths, summaries): summarise(path) of every path, in order, computed in batches on the
    current scheduler, without the files that failed when errors is "skip"."""
    batches = [paths[i:i + _SUMMARY_BATCH] for i in range(0, len(paths), _SUMMARY_BATCH)]
    done = dask.compute(*[dask.delayed(_summaries_of, pure=True)(summarise, batch) for batch in batches])
    kept, summaries = [], []
    for path, (summary, error) in zip(paths, (item for batch in done for item in batch)):
        if error is not None:
            _failed(path, error, errors)
            continue
        kept.append(path)
        summaries.append(summary)
    return kept, summaries


# --- result files --------------------------------------------------------------------------

def result_summary(path):
    """What a result file's table would hold, read without making the table: a dict of the
    number of ``records``, of ``windows`` (window columns), ``first_time`` and ``last_time``
    (start times of the records, numpy.datetime64[ns] or NaT)."""
    opened = _open_file(path)
    if not isinstance(opened, ResultFile):
        raise ValueError(f"{_name(path)} is a recording, not a result file (read_recordings reads recordings)")
    summary = opened._core.summary()
    for end in ("first", "last"):
        ns = summary.pop(f"{end}_time_ns")
        summary[f"{end}_time"] = np.datetime64("NaT", "ns") if ns is None else np.datetime64(ns, "ns")
    return summary


@functools.lru_cache(maxsize=None)
def _result_meta(windows):
    """An empty frame of the columns and dtypes read_results gives for `windows` window
    columns: a file column, then those of to_pandas, taken from an empty table."""
    from . import BinxFile, BinxRecord
    probe = BinxFile()
    if windows:
        probe.append(BinxRecord(windows=[0.0] * windows, window_times=[20.0 * w for w in range(windows + 1)]))
    frame = probe.to_pandas().iloc[:0]
    frame.insert(0, "file", pd.Series(dtype=object))
    return frame


def _results_frame(path, first_row, records, windows, errors):
    try:
        opened = _open_file(path)
        if not isinstance(opened, ResultFile):
            raise ValueError("no longer a result file")
        frame = opened.to_pandas()
        if len(frame) != records:
            raise ValueError(f"{counted(len(frame), 'record')} where it had {records} when the collection was built"
                             " (the file changed or was cut)")
    except Exception as error:
        _failed(path, error, errors)
        return _result_meta(windows).copy()
    frame.insert(0, "file", _name(path))
    # Window columns the file lacks are NaN (float64, as the window columns are).
    frame = frame.reindex(columns=_result_meta(windows).columns)
    frame.index = pd.RangeIndex(first_row, first_row + len(frame))
    return frame


def read_results(paths_or_glob, errors="raise"):
    """The records of many BINX and BIN files as one dask.dataframe.

    `paths_or_glob` is a glob pattern (``"survey/*.binx"``) or paths. One row per record, in
    file order then record order, with a ``file`` column (the path it came from) before the
    columns of ``ResultFile.to_pandas``; a file with fewer windows than the file with the most
    has NaN in the window columns it lacks. The index runs over all rows (0, 1, 2...), one
    partition per file, with known divisions. `errors` is "raise" or "skip" (see the module).
    """
    errors = _errors_mode(errors)
    paths, summaries = _summaries(result_summary, _paths(paths_or_glob), errors)
    if not paths:
        return dd.from_pandas(_result_meta(0), npartitions=1)
    windows = max(summary["windows"] for summary in summaries)
    records = [summary["records"] for summary in summaries]
    firsts = np.concatenate([[0], np.cumsum(records)]).tolist()
    # Divisions are the first index of each partition and the last index of the last one; an
    # empty file would repeat one, so with an empty file they are left unknown.
    known = all(records)
    return dd.from_map(_results_frame, paths, firsts[:-1], records, args=(windows, errors),
                       meta=_result_meta(windows), divisions=(*firsts[:-1], firsts[-1] - 1) if known else None,
                       label="ertkit-results", enforce_metadata=False)


# --- recordings ----------------------------------------------------------------------------

_START_COLUMNS = ["n_samples", "n_channels", "start_time_ns", "sample_period_ns", "battery", "temperature",
                  "tx_current", "max_rx", "gmt_offset", "multi_tx_key", "config", "input_voltage"]


def recording_summary(path):
    """The starts of a recording as a list of dicts of their set-up values (``header``), with
    the recording's ``is_vmn``, ``serial``, ``user_serial`` and ``sample_unit``. A header-only
    open: the reader walks the pages as a full reading does but keeps no sample value."""
    path = fs_path(path)
    if not path.lower().endswith((b".iab", b".vmn", b".irw", b".vrw")):
        raise ValueError(f"{_name(path)} is not a recording (.iab, .vmn, .irw, .vrw; read_results reads result files)")
    core = _ertkit.RecordingCore.outline(path)
    own = {"is_vmn": core.is_vmn, "serial": core.serial, "user_serial": core.user_serial,
           "sample_unit": core.sample_unit}
    return [{**{name: header[name] for name in _START_COLUMNS}, **own}
            for header in (core.header(start) for start in range(core.n_starts))]


def _recording_arrays(path, shapes, channels, dtype, errors):
    """The samples of every start of a recording, each padded with NaN to `channels` columns;
    `shapes` are the (samples, channels) of its starts when the collection was built."""
    try:
        recording = _open_file(path)
        if not isinstance(recording, Recording):
            raise ValueError("no longer a recording")
        now = [(start.n_samples, start.n_channels) for start in recording]
        if now != shapes:
            raise ValueError(f"{counted(len(now), 'start')} of {now} (samples, channels) where it had {shapes} when the"
                             " collection was built (the file changed or was cut)")
        out = []
        for start in recording:
            data = start.data_as(dtype)
            if data.shape[1] < channels:
                data = np.hstack([data, np.full((data.shape[0], channels - data.shape[1]), np.nan, dtype=dtype)])
            out.append(data)
        return out
    except Exception as error:
        _failed(path, error, errors)
        return [np.full((samples, channels), np.nan, dtype=dtype) for samples, _ in shapes]


def _start_samples(arrays, index):
    return arrays[index]


def read_recordings(paths, errors="raise", dtype=np.float64):
    """The starts of many recordings: ``(starts, samples)``.

    `starts` is a pandas DataFrame with one row per start (file, start index, set-up values,
    ``start_time`` and ``sample_period``, and ``first_row``, where the start's samples begin
    in `samples`). `samples` is a lazy dask.array of `dtype`, (all samples, most channels),
    the starts one after another, one chunk per start; a start with fewer channels than the
    most has NaN in the others. ``samples[row.first_row:row.first_row + row.n_samples]`` is
    the start of row `row`. `dtype` float32 gives the samples in the precision the recordings
    store them, in half the memory. `errors` is "raise" or "skip" (see the module).
    """
    errors = _errors_mode(errors)
    dtype = np.dtype(dtype)
    if dtype not in (np.float64, np.float32):
        raise ValueError(f"dtype must be float64 or float32, not {dtype}")
    paths, summaries = _summaries(recording_summary, _paths(paths), errors)
    rows = []
    for path, starts in zip(paths, summaries):
        for index, start in enumerate(starts):
            rows.append({"file": _name(path), "start": index, **start})
    starts = pd.DataFrame(rows, columns=["file", "start", *_START_COLUMNS, "is_vmn", "serial", "user_serial",
                                         "sample_unit"])
    starts["start_time"] = pd.to_datetime(starts["start_time_ns"], unit="ns")
    starts["sample_period"] = pd.to_timedelta(starts["sample_period_ns"], unit="ns")
    starts = starts.drop(columns=["start_time_ns", "sample_period_ns"])
    starts["first_row"] = np.concatenate([[0], np.cumsum(starts["n_samples"].to_numpy())[:-1]]).astype(np.int64) \
        if len(starts) else np.empty(0, dtype=np.int64)
    channels = int(starts["n_channels"].max()) if len(starts) else 0
    chunks = []
    for path, file_starts in zip(paths, summaries):
        if not file_starts:
            continue
        shapes = [(start["n_samples"], start["n_channels"]) for start in file_starts]
        arrays = dask.delayed(_recording_arrays, pure=True)(path, shapes, channels, dtype, errors)
        for index, start in enumerate(file_starts):
            piece = dask.delayed(_start_samples, pure=True)(arrays, index)
            chunks.append(da.from_delayed(piece, shape=(start["n_samples"], channels), dtype=dtype))
    samples = da.concatenate(chunks, axis=0) if chunks else da.empty((0, channels), dtype=dtype)
    return starts, samples


# --- reprocessing --------------------------------------------------------------------------

def _output_paths(paths, output):
    """Where each reprocessed file is written in the folder `output`: its name with .binx. Two
    inputs of one name, or an input the output would replace, are refused before any work."""
    output = os.path.abspath(os.fsdecode(fs_path(output)))
    if not os.path.isdir(output):
        raise NotADirectoryError(f"{output}: the output folder of reprocess must be a folder that exists")
    out, inputs = [], {os.path.abspath(_name(path)) for path in paths}
    for path in paths:
        target = os.path.join(output, os.path.splitext(os.path.basename(_name(path)))[0] + ".binx")
        if target in inputs:
            raise ValueError(f"{_name(path)}: its output {target} would replace an input; write to another folder")
        out.append(target)
    for target, path in zip(out, paths):
        clashes = [_name(other) for other, t in zip(paths, out) if t == target]
        if len(clashes) > 1:
            raise ValueError(f"{' and '.join(clashes)} would both be written to {target}: give files of different names")
    return out


def _reprocess_one(path, target, options, columns, errors):
    """The report of one file, with its path; the reprocessed file written to `target` when
    one is given, once the whole file is reprocessed. A failure is raised with the file's
    name, or logged and gives no rows."""
    from ._reprocess import reprocess as _reprocess_file
    try:
        results = _open_file(path)
        if not isinstance(results, ResultFile):
            raise ValueError("is a recording, not a result file")
        new, frame = _reprocess_file(results, **options)
        if len(frame) and not frame["ok"].any():
            raise ValueError(f"no record could be reprocessed ({frame['failure'].iloc[0]})")
        if target is not None:
            new.write(target)
    except Exception as error:
        _failed(path, error, errors)
        frame = columns.copy()
    frame.insert(0, "file", _name(path))
    return frame


def reprocess(paths_or_glob, *, output=None, errors="raise", **options):
    """Reprocesses many result files from their recordings, one Dask task per file, and
    returns their reports as one pandas DataFrame.

    `paths_or_glob` is a glob pattern (``"survey/*.binx"``) or paths of BINX and BIN files; each
    is reprocessed as ``ertkit.reprocess`` does, with `options` its keywords (``stack``,
    ``windows``, ``gates``, ``taper``, ``spikes``, ``drift_order``, ``mains``,
    ``cole_cole``, ``trim``, ``recordings``), the recordings read where the task runs. The
    frame has a ``file`` column (the path) before the report's columns, the rows of each file
    in file order, indexed 0, 1, 2... over all of them.

    `output`, a folder, is where each reprocessed file is written, under its name with
    ``.binx``, by the task that reprocessed it (atomically, once the file is reprocessed whole;
    a file that fails writes nothing). By default nothing is written.

    Options are checked before any task runs. `errors` is "raise" or "skip" (see the module):
    a file that cannot be read, none of whose records could be joined to its recordings, or
    whose decay does not hold the windows or gates asked for, fails the computation with its
    name, or is left out with a warning. The tasks run on the current Dask scheduler (threads
    by default, or a ``distributed.Client``'s workers).
    """
    from ._reprocess import _report_columns
    errors = _errors_mode(errors)
    if "progress" in options:
        raise TypeError("reprocess on Dask takes no progress: Dask's own diagnostics show the tasks")
    columns = _report_columns(**{k: v for k, v in options.items() if k != "recordings"})
    paths = _paths(paths_or_glob)
    targets = _output_paths(paths, output) if output is not None else [None] * len(paths)
    tasks = [dask.delayed(_reprocess_one, pure=False)(path, target, options, columns, errors)
             for path, target in zip(paths, targets)]
    return pd.concat(dask.compute(*tasks), ignore_index=True)
