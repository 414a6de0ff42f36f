"""Result files: one record per measured quadrupole."""

from . import _ertkit

COLUMNS = _ertkit.RECORD_COLUMNS
"""Column names of record tables, dicts and properties, in table order (the columns of the
command-line export)."""


class Record:
    """One record of a result file. Every column is a read-only property (``record.rho_a``,
    ``record.start_time``...); ``to_dict()`` gives them all."""

    def __init__(self, core):
        self._core = core
        self._values = None

    def _value(self, name):
        if self._values is None:
            self._values = self._core.values()
        return self._values[name]

    def __repr__(self):
        return (f"<ertkit.Record {self.index}: vp={self.vp:g} i={self.i:g} rho_a={self.rho_a:g}"
                f"{' ignored' if self.ignore else ''}>")

    def to_dict(self):
        """Every column of the record, by name."""
        return {name: self._value(name) for name in COLUMNS}

    def decay(self):
        """(middles, values): the middle of each chargeability window in ms after the current
        is cut, and the chargeability of that window (same unit as ``m``)."""
        return self._core.decay()

    def stack(self):
        """(times, values): the stacked signal over one full injection cycle, times in ms."""
        return self._core.stack()

    @property
    def orig_file(self):
        return self._core.orig_file

    def plot_decay(self, ax=None):
        """The record's decay curve (needs matplotlib)."""
        from .plot import plot_decay
        return plot_decay(self, ax=ax)


def _column_property(name):
    return property(lambda self: self._value(name), doc=f"The {name} column.")


for _name in COLUMNS:
    setattr(Record, _name, _column_property(_name))


class ResultFile:
    """What BIN and BINX files share: a sequence of records with a table view."""

    _record_class = Record

    def _records(self):
        raise NotImplementedError

    def __len__(self):
        return len(self._records())

    def __getitem__(self, index):
        return self._records()[index]

    def __iter__(self):
        return iter(self._records())

    @property
    def path(self):
        return self._core.path

    @property
    def type_name(self):
        return self._core.type_name

    @property
    def folder(self):
        """The folder that holds the recordings the records refer to, as stored."""
        return self._core.folder

    @property
    def recording_names(self):
        """Names of the full-wave recordings the records refer to."""
        return self._core.recording_names

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

    def plot_pseudo_section(self, ax=None, column="rho_a"):
        """A pseudo-section of the records (needs matplotlib)."""
        from .plot import plot_pseudo_section
        return plot_pseudo_section(self, ax=ax, column=column)


class BinFile(ResultFile):
    """A legacy BIN result file, read only: ``BinFile(path, progress=None)``."""

    def __init__(self, path, progress=None):
        self._init(_ertkit.BinCore(str(path), progress))

    @classmethod
    def _from_core(cls, core):
        results = cls.__new__(cls)
        results._init(core)
        return results

    def _init(self, core):
        self._core = core
        self._record_list = tuple(Record(record) for record in core.records())

    def _records(self):
        return self._record_list

    def __repr__(self):
        return f"<ertkit.BinFile {self.path!r}: {len(self)} records>"
