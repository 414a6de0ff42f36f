import logging
import os
import shutil

import numpy as np
import pytest

import ertkit
from conftest import square_wave


@pytest.fixture
def vmn(hand_made):
    """Two starts: 300 samples of 3 channels from sample 1, then 40 samples of 2 channels."""
    return hand_made / "vp123-4567@120523_143015.vmn", square_wave(300, 3), square_wave(40, 2, amplitude=50.0)


def test_open_picks_the_recording_reader_and_reads_the_name(vmn):
    path, _, _ = vmn
    recording = ertkit.open(path)
    assert isinstance(recording, ertkit.Recording)
    assert (recording.type_name, recording.is_vmn, recording.device_type) == ("IAB_VMN", True, 4)
    assert (recording.user_serial, recording.serial) == (123, 4567)
    assert recording.path == str(path)
    assert len(recording) == 2 and [s.index for s in recording] == [0, 1]


def test_arrays_hold_every_sample_in_file_order(vmn):
    path, first, second = vmn
    recording = ertkit.Recording(path)
    one, two = recording.starts
    assert one.data.dtype == np.float64 and one.data.shape == (300, 3)
    np.testing.assert_array_equal(one.data, first.astype(np.float64))
    np.testing.assert_array_equal(two.data, second.astype(np.float64))
    assert one.overload.shape == (300, 3) and not one.overload.any()
    # Blocks whose number is a multiple of 100 carry the pulse: samples 100, 200 and 300.
    assert one.pps.dtype == np.bool_ and list(np.flatnonzero(one.pps)) == [99, 199, 299]
    assert list(np.flatnonzero(two.pps)) == [0]


def test_times_are_datetimes_a_sample_period_apart(vmn):
    # Their values are the tool's (test_tool_agreement) and the reader's (QueryTest).
    one = ertkit.Recording(vmn[0]).starts[0]
    assert one.start_time.dtype == np.dtype("M8[ns]") and one.sample_period == np.timedelta64(10, "ms")
    assert one.times[0] == one.start_time and one.times[-1] == one.start_time + 299 * one.sample_period


def test_header_values(vmn):
    path, _, _ = vmn
    one, two = ertkit.Recording(path).starts
    assert (one.battery, one.temperature, one.gmt_offset) == (11.8, -4.0, 19800)
    assert (one.max_rx, two.max_rx) == (14980.0, 4980.0)
    assert one.rs_check == (1.5, 2.5) and two.rs_check == (0.0, 0.0)
    assert one.gps == (4530.25, -12.5, 120.5)
    assert one.gps_decimal[0] == pytest.approx(45 + 30.25 / 60)
    assert one.offset == (2.0, -3.0) and one.tx_current == 1.25
    assert one.layout.shape == (13, 2) and one.layout[12, 0] == 60.0
    # Channel 1 is measured between rows 3 and 4; A and B are rows 0 and 1.
    np.testing.assert_array_equal(one.electrodes(1)[:, 0], [0.0, 5.0, 15.0, 20.0])
    assert one.header["config"] == 0x10000


def test_a_start_without_samples_gives_empty_arrays(hand_made):
    path = hand_made / "x.iab"  # a configuration page of 4 channels, alone
    start = ertkit.open(path)[0]
    assert start.data.shape == (0, 4) and start.pps.shape == (0,) and start.times.shape == (0,)
    assert ertkit.open(path).is_vmn is False


def test_raw_forms_are_listed_and_open_with_the_recording_reader(hand_made):
    values = square_wave(10, 2)
    path = hand_made / "vp1-2@120523_143015.vrw"
    assert dict(ertkit.readers()["recordings"])["IAB_VMN"] == [".iab", ".vmn", ".irw", ".vrw"]
    recording = ertkit.open(path)
    assert recording.is_vmn and recording.serial == 2
    np.testing.assert_array_equal(recording[0].data, values)


def test_files_that_cannot_be_opened_raise_os_errors(tmp_path, hand_made):
    with pytest.raises(FileNotFoundError):
        ertkit.open(tmp_path / "missing.vmn")
    with pytest.raises(FileNotFoundError):
        ertkit.Recording(tmp_path / "missing.vmn")
    folder = tmp_path / "folder.vmn"
    folder.mkdir()
    with pytest.raises(IsADirectoryError):
        ertkit.open(folder)
    if os.geteuid() != 0:
        locked = tmp_path / "locked.vmn"
        shutil.copy(hand_made / "x.iab", locked)
        locked.chmod(0)
        with pytest.raises(PermissionError):
            ertkit.open(locked)


def test_unknown_extensions_and_bad_indexes(tmp_path, vmn):
    other = tmp_path / "notes.txt"
    other.write_text("hello")
    with pytest.raises(ValueError, match="no reader takes the extension") as raised:
        ertkit.open(other)
    # Malformed recordings raise a FormatError, a ValueError too, with the tool's message
    # (test_tool_agreement); an extension no reader takes is no format error.
    assert not isinstance(raised.value, ertkit.FormatError) and issubclass(ertkit.FormatError, ValueError)
    recording = ertkit.open(vmn[0])
    start = recording[0]
    with pytest.raises(IndexError, match="^channel 3 out of range: the start has 3 channels$"):
        start.electrodes(3)
    for call in (start._core.arrays, start._core.header, lambda i: recording[i]):
        with pytest.raises(IndexError, match="^start 2 out of range: the recording has 2 starts$"):
            call(2)
    with pytest.raises(IndexError, match="^start -3 out of range: the recording has 2 starts$"):
        recording[-3]
    with pytest.raises(TypeError, match="indices must be integers or slices"):
        recording["0"]
    assert [s.index for s in recording[-1:]] == [1]


def test_bin_index_errors_say_the_record_count(hand_made):
    survey = ertkit.open(hand_made / "survey.bin")
    with pytest.raises(IndexError, match=rf"^record 120 out of range: the file has {len(survey)} records$"):
        survey[120]


def test_samples_in_single_precision_take_half_the_memory(vmn, hand_made):
    import tracemalloc
    path, first, second = vmn
    recording = ertkit.open(path)
    for start, expected in zip(recording, (first, second)):
        single = start.data_as(np.float32)
        assert single.dtype == np.float32 and single.shape == expected.shape
        np.testing.assert_array_equal(single, expected)   # the stored values, exactly
        assert start.data_as("float64") is start.data
    with pytest.raises(ValueError, match="float64 or float32"):
        recording[0].data_as(np.int16)
    long = ertkit.open(hand_made / "long.vmn")[0]        # 32000 x 3: 384 kB in float32
    tracemalloc.start()
    try:
        single = long.data_as(np.float32)
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert single.nbytes <= peak < single.nbytes * 5 // 4  # no float64 copy (768 kB) on the way
    np.testing.assert_array_equal(single, long.data.astype(np.float32))
