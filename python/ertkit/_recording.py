"""Full-wave recordings of current (IAB) and voltage (VMN) receivers."""

from functools import cached_property

import numpy as np

from . import _ertkit
from ._core import CoreSequence, core_property, whole


def _header_value(name, doc=None):
    return property(lambda self: self._header[name], doc=doc)


class Start:
    """One start of a recording: a receiver set-up and the samples that follow it.

    ``data`` holds the samples as a float64 array of shape (samples, channels), ``overload``
    the overload flags in the same shape and ``pps`` the GPS pulse-per-second flag of each
    sample. The three arrays are filled together, in one pass, the first time one of them is
    asked for.
    """

    def __init__(self, core, index, recording=None):
        self._core = core
        self.index = index
        self._header = core.header(index)
        self._recording = recording

    def __reduce__(self):
        # With its recording, which pickles by path or by bytes.
        if self._recording is None:
            raise TypeError("a Start without its Recording cannot be pickled")
        return _start_of, (self._recording, self.index)

    def __repr__(self):
        return (f"<ertkit.Start {self.index}: {self.n_samples} samples x {self.n_channels} channels"
                f" from {self.start_time}>")

    @cached_property
    def _arrays(self):
        return self._core.arrays(self.index)

    data = property(lambda self: self._arrays[0], doc="Samples, float64 (samples, channels).")
    overload = property(lambda self: self._arrays[1], doc="Overload flags, bool (samples, channels).")
    pps = property(lambda self: self._arrays[2], doc="GPS pulse-per-second flags, bool (samples,).")

    def data_as(self, dtype):
        """The samples as an array of `dtype`: float64 (``data``) or float32, the precision the
        recording stores them in, filled straight from the file in half the memory of
        ``data``."""
        dtype = np.dtype(dtype)
        if dtype == np.float64:
            return self.data
        if dtype == np.float32:
            return self._core.single_samples(self.index)
        raise ValueError(f"data_as takes float64 or float32, not {dtype}")

    sample_unit = property(lambda self: self._core.sample_unit, doc="Unit of the samples (mA or mV).")
    n_samples = _header_value("n_samples")
    n_channels = _header_value("n_channels")
    battery = _header_value("battery", "Receiver battery voltage (V).")
    temperature = _header_value("temperature", "Receiver temperature (degrees C).")
    tx_current = _header_value("tx_current", "The current the configuration page reports.")
    max_rx = _header_value("max_rx", "Input range of the samples, in the unit of the samples.")
    gmt_offset = _header_value("gmt_offset", "Offset of the receiver's local time from UTC, in seconds.")
    multi_tx_key = _header_value("multi_tx_key")
    gps = _header_value("gps", "(latitude, longitude, altitude) as stored: angles as DDDMM.mmmm.")
    offset = _header_value("offset", "(x, y) offset of the whole electrode layout.")
    rs_check = _header_value("rs_check", "The two resistance-check values (0.0 when no check was made).")

    @property
    def start_time(self):
        """Time of the first sample (UTC), as numpy.datetime64[ns]."""
        return np.datetime64(self._header["start_time_ns"], "ns")

    @property
    def sample_period(self):
        """Time between samples, as numpy.timedelta64[ns]."""
        return np.timedelta64(self._header["sample_period_ns"], "ns")

    @property
    def times(self):
        """Time of every sample, as an array of datetime64[ns]."""
        return self.start_time + np.arange(self.n_samples, dtype=np.int64) * self.sample_period

    @property
    def gps_decimal(self):
        """(latitude, longitude, altitude) with the angles in decimal degrees."""
        lat, lon, alt = self.gps
        return (_ertkit.sexagesimal_to_decimal(lat), _ertkit.sexagesimal_to_decimal(lon), alt)

    @property
    def header(self):
        """Every set-up value of the start, as a dict."""
        return dict(self._header)

    @property
    def layout(self):
        """The 13-row electrode position table, shape (13, 2): rows 0 and 1 are A and B,
        channel c is measured between rows c + 2 and c + 3."""
        return self._core.layout(self.index)

    def electrodes(self, channel):
        """Positions (x, y, z) of A, B, M, N of one channel, shape (4, 3)."""
        return self._core.electrodes(self.index, whole("channel", channel, 0, 2 ** 63 - 1))

    def plot(self, ax=None, channels=None):
        """Channels against time, overloaded samples and PPS marked (needs matplotlib)."""
        from .plot import plot_start
        return plot_start(self, ax=ax, channels=channels)


def _start_of(recording, index):
    return recording.starts[index]


class Recording(CoreSequence):
    """A full-wave recording (.iab, .vmn and the raw forms .irw, .vrw).

    ``Recording(path, progress=None)`` reads the whole file; ``progress`` is any callable,
    called as progress(done, total). A recording is a sequence of its starts.
    """

    def __init__(self, path, progress=None):
        super().__init__(_ertkit.RecordingCore, path, progress)

    _CORE = _ertkit.RecordingCore
    _NOUN = ("start", "recording")

    def _init(self, core):
        super()._init(core)
        self.starts = tuple(Start(core, i, self) for i in range(core.n_starts))

    def _items(self):
        return self.starts

    def __repr__(self):
        kind = "VMN" if self.is_vmn else "IAB"
        return f"<ertkit.Recording {kind} {self.path!r}: {len(self.starts)} starts>"

    is_vmn = core_property("is_vmn", "True for a voltage recording, False for a current recording.")
    serial = core_property("serial")
    user_serial = core_property("user_serial")
    device_type = core_property("device_type", "1 for a current receiver, 2 to 4 for the kinds of voltage receiver.")
    sample_unit = core_property("sample_unit", "Unit of the samples: mA for a current receiver, mV for a voltage one.")

    def plot(self, start=0, ax=None, channels=None):
        """A start's channels against time (needs matplotlib)."""
        return self.starts[start].plot(ax=ax, channels=channels)
