"""ertkit: resistivity and induced-polarisation survey data in Python.

Full-wave recordings (.iab, .vmn, .irw, .vrw) come as numpy arrays, result files (.binx and
the legacy .bin) as records and structured arrays, and downloads from the meter as BINX files.

Errors
------
* A file that cannot be opened raises the usual ``OSError`` (``FileNotFoundError``,
  ``PermissionError``, ``IsADirectoryError``).
* A file that opens but is not valid for its format raises ``ertkit.FormatError``, a
  ``ValueError`` carrying the library's own message (for example "cannot read file").
* An extension no reader takes raises ``ValueError``.
* A bad index raises ``IndexError``; a bad argument ``ValueError``.
* A download that fails raises ``ertkit.DownloadError``, an ``OSError``.

Progress
--------
Long operations take ``progress=``, any callable, called as ``progress(done, total)`` with
the numbers the library reports. If it raises, the operation stops and the exception comes
out of the call. Nothing is printed: the library's log lines go to the ``logging`` logger
named "ertkit", which has no output unless the application configures logging.

Threads
-------
Files are read, and recordings' arrays filled, with the GIL released, so several threads can
read at once. A BinxFile is edited and written with the GIL held: share one between threads
only with the usual care for a mutable object.
"""

import logging as _logging
import os as _os

from . import _ertkit
from ._binx import BinxFile, BinxRecord
from ._download import Download, download
from ._ertkit import DownloadError, FormatError
from ._recording import Recording, Start
from ._results import COLUMNS, BinFile, Record, ResultFile

FormatError.__module__ = DownloadError.__module__ = __name__
_logging.getLogger(__name__).addHandler(_logging.NullHandler())

__all__ = ["open", "readers", "download", "Download", "Recording", "Start", "BinFile", "BinxFile", "BinxRecord",
           "Record", "ResultFile", "COLUMNS", "FormatError", "DownloadError"]

# The Python class of each kind of core object the extension opens.
_CLASSES = {_ertkit.RecordingCore: Recording, _ertkit.BinCore: BinFile, _ertkit.BinxCore: BinxFile}


def open(path, progress=None):  # noqa: A001 - the package's natural entry point
    """Opens a file with the reader the library registered for its extension.

    Returns a Recording for full-wave recordings (the raw forms .irw and .vrw included), a
    BinxFile for .binx result files and a BinFile for legacy .bin result files.
    """
    core = _ertkit.open_file(_os.fspath(path), progress)
    return _CLASSES[type(core)]._from_core(core)


def readers():
    """Registered readers as {"recordings": [(type, extensions)], "results": [...]}."""
    return {"recordings": _ertkit.file_readers(), "results": _ertkit.result_readers()}
