"""Full-wave recordings of current (IAB) and voltage (VMN) receivers."""

from functools import cached_property

import numpy as np

from . import _ertkit


class Start:
    """One start of a recording: a receiver set-up and the samples that follow it.

    ``data`` holds the samples as a float64 array of shape (samples, channels), ``overload``
    the overload flags in the same shape and ``pps`` the GPS pulse-per-second flag of each
    sample. The three arrays are filled together, in one pass, the first time one of them is
    asked for.
    """

    def __init__(self, core, index):
        self._core = core
        self.index = index
        self._header = core.header(index)

    def __repr__(self):
        return (f"<ertkit.Start {self.index}: {self.n_samples} samples x {self.n_channels} channels"
                f" from {self.start_time}>")

    @cached_property
    def _arrays(self):
        return self._core.arrays(self.index)

    @property
    def data(self):
        return self._arrays[0]

    @property
    def overload(self):
        return self._arrays[1]

    @property
    def pps(self):
        return self._arrays[2]

    @property
    def n_samples(self):
        return self._header["n_samples"]

    @property
    def n_channels(self):
        return self._header["n_channels"]

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
    def battery(self):
        """Receiver battery voltage (V)."""
        return self._header["battery"]

    @property
    def temperature(self):
        """Receiver temperature (degrees C)."""
        return self._header["temperature"]

    @property
    def tx_current(self):
        return self._header["tx_current"]

    @property
    def max_rx(self):
        """Input range of the samples, in the unit of the samples."""
        return self._header["max_rx"]

    @property
    def gmt_offset(self):
        """Offset of the receiver's local time from UTC, in seconds."""
        return self._header["gmt_offset"]

    @property
    def multi_tx_key(self):
        return self._header["multi_tx_key"]

    @property
    def gps(self):
        """(latitude, longitude, altitude) as stored: angles in degrees and minutes, DDDMM.mmmm."""
        return self._header["gps"]

    @property
    def gps_decimal(self):
        """(latitude, longitude, altitude) with the angles in decimal degrees."""
        lat, lon, alt = self.gps
        return (_sexagesimal_to_decimal(lat), _sexagesimal_to_decimal(lon), alt)

    @property
    def offset(self):
        """(x, y) offset of the whole electrode layout."""
        return self._header["offset"]

    @property
    def rs_check(self):
        """The two resistance-check values (0.0 when no check was made)."""
        return self._header["rs_check"]

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
        return self._core.electrodes(self.index, channel)

    def plot(self, ax=None, channels=None):
        """Channels against time, overloaded samples and PPS marked (needs matplotlib)."""
        from .plot import plot_start
        return plot_start(self, ax=ax, channels=channels)


def _sexagesimal_to_decimal(angle):
    return _ertkit.sexagesimal_to_decimal(angle)


class Recording:
    """A full-wave recording (.iab, .vmn and the raw forms .irw, .vrw).

    ``Recording(path, progress=None)`` reads the whole file; ``progress`` is any callable,
    called as progress(done, total). A recording is a sequence of its starts.
    """

    def __init__(self, path, progress=None):
        self._init(_ertkit.RecordingCore(str(path), progress))

    @classmethod
    def _from_core(cls, core):
        recording = cls.__new__(cls)
        recording._init(core)
        return recording

    def _init(self, core):
        self._core = core
        self.starts = tuple(Start(core, i) for i in range(core.n_starts))

    def __repr__(self):
        kind = "VMN" if self.is_vmn else "IAB"
        return f"<ertkit.Recording {kind} {self.path!r}: {len(self.starts)} starts>"

    def __len__(self):
        return len(self.starts)

    def __getitem__(self, index):
        return self.starts[index]

    def __iter__(self):
        return iter(self.starts)

    @property
    def path(self):
        return self._core.path

    @property
    def type_name(self):
        return self._core.type_name

    @property
    def is_vmn(self):
        """True for a voltage recording, False for a current recording."""
        return self._core.is_vmn

    @property
    def serial(self):
        return self._core.serial

    @property
    def user_serial(self):
        return self._core.user_serial

    @property
    def device_type(self):
        """1 for a current receiver, 2 to 4 for the kinds of voltage receiver."""
        return self._core.device_type

    def plot(self, start=0, ax=None, channels=None):
        """A start's channels against time (needs matplotlib)."""
        return self.starts[start].plot(ax=ax, channels=channels)
