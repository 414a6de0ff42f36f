"""What the package's classes share: each is built on a core object of the extension."""

import operator
import os


def fs_path(path):
    """A path as the extension takes it: the bytes the system sees, as Python's own ``open``
    makes them from str (surrogate escapes included), bytes or any os.PathLike."""
    try:
        path = os.fspath(path)
    except TypeError:
        raise TypeError(f"a path must be str, bytes or os.PathLike, not {type(path).__name__}") from None
    path = os.fsencode(path)
    if b"\0" in path:
        raise ValueError("embedded null byte")
    return path


def whole(name, value, low, high):
    """`value` as an int between low and high, or the TypeError / ValueError saying why not."""
    try:
        value = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be a whole number, not {type(value).__name__}") from None
    if not low <= value <= high:
        raise ValueError(f"{name} must be between {low} and {high}, not {value}")
    return value


def stored_text(name, value):
    """A text to store in a file, as the bytes it is stored as (surrogate escapes give back the
    bytes they stand for, as the texts read from files carry them)."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__}")
    return value.encode("utf-8", "surrogateescape")


def counted(count, noun):
    """"97 records", "1 record"."""
    return f"{count} {noun}{'' if count == 1 else 's'}"


def out_of_range(noun, index, count, holder):
    """The IndexError for item `index` of a holder of `count` items, said with the count:
    "record 120 out of range: the file has 97 records"."""
    return IndexError(f"{noun} {index} out of range: the {holder} has {counted(count, noun)}")


def core_property(name, doc=None):
    """A read-only property answered by the core object."""
    return property(lambda self: getattr(self._core, name), doc=doc)


class CoreSequence:
    """A Python object built on a core object of the extension (``self._core``), read from a
    file, and a sequence of the items ``_items()`` gives.

    It pickles by what it was read from: a path (absolute, read again when loaded) or the
    bytes it was read from.
    """

    def __init__(self, core_class, path, progress):
        path = fs_path(path)
        self._init(core_class(path, progress))
        self._origin = ("path", os.path.abspath(path), None, None)

    @classmethod
    def _from_core(cls, core, origin=None):
        made = cls.__new__(cls)
        made._init(core)
        made._origin = origin
        return made

    def _init(self, core):
        self._core = core
        self._origin = None

    # What an item is called, and what holds it, in an index error.
    _NOUN = ("item", "sequence")

    def _items(self):
        raise NotImplementedError

    def __len__(self):
        return len(self._items())

    def __getitem__(self, index):
        items = self._items()
        if isinstance(index, slice):
            return items[index]
        try:
            position = operator.index(index)
        except TypeError:
            raise TypeError(f"{type(self).__name__} indices must be integers or slices, not {type(index).__name__}") \
                from None
        if not -len(items) <= position < len(items):
            raise out_of_range(self._NOUN[0], position, len(items), self._NOUN[1])
        return items[position]

    def __iter__(self):
        return iter(self._items())

    def __reduce__(self):
        if self._origin is None:
            raise TypeError(f"this {type(self).__name__} was not read from a path or bytes and cannot be pickled")
        from . import _reopen
        how, data, name, kind = self._origin
        if how == "bytes" and not isinstance(data, bytes):
            data = bytes(data)
        return _reopen, (type(self), how, data, name, kind)

    path = core_property("path")
    type_name = core_property("type_name", "The type name the library registered the reader under.")
