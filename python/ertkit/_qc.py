"""Quality control of a result file: the readings a geophysicist rejects, their reciprocal
pairs and an error model, as the command-line tool's ``qc`` makes them."""

import json
import os

from . import _ertkit
from ._core import fs_path
from ._reprocess import _frame, _work_on_results
from ._binx import BinxFile


def qc(results, *, recordings=None, progress=None, **rules):
    """Judges every reading of `results` (a BinxFile or BinFile from ``ertkit.open``) by the
    quality rules, pairs normal and reciprocal readings and fits the error model
    err(R) = a + b |R| to the pairs.

    Each keyword sets a rule's limit or a setting by the name the tool's ``--rule`` takes
    (``stack=5``, ``reciprocal=5``, ``tolerance=0.1``, ``error_floor=3`` ...); ``None`` or
    ``False`` switches a rule off (``decay=None``). `recordings`, a folder of the full-wave
    recordings, judges each reading on its half cycles too (the deviation of a record that
    stores none, overloaded samples).

    Returns ``(new_file, frame, model)``: a new BinxFile holding every record, those with any
    reason ignored (a BIN file gives BINX records); a pandas DataFrame with one row per record
    and the columns of the tool's ``qc --report`` CSV (index, reasons, err, reciprocal_index,
    reciprocal_error, R, K, rho_a, M and the values the rules look at); and the model as the
    tool's ``--model`` JSON makes it, as a dict. A bad rule name or value raises ValueError.
    Needs pandas.
    """
    pandas = _work_on_results("qc", results, progress)
    if recordings is not None:
        recordings = os.fsdecode(fs_path(recordings))
        if not os.path.isdir(recordings):
            raise NotADirectoryError(f"no folder of recordings: {recordings}")
    origin = results._origin
    result_file = os.fsdecode(origin[1]) if origin is not None and origin[0] == "path" else ""
    core, columns, model = _ertkit.qc(results._core, dict(rules), recordings, result_file, progress)
    new_file = BinxFile._from_core(core)
    new_file._edited = True  # pickled by value: it is nowhere on disk
    return new_file, _frame(pandas, columns), json.loads(model)
