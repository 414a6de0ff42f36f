"""ertkit: resistivity and induced-polarisation survey data in Python.

Full-wave recordings (.iab, .vmn, .irw, .vrw) come as numpy arrays, result files (.binx and
the legacy .bin) as records and structured arrays, and downloads from the meter as BINX files.

Errors
------
* A file that cannot be opened raises the usual ``OSError`` (``FileNotFoundError``,
  ``PermissionError``, ``IsADirectoryError``).
* A file that opens but is not valid for its format raises ``ertkit.FormatError``, a
  ``ValueError`` carrying the message the command-line tool gives (for example "shorter than
  one page: not a recording (cannot read file)", or what a malformed recording name lacks).
  What the tool warns of (a BINX file that ends before the records its header announces)
  goes to the "ertkit" logger as a warning.
* An extension no reader takes raises ``ValueError``.
* A bad index raises ``IndexError``; an argument of the wrong type ``TypeError``; a bad
  value ``ValueError`` (a path holding a NUL byte, a record field out of range, a record
  whose sampling-rate code is not a known one asked for its ``stack()`` or ``decay()``).
* A download that fails raises ``ertkit.DownloadError``, an ``OSError``.

Progress
--------
Long operations take ``progress=``, any callable, called as ``progress(done, total)``: total
is the size of the file in bytes when reading, the number of measures asked for in a
download, the number of recordings read plus the number of records in a reprocessing. It is
called at most about a hundred times per file, done never goes back, and a call that
completes ends with (total, total). ``tqdm_progress()`` gives such a callable that
draws a tqdm bar. If the callable raises, or Ctrl-C is pressed, the operation stops within a
fraction of a second and the exception comes out of the call. Nothing is printed: the library's log lines go to the ``logging`` logger
named "ertkit", which has no output unless the application configures logging.

Pickling
--------
Files, records and starts pickle (``pickle``, ``cloudpickle``), so they travel to the
processes of multiprocessing or Dask. A file read from a path pickles as its absolute path and
is read again where it is loaded; one read from bytes pickles as those bytes; a BinxFile that
was edited, or built, and a BinxRecord pickle as their bytes (what ``write`` writes).

Threads
-------
Files are read, and recordings' arrays filled, with the GIL released, so several threads can
read at once. A BinxFile is edited and written with the GIL held: share one between threads
only with the usual care for a mutable object.
"""

import errno as _errno
import logging as _logging
import os as _os

from . import _ertkit
from ._core import fs_path as _fs_path
from ._core import whole as _whole
from ._binx import BinxFile, BinxRecord
from ._download import Download, download
from ._progress import TqdmProgress, tqdm_progress
from ._ertkit import DownloadError, FormatError
from ._recording import Recording, Start
from ._reprocess import reprocess
from ._qc import qc
from ._results import COLUMNS, BinFile, Record, ResultFile

FormatError.__module__ = DownloadError.__module__ = __name__
_logging.getLogger(__name__).addHandler(_logging.NullHandler())

__all__ = ["open", "readers", "MAX_BYTES", "download", "Download", "Recording", "Start", "BinFile", "BinxFile", "BinxRecord",
           "Record", "ResultFile", "COLUMNS", "reprocess", "qc", "FormatError", "DownloadError", "tqdm_progress", "TqdmProgress"]

# The Python class of each kind of core object the extension opens.
_CLASSES = {_ertkit.RecordingCore: Recording, _ertkit.BinCore: BinFile, _ertkit.BinxCore: BinxFile}


MAX_BYTES = _ertkit.DEFAULT_MAX_BYTES
"""What ``open`` reads at most, by default, from a source that is not a regular file: a pipe,
a FIFO, a device or a file object (4 GiB)."""

# Bytes asked of a file object's read() at a time.
_READ_CHUNK = 1 << 20


def open(source, progress=None, kind=None, max_bytes=None):  # noqa: A001 - the package's natural entry point
    """Opens a file with the reader the library registered for its extension.

    `source` is one of:

    * a path: str (surrogate escapes included), bytes or any os.PathLike, as Python's own
      ``open`` takes it;
    * a binary file object: anything whose ``read(size)`` gives bytes (an open file,
      ``io.BytesIO``, an fsspec file...), read until it gives no more;
    * the contents of a file: a ``bytearray``, a ``memoryview``, or ``bytes`` that hold a NUL
      byte (every file of these formats does; a path never can). They are copied: changing
      the caller's buffer afterwards changes nothing here, nor what the file pickles as.

    `kind` ("iab", "vmn", "irw", "vrw", "binx" or "bin") picks the reader; without it the
    extension of the path, or of the file object's ``name``, does. Contents are read exactly
    as the file holding them, except that a recording takes its serial numbers from a name
    only when there is one and it follows the recording name grammar.

    A path that is not a regular file (a pipe, a FIFO, a device) is read as its bytes come,
    in the memory the reader keeps; a FIFO with no writer yet is waited for, and Ctrl-C (or a
    progress callable that raises) stops the wait. Such a path, and a file object, are read
    up to `max_bytes` (``ertkit.MAX_BYTES``, 4 GiB, by default): a source that goes on past
    it raises ``OSError`` (errno EFBIG) rather than reading without end (``/dev/zero``).

    Returns a Recording for full-wave recordings (the raw forms .irw and .vrw included), a
    BinxFile for .binx result files and a BinFile for legacy .bin result files.
    """
    if kind is not None and not isinstance(kind, str):
        raise TypeError(f"kind must be a str such as 'binx', not {type(kind).__name__}")
    if progress is not None and not callable(progress):
        raise TypeError("progress must be a callable taking (done, total)")
    max_bytes = MAX_BYTES if max_bytes is None else _whole("max_bytes", max_bytes, 0, 2 ** 64 - 2)
    if hasattr(source, "read") and not isinstance(source, (str, bytes, bytearray, memoryview, _os.PathLike)):
        name = getattr(source, "name", None)
        name = _fs_path(name) if isinstance(name, (str, bytes, _os.PathLike)) else None
        return _open_bytes(_read_to_end(source, max_bytes), name, kind, progress)
    if isinstance(source, (bytearray, memoryview)) or (isinstance(source, bytes) and b"\0" in source):
        return _open_bytes(source, None, kind, progress)
    path = _fs_path(source)
    core = _ertkit.open_file(path, progress, kind, max_bytes)
    return _CLASSES[type(core)]._from_core(core, ("path", _os.path.abspath(path), None, kind))


def _read_to_end(source, max_bytes):
    """What a binary file object gives until its read() gives nothing: one read() may give
    less than asked (a pipe, a socket, a raw file) without the file having ended."""
    data = bytearray()
    while True:
        chunk = source.read(min(_READ_CHUNK, max_bytes + 1 - len(data)))
        if not isinstance(chunk, (bytes, bytearray, memoryview)):
            raise TypeError(f"ertkit.open needs a binary file object; read() gave {type(chunk).__name__}")
        if not chunk:
            return bytes(data)
        data += chunk
        if len(data) > max_bytes:
            raise OSError(_errno.EFBIG, f"more than {max_bytes} bytes from a file object (max_bytes= sets the limit)")


def _open_bytes(data, name, kind, progress):
    if isinstance(data, memoryview):
        if not data.c_contiguous:
            raise ValueError("the contents of a file must be a contiguous memoryview")
    if kind is None and name is None:
        raise ValueError("the contents of a file need kind= (iab, vmn, irw, vrw, binx or bin) to say what they hold")
    if not isinstance(data, bytes):
        # The caller's buffer may change later: the file is read from, and pickles as, a copy.
        data = bytes(data)
    core = _ertkit.open_bytes(data, name, kind, progress)
    return _CLASSES[type(core)]._from_core(core, ("bytes", data, name, kind))


def _reopen(cls, how, data, name, kind):
    """Loads what CoreSequence.__reduce__ pickled: the file read again from its path or bytes."""
    core = _ertkit.open_file(data, None, kind) if how == "path" else _ertkit.open_bytes(data, name, kind)
    if not isinstance(core, cls._CORE):
        raise TypeError(f"{cls.__name__} pickled from something that now reads as a {type(core).__name__}")
    return cls._from_core(core, (how, data, name, kind))


def readers():
    """Registered readers as {"recordings": [(type, extensions)], "results": [...]}, each with
    every extension ``open`` reads it by (the raw recording forms .irw and .vrw included)."""
    return {"recordings": _ertkit.file_readers(), "results": _ertkit.result_readers()}
