"""BINX result files: read, edited and written."""

from . import _ertkit
from ._core import core_property, fs_path, out_of_range, stored_text, whole
from ._results import Record, ResultFile


class BinxRecord(Record):
    """A record of a BINX file, or a new one: ``BinxRecord(**fields)``.

    Fields that can be set, by constructor or ``set(**fields)``, in the units the columns read
    them back: ``electrodes`` (four (x, y, z) points, A B M N), ``vp_mV``, ``i_mA``, ``m_mV_V``,
    ``sp_mV``, ``vp_deviation`` (% of Vp), ``m_deviation``, ``windows`` (mV/V each, at most 20),
    ``window_times`` (t0 and the end of each window, ms, rounded to whole samples of the
    record's sample period), ``stacks``, ``start_time`` (anything
    numpy.datetime64 takes), ``ignore``, ``serial_v``, ``user_serial_v``, ``serial_i``,
    ``user_serial_i``, ``chan_v``, ``chan_i``, ``injection_code``, ``sampling_rate_code``,
    ``pulse_ms``, ``key_text_1``, ``key_text_2`` (with the start times and channels, what
    ``BinxFile.replace`` matches records by) and ``orig_file``.

    A record taken from a file is that file's record: setting its fields changes the file.
    Records given to a file are copied into it.
    """

    def __init__(self, **fields):
        super().__init__(_ertkit.new_binx_record(fields))

    @classmethod
    def _view(cls, core, file=None):
        record = cls.__new__(cls)
        Record.__init__(record, core, file)
        return record

    def __reduce__(self):
        # By value, whatever file lists it: the bytes of a file of this one record, and its index.
        holder = _ertkit.BinxCore()
        holder.append(self._core)
        return _binx_record_from_bytes, (holder.to_bytes(), self.index)

    def set(self, **fields):
        """Sets fields by name; nothing changes if one of them is refused."""
        _ertkit.set_binx_fields(self._core, fields)
        self._values = None
        if self._file is not None:
            self._file._edited = True
        return self

    @property
    def ignore(self):
        return self._value("ignore")

    @ignore.setter
    def ignore(self, value):
        self.set(ignore=bool(value))


_UINT32 = 2 ** 32 - 1


def _record(record):
    if not isinstance(record, Record):
        raise TypeError(f"a BINX file holds BinxRecord objects, not {type(record).__name__}")
    return record._core


def _binx_record_from_bytes(data, index=0):
    return BinxRecord._view(_ertkit.record_with_index(_ertkit.open_bytes(data, None, "binx").pop(0), index))


def _editing(method):
    """A method that changes the file: from then on it pickles by value."""
    def edit(self, *args, **kwargs):
        self._edited = True
        return method(self, *args, **kwargs)
    edit.__name__, edit.__doc__ = method.__name__, method.__doc__
    return edit


class BinxFile(ResultFile):
    """A BINX result file: ``BinxFile(path, progress=None)`` reads one, ``BinxFile()`` starts
    an empty one. It is a sequence of BinxRecord with the editing operations of the library;
    ``write`` saves it (always in the current version, 6)."""

    def __init__(self, path=None, progress=None):
        if path is None:
            self._init(_ertkit.BinxCore())
        else:
            super().__init__(_ertkit.BinxCore, path, progress)

    _CORE = _ertkit.BinxCore

    def _init(self, core):
        super()._init(core)
        self._cache = None
        self._edited = False

    def __reduce__(self):
        # Read and untouched: by path (or the bytes it was read from); edited or built: by
        # value, the bytes write() would write.
        if self._origin is not None and not self._edited:
            return super().__reduce__()
        from . import _reopen
        return _reopen, (BinxFile, "bytes", self._core.to_bytes(), None, "binx")

    def _items(self):
        if self._cache is None:
            self._cache = tuple(BinxRecord._view(record, self) for record in self._core.records())
        return self._cache

    def _changed(self):
        self._cache = None

    def _position(self, index):
        # Negative indexes count from the end.
        index = whole("record index", index, -(2 ** 63), 2 ** 63 - 1)
        count = len(self._core)
        if not -count <= index < count:
            raise out_of_range("record", index, count, "file")
        return index + count if index < 0 else index

    def __len__(self):
        return len(self._core)

    def __repr__(self):
        return f"<ertkit.BinxFile {self.path!r}: {len(self)} records>"

    @_editing
    def __setitem__(self, index, record):
        """Replaces record `index` by a copy of `record`."""
        self._core.replace(self._position(index), _record(record))
        self._changed()

    def __delitem__(self, index):
        self.pop(index)

    @_editing
    def pop(self, index=-1):
        """Takes record `index` out of the file and returns it."""
        record = BinxRecord._view(self._core.pop(self._position(index)))
        self._changed()
        return record

    @_editing
    def append(self, record):
        """Adds a copy of a BINX record at the end."""
        self._core.append(_record(record))
        self._changed()

    def extend(self, records):
        for record in records:
            self.append(record)

    @_editing
    def replace(self, record):
        """Puts a copy of `record` in place of the record with the same identity (key texts,
        start times and channels), or at the end when there is none."""
        self._core.replace_same(_record(record))
        self._changed()

    def merge(self, other, progress=None):
        """Merges another BINX file (a BinxFile or a path) into this one, as the library does:
        its recording and project names are added, the path indexes of its records shifted,
        and its records moved here. A BinxFile given is left without records."""
        if not isinstance(other, BinxFile):
            other = BinxFile(other, progress=progress)
        self._edited = other._edited = True
        self._core.merge(other._core)
        self._changed()
        other._changed()
        return self

    def write(self, path, first=0, last=-1, skip_ignored=False, hide=False):
        """Writes records first..last (last -1: to the end), leaving out ignored records when
        skip_ignored is true. The file is written once under a temporary name beside `path`
        and renamed into place: a write that fails raises OSError (the system's reason) and
        leaves `path` as it was (absent, or with its old contents)."""
        self._core.write(fs_path(path), whole("first", first, 0, _UINT32), whole("last", last, -(2 ** 31), 2 ** 31 - 1),
                         bool(skip_ignored), bool(hide))

    version = core_property("version", "Format version the file was read with (6 for a new file).")
    project_names = core_property("project_names")
    folder = property(lambda self: self._core.folder,
                      _editing(lambda self, path: setattr(self._core, "folder", stored_text("folder", path))),
                      doc="The folder of the recordings the records refer to; written as set.")
    software = property(lambda self: self._core.software,
                        _editing(lambda self, value: setattr(self._core, "software", whole("software", value, 0, 255))),
                        doc="The software byte of the file; its values are the host's.")

    @_editing
    def add_project_name(self, name):
        """Index of a project file name, added when it is not there yet."""
        return self._core.add_project_name(stored_text("name", name))

    def path_indexes(self, index):
        """(iab, vmn, project) indexes of record `index` into the name lists; 0xFFFFFFFF is none."""
        return self._core.path_indexes(self._position(index))

    @_editing
    def set_path_indexes(self, index, iab=None, vmn=None, project=None):
        """Sets the indexes of record `index` into the name lists; -1 is none."""
        position = self._position(index)
        for value, setter in ((iab, self._core.set_iab_path_index), (vmn, self._core.set_vmn_path_index),
                              (project, self._core.set_project_path_index)):
            if value is not None:
                setter(position, whole("path index", value, -(2 ** 31), 2 ** 31 - 1))

    @property
    def software_version(self):
        return tuple(self._core.software_version)

    @software_version.setter
    @_editing
    def software_version(self, value):
        numbers = list(value) if isinstance(value, (list, tuple)) else None
        if numbers is None or len(numbers) != 3:
            raise TypeError("software_version takes three whole numbers")
        self._core.software_version = [whole("software version", n, -(2 ** 15), 2 ** 15 - 1) for n in numbers]
