"""What the package's classes share: each is built on a core object of the extension."""

import os


def core_property(name, doc=None):
    """A read-only property answered by the core object."""
    return property(lambda self: getattr(self._core, name), doc=doc)


class CoreSequence:
    """A Python object built on a core object of the extension (``self._core``), read from a
    file, and a sequence of the items ``_items()`` gives."""

    def __init__(self, core_class, path, progress):
        self._init(core_class(os.fspath(path), progress))

    @classmethod
    def _from_core(cls, core):
        made = cls.__new__(cls)
        made._init(core)
        return made

    def _init(self, core):
        self._core = core

    def _items(self):
        raise NotImplementedError

    def __len__(self):
        return len(self._items())

    def __getitem__(self, index):
        return self._items()[index]

    def __iter__(self):
        return iter(self._items())

    path = core_property("path")
    type_name = core_property("type_name", "The type name the library registered the reader under.")
