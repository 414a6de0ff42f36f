"""Downloads from the resistivity meter over its USB serial link."""

import logging
import numbers
from collections import namedtuple

from . import _ertkit
from ._binx import BinxFile
from ._core import fs_path, whole
from ._recording import Recording

Download = namedtuple("Download", ["binx", "recording"])
Download.__doc__ = """What a download brought: the measures as a BinxFile, and the full-wave
Recording when the meter sent its raw memory (None otherwise)."""


def download(port, first, last, name="*", progress=None, full_wave_path=None, keep_partial=False, timeout=None):
    """Downloads the measures stored between the memory indexes `first` and `last`.

    `port` is the meter's serial device (for example ``/dev/ttyUSB0``, or the device path that
    ``ertkit meter-sim`` prints to try a download without a meter); None lets the port layer
    look for the meter. `name` is sent to the meter
    with the request. `progress` is any callable, called as progress(done, total) with the
    measures received out of those asked for (pages of the meter's memory for a raw transfer).
    Ctrl-C, or an exception raised by `progress`, stops the transfer within a second, even
    while the meter is silent: the meter is sent the end byte, the port closed, nothing is
    written, and the exception comes out of the call. When the
    meter answers with a raw full-wave transfer, the recording is written to `full_wave_path`
    (its extension set to .vmn or .iab) or, without one, to a temporary file that is removed
    once read (the recording's path then names a file that is gone).

    `timeout`, in seconds (0.1 to 3600, as the tool's ``--timeout``), is how long the meter may
    send nothing, from its handshake on, before the download gives up; None keeps the
    library's waits (20 s for each handshake word, then 10 s of silence).

    Returns Download(binx, recording). A failed exchange raises DownloadError with the words
    ``ertkit download`` uses for its first failure (a port that cannot be opened says which and
    why), with ``errors`` (every (code, message) reported, the port's failure too) and ``binx``
    (what was converted before the failure). With ``keep_partial=True``, an exchange that fails
    after some measures arrived returns them instead, as Download(binx, None), and says so on
    the "ertkit" logger: "<message>: kept 2 of 5 measures".
    """
    first, last = whole("first", first, 0, 2 ** 32 - 1), whole("last", last, 0, 2 ** 32 - 1)
    if not isinstance(name, str):
        raise TypeError(f"name must be a str, not {type(name).__name__}")
    if progress is not None and not callable(progress):
        raise TypeError("progress must be a callable taking (done, total)")
    if timeout is not None:
        if not isinstance(timeout, numbers.Real) or isinstance(timeout, bool):
            raise TypeError(f"timeout must be a number of seconds, not {type(timeout).__name__}")
        if not 0.1 <= timeout <= 3600:
            raise ValueError(f"timeout must be between 0.1 and 3600 seconds, not {timeout!r}")
        timeout = float(timeout)
    port = b"" if port is None else fs_path(port)
    path = None if full_wave_path is None else fs_path(full_wave_path)
    binx, recording, errors, texts = _ertkit.download(port, first, last, name, progress, path, timeout)
    binx = BinxFile._from_core(binx)
    if not errors:
        return Download(binx, None if recording is None else Recording._from_core(recording))
    if keep_partial and len(binx) > 0:
        logging.getLogger("ertkit").warning("%s: kept %d of %d measures", texts[-1], len(binx), last - first + 1)
        return Download(binx, None)
    error = _ertkit.DownloadError(texts[0])
    error.errors, error.binx = errors, binx
    raise error
