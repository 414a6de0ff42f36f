import numpy as np
import pytest

import ertkit


@pytest.fixture
def bin_path(hand_made):
    """A Wenner record; a pole-dipole one (B at infinity), ignored, with a zero window; one with
    no stack stored (HandMadeFiles.cpp)."""
    return hand_made / "survey.bin"


def test_open_gives_a_bin_file_whose_records_are_the_table_rows(bin_path):
    results = ertkit.open(bin_path)
    assert isinstance(results, ertkit.BinFile) and results.type_name == "BIN"
    assert len(results) == 3 and [r.index for r in results] == [0, 1, 2]
    assert results.folder == "D:\\survey" and results.recording_names[1] == "vp34-678@051723_143000.vmn"
    table = results.to_numpy()
    # The window columns of the record with the most windows (2) follow the fixed ones.
    assert table.dtype.names == ertkit.COLUMNS + ("m1_mV_V", "m2_mV_V", "t1_ms", "t2_ms")
    assert list(table["index"]) == [0, 1, 2]
    for record, row in zip(results, table):
        for name, value in record.to_dict().items():
            assert row[name] == value or (np.isnan(row[name]) and np.isnan(value)), name
    assert np.isnan(table["m2_mV_V"][1]) and np.isnan(table["t2_ms"][1])


def test_windows_are_lists_and_attributes_of_the_record(bin_path):
    # Their values are the tool's (test_tool_agreement) and the reader's (BinDataTest).
    wenner, pole_dipole, _ = ertkit.BinFile(bin_path)
    assert wenner.windows == [wenner.m1_mV_V, wenner.m2_mV_V] and len(wenner.window_times) == 3
    assert wenner.t2_ms == wenner.window_times[2] and "m2_mV_V" not in pole_dipole.to_dict()
    with pytest.raises(AttributeError):
        wenner.m3_mV_V


def test_decay_curve_from_window_bounds(bin_path):
    middles, values = ertkit.BinFile(bin_path)[0].decay()
    # 40 ms delay, windows of 100 and 200 ms at 10 ms samples: bounds 4, 14, 34.
    np.testing.assert_allclose(middles, [90.0, 240.0])
    np.testing.assert_allclose(values, [20.0, 10.0])


def test_to_pandas_keeps_the_columns(bin_path):
    pandas = pytest.importorskip("pandas")
    frame = ertkit.BinFile(bin_path).to_pandas()
    assert list(frame.columns) == list(ertkit.open(bin_path).to_numpy().dtype.names) and len(frame) == 3
    assert frame["start_time"].dtype == np.dtype("M8[ns]")
    assert isinstance(frame, pandas.DataFrame)


def test_a_bin_file_of_another_extension_is_refused(hand_made):
    # What damaged BIN files give is the tool's (test_tool_agreement).
    with pytest.raises(ertkit.FormatError, match="^invalid file extension$"):
        ertkit.BinFile(hand_made / "survey.dat")


def test_records_outlive_their_file(bin_path):
    record = ertkit.BinFile(bin_path)[0]
    import gc
    gc.collect()
    assert record.vp_mV == 250.0 and record.orig_file == b"ORIG0001.DAT"
