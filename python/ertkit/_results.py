"""Result files: one record per measured quadrupole."""

from . import _ertkit
from ._core import CoreSequence, core_property

COLUMNS = _ertkit.RECORD_COLUMNS
"""Names of the columns every record has, in the order of the command-line CSV export: index,
electrode coordinates (ax ... nz), Vp (mV), I (mA), R = Vp / I (ohm), the geometric factor K
(m, NaN where undefined; an electrode at 9999998 or beyond is at infinity), apparent
resistivity K * R (ohm.m), chargeability M (mV/V), SP (mV), deviations, stacks, start time
(numpy.datetime64[ns], rounded to the millisecond as the command-line export gives it), ignore
flag, serial numbers and t0_ms (start of the first window, ms after the cut-off). The
window columns follow: m1_mV_V... then t1_ms... (end of each window), as many as the record
(or, in a table, the record of the file) with the most windows has. The values are computed by
the same code as the command-line export."""


class Record:
    """One record of a result file. Every column is a read-only property (``record.rhoa_ohm_m``,
    ``record.start_time``, ``record.m1_mV_V``...); ``to_dict()`` gives them all."""

    def __init__(self, core, file=None):
        self._core = core
        self._values = None
        self._file = file

    def __reduce__(self):
        # A record of a read-only file pickles as its file (by path or bytes) and its index.
        if self._file is None:
            raise TypeError("a record without its file cannot be pickled")
        return _record_of, (self._file, self.index)

    def _dict(self):
        if self._values is None:
            self._values = self._core.values()
        # Records move when records before them are taken out or put in.
        self._values["index"] = self._core.index
        return self._values

    @property
    def index(self):
        """The record's position in its file (kept, once taken out, from where it was)."""
        return self._core.index

    def _value(self, name):
        return self._dict()[name]

    def __getattr__(self, name):
        # The window columns, which vary from record to record.
        if name.startswith(("m", "t")) and not name.startswith("_"):
            values = self._dict()
            if name in values:
                return values[name]
        raise AttributeError(f"{type(self).__name__!r} object has no attribute {name!r}")

    def __repr__(self):
        return (f"<ertkit.{type(self).__name__} {self.index}: vp={self.vp_mV:g} mV, i={self.i_mA:g} mA,"
                f" rhoa={self.rhoa_ohm_m:g} ohm.m{' ignored' if self.ignore else ''}>")

    def to_dict(self):
        """Every column of the record, by name, its own window columns included."""
        return dict(self._dict())

    @property
    def windows(self):
        """Chargeability of each window (mV/V), as a list."""
        values = self._dict()
        return [values[f"m{w}_mV_V"] for w in range(1, self._window_count() + 1)]

    @property
    def window_times(self):
        """Window bounds in ms after the cut-off: t0 then the end of each window, as a list."""
        values = self._dict()
        return [values[f"t{w}_ms"] for w in range(0, self._window_count() + 1)]

    def _window_count(self):
        return sum(1 for name in self._dict() if name.endswith("_mV_V") and name[1:-5].isdigit())

    def decay(self):
        """(middles, values): the middle of each chargeability window in ms after the current
        is cut, and the chargeability of that window in mV/V, as arrays."""
        return self._core.decay()

    @property
    def cole_cole(self):
        """(m, tau, c) of the Cole-Cole model the record keeps (``reprocess(cole_cole=True)``
        stores it): m a fraction, tau in s; None when it keeps none."""
        return self._core.cole_cole()

    @property
    def window_deviations(self):
        """Each window's chargeability deviation (mV/V, of one half cycle's value, the drift fit's
        share included) as reprocessing beyond the meter stores it, as an array; None when the
        record keeps none."""
        return self._core.window_deviations()

    def cole_cole_decay(self, until_ms=None):
        """(times, values): the chargeability (mV/V) of the record's Cole-Cole model over its
        off time, as its windows read the stack, at sample times in ms after the switch-off up
        to `until_ms` (by default the end of the decay); empty arrays without a model."""
        return self._core.cole_cole_decay(-1.0 if until_ms is None else float(until_ms))

    def stack(self):
        """(times, values): the stacked signal over one full injection cycle, times in ms."""
        return self._core.stack()

    orig_file = core_property("orig_file", "The source file name the record carries, as bytes.")

    def plot_decay(self, ax=None):
        """The record's decay curve (needs matplotlib)."""
        from .plot import plot_decay
        return plot_decay(self, ax=ax)


def _column_property(name):
    return property(lambda self: self._value(name), doc=f"The {name} column.")


for _name in COLUMNS:
    if _name != "index":
        setattr(Record, _name, _column_property(_name))


def _record_of(file, index):
    return file[index]


class ResultFile(CoreSequence):
    """What BIN and BINX files share: a sequence of records with a table view."""

    _NOUN = ("record", "file")

    folder = core_property("folder", "The folder that holds the recordings the records refer to, as stored.")
    recording_names = core_property("recording_names", "Names of the full-wave recordings the records refer to.")

    def to_numpy(self):
        """One row per record as a numpy structured array of the columns in ``COLUMNS``."""
        return self._core.table()

    def to_pandas(self):
        """One row per record as a pandas DataFrame (needs pandas)."""
        try:
            import pandas
        except ImportError as error:  # pragma: no cover - depends on the installation
            raise ImportError("to_pandas needs pandas") from error
        return pandas.DataFrame(self.to_numpy())

    def plot_pseudo_section(self, ax=None, column="rhoa_ohm_m", skip_ignored=False):
        """A pseudo-section of the records, one panel per array, as the command line draws it
        (needs matplotlib); ertkit.plot.plot_pseudo_section tells more. Returns the panels' Axes."""
        from .plot import plot_pseudo_section
        return plot_pseudo_section(self, ax=ax, column=column, skip_ignored=skip_ignored)


class BinFile(ResultFile):
    """A legacy BIN result file, read only: ``BinFile(path, progress=None)``."""

    _CORE = _ertkit.BinCore

    def __init__(self, path, progress=None):
        super().__init__(_ertkit.BinCore, path, progress)

    def _init(self, core):
        super()._init(core)
        self._records = tuple(Record(record, self) for record in core.records())

    def _items(self):
        return self._records

    def __repr__(self):
        return f"<ertkit.BinFile {self.path!r}: {len(self)} records>"
