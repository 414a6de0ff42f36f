"""Files, records and starts through pickle and cloudpickle."""

import os
import pickle

import numpy as np
import pytest

import ertkit
from ertkit import BinxFile, BinxRecord

cloudpickle = pytest.importorskip("cloudpickle")
DUMPERS = [pickle.dumps, cloudpickle.dumps]


def same_table(a, b):
    assert a.dtype == b.dtype and a.tobytes() == b.tobytes()


@pytest.mark.parametrize("dumps", DUMPERS)
def test_files_read_from_a_path_pickle_as_their_path(sample_survey, dumps, monkeypatch, tmp_path):
    for name in ["line1.binx", "line1-wenner.bin", "vp123-4567@061423_083000.vmn"]:
        opened = ertkit.open(sample_survey / name)
        data = dumps(opened)
        assert len(data) < 1000  # the path, not the contents
        monkeypatch.chdir(tmp_path)  # an absolute path: loaded from anywhere
        loaded = pickle.loads(data)
        assert type(loaded) is type(opened) and loaded.path == opened.path
        if isinstance(opened, ertkit.Recording):
            np.testing.assert_array_equal(loaded[1].data, opened[1].data)
        else:
            same_table(loaded.to_numpy(), opened.to_numpy())


@pytest.mark.parametrize("dumps", DUMPERS)
def test_files_read_from_bytes_and_edited_files_pickle_by_value(sample_survey, dumps, tmp_path):
    data = (sample_survey / "line1.binx").read_bytes()
    from_bytes = ertkit.open(bytearray(data), kind="binx")
    same_table(pickle.loads(dumps(from_bytes)).to_numpy(), from_bytes.to_numpy())

    copy = tmp_path / "copy.binx"
    copy.write_bytes(data)
    edited = ertkit.open(copy)
    edited[3].set(vp_mV=-1.0)
    del edited[0]
    built = BinxFile()
    built.append(edited[0])
    built.software_version = (1, 2, 3)
    os.remove(copy)  # nothing is read back from the path
    for original in (edited, built):
        loaded = pickle.loads(dumps(original))
        same_table(loaded.to_numpy(), original.to_numpy())
        assert loaded.software_version == original.software_version
    assert pickle.loads(dumps(edited))[2].vp_mV == -1.0


@pytest.mark.parametrize("dumps", DUMPERS)
def test_records_and_starts_round_trip(sample_survey, dumps):
    binx = ertkit.open(sample_survey / "line1.binx")
    bin_file = ertkit.open(sample_survey / "line1-wenner.bin")
    recording = ertkit.open(sample_survey / "vp123-4567@061423_083000.vmn")
    new = BinxRecord(vp_mV=-3.0, i_mA=7.0, windows=[1.0, 2.0], window_times=[20, 40, 80])
    records = [binx[5], bin_file[2], new]
    for record, loaded in zip(records, pickle.loads(dumps(records))):
        assert type(loaded) is type(record)
        values, again = record.to_dict(), loaded.to_dict()
        assert again.keys() == values.keys() and loaded.index == record.index  # a BinxRecord too, pickled by value
        for name in values:
            assert again[name] == values[name] or (np.isnan(again[name]) and np.isnan(values[name])), name
    start = pickle.loads(dumps(recording[2]))
    assert start.index == 2 and start.start_time == recording[2].start_time
    np.testing.assert_array_equal(start.data, recording[2].data)
    # A loaded record of a BINX file is a copy: setting it changes nothing else.
    loaded = pickle.loads(dumps(binx[0]))
    loaded.set(vp_mV=123.0)
    assert binx[0].vp_mV != 123.0
