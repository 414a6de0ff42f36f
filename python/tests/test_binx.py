import contextlib
import gc
import math
import resource
import signal

import numpy as np
import pytest

import ertkit
from ertkit import BinxFile, BinxRecord

START = np.datetime64("2024-06-01T09:30:00", "ns")


def line_record(k, **fields):
    """Record k of a dipole-dipole line with 5 m spacing."""
    a = 5.0 * k
    values = dict(electrodes=[(a, 0, 0), (a + 5, 0, 0), (a + 15, 0, 0), (a + 20, 0, 0)],
                  vp_mV=-40.0 - k, i_mA=100.0 + k, m_mV_V=8.0 + k, sp_mV=1.5 * k, stacks=6,
                  windows=[12.0, 9.0, 6.5], window_times=[20, 40, 80, 160],
                  start_time=START + np.timedelta64(30 * k, "s"), serial_v=4000 + k, user_serial_v=12,
                  serial_i=300, user_serial_i=7, chan_v=k % 4, key_text_1=f"Q{k}", injection_code=1)
    values.update(fields)
    return BinxRecord(**values)


@pytest.fixture
def line_path(tmp_path):
    binx = BinxFile()
    binx.extend(line_record(k) for k in range(6))
    binx.folder = "D:\\line1"
    binx.add_project_name("line1.proj")
    binx.software, binx.software_version = 3, (2, 4, 17)
    path = tmp_path / "line.binx"
    binx.write(path)
    return path


def test_records_written_by_the_library_read_back_with_their_values(line_path):
    binx = ertkit.open(line_path)
    assert isinstance(binx, BinxFile) and binx.type_name == "BINX" and len(binx) == 6
    assert (binx.version, binx.folder, binx.project_names) == (6, "D:\\line1", ["line1.proj"])
    assert (binx.software, binx.software_version) == (3, (2, 4, 17))
    record = binx[2]
    assert (record.ax, record.bx, record.mx, record.nx) == (10.0, 15.0, 25.0, 30.0)
    assert (record.vp_mV, record.i_mA, record.m_mV_V, record.sp_mV) == (-42.0, 102.0, 10.0, 3.0)
    assert record.rhoa_ohm_m == pytest.approx(record.k_m * record.r_ohm) and record.r_ohm == pytest.approx(-42.0 / 102.0)
    assert record.windows == [12.0, 9.0, 6.5] and record.window_times == [20.0, 40.0, 80.0, 160.0]
    # Stored as a day number in a double, read back to the millisecond, as the tool exports it.
    assert record.start_time == START + np.timedelta64(60, "s")
    for written, read in [("09:30:00.123456789", "09:30:00.123"), ("09:30:00.1236", "09:30:00.124"),
                          ("09:30:59.9996", "09:31:00.000")]:
        odd = BinxRecord(start_time="2024-06-01T" + written)
        assert odd.start_time == np.datetime64("2024-06-01T" + read, "ns"), written
    assert (record.stacks, record.serial_v, record.user_serial_v, record.serial_i) == (6, 4002, 12, 300)


def test_table_rows_match_record_dicts(line_path):
    binx = BinxFile(line_path)
    table = binx.to_numpy()
    assert table.dtype.names[-6:] == ("m1_mV_V", "m2_mV_V", "m3_mV_V", "t1_ms", "t2_ms", "t3_ms")
    def same(a, b):  # an empty cell (no deviation recorded) is NaN on both sides
        return a == b or (isinstance(a, float) and isinstance(b, float) and math.isnan(a) and math.isnan(b))

    for record, row in zip(binx, table):
        cells = record.to_dict()
        assert set(cells) == set(table.dtype.names)
        assert all(same(row[name], cells[name]) for name in table.dtype.names), cells


def test_editing_round_trip(line_path, tmp_path):
    binx = BinxFile(line_path)
    binx[1].ignore = True
    binx[4].set(ignore=True, vp_mV=-99.0)
    removed = binx.pop(0)
    binx[0] = line_record(20)          # replaces what was record 1
    binx.append(line_record(30))
    out = tmp_path / "edited.binx"
    binx.write(out, skip_ignored=True)

    again = BinxFile(out)
    assert [r.vp_mV for r in again] == [-60.0, -42.0, -43.0, -45.0, -70.0]
    assert removed.vp_mV == -40.0 and not any(r.ignore for r in again)


def test_replace_by_identity_or_append(line_path):
    binx = BinxFile(line_path)
    same = line_record(3, vp_mV=-7.0)
    binx.replace(same)
    assert len(binx) == 6 and binx[3].vp_mV == -7.0
    binx.replace(line_record(3, key_text_1="new"))
    assert len(binx) == 7 and binx[6].to_dict()["vp_mV"] == -43.0


def test_merge_moves_records_and_shifts_project_indexes(line_path, tmp_path):
    other = BinxFile()
    other.add_project_name("other.proj")
    other.append(line_record(50))
    other.set_path_indexes(0, project=0)
    other_path = tmp_path / "other.binx"
    other.write(other_path)

    binx = BinxFile(line_path)
    binx.merge(other)
    assert len(binx) == 7 and len(other) == 0
    assert binx.project_names == ["line1.proj", "other.proj"]
    assert binx.path_indexes(6) == (0xFFFFFFFF, 0xFFFFFFFF, 1)

    by_path = BinxFile(line_path).merge(other_path)
    assert [r.serial_v for r in by_path][-1] == 4050
    with pytest.raises(ValueError):
        binx.merge(binx)


def test_records_outlive_their_file_and_changes_stay_in_one_file(line_path):
    binx = BinxFile(line_path)
    record = binx[5]
    copy_holder = BinxFile()
    copy_holder.append(record)
    copy_holder[0].set(vp_mV=1.0)
    assert record.vp_mV == -45.0
    del binx
    gc.collect()
    assert record.vp_mV == -45.0 and copy_holder[0].vp_mV == 1.0


def test_bad_fields_change_nothing(line_path):
    record = BinxFile(line_path)[0]
    with pytest.raises(TypeError, match="no BINX record field"):
        record.set(vp_mV=1.0, colour="red")
    with pytest.raises(ValueError):
        record.set(vp_mV=1.0, windows=[1.0] * 21)
    with pytest.raises(ValueError):
        BinxRecord(windows=[1.0, 2.0], window_times=[0, 10])
    with pytest.raises(ValueError, match="invalid sampling rate"):
        BinxRecord(sampling_rate_code=14, window_times=[0, 10])
    bad_rate = BinxRecord(sampling_rate_code=99, windows=[1.0, 2.0])
    for query in (bad_rate.stack, bad_rate.decay):
        with pytest.raises(ValueError, match="invalid sampling rate"):
            query()
    # Window times are kept in samples of the record's own period (code 9: 20 ms).
    assert BinxRecord(sampling_rate_code=9, window_times=[40, 100, 181]).window_times == [40.0, 100.0, 180.0]
    assert record.vp_mV == -40.0


def test_edit_errors(line_path, tmp_path, hand_made):
    binx = BinxFile(line_path)
    # Index errors say how many records there are (6), whichever call meets them.
    for call, index in [(lambda i: binx.set_path_indexes(i, iab=0), 7), (binx.pop, 6), (binx.pop, -7),
                        (binx.__getitem__, 6), (binx.__getitem__, -7), (binx.__delitem__, 120),
                        (binx.path_indexes, 6), (lambda i: binx.__setitem__(i, binx[0]), 6)]:
        with pytest.raises(IndexError, match=rf"^record {index} out of range: the file has 6 records$"):
            call(index)
    assert len(binx) == 6
    with pytest.raises(TypeError):
        binx.append(ertkit.open(hand_made / "survey.bin")[0])
    with pytest.raises(FileNotFoundError):
        binx.write(tmp_path / "missing" / "out.binx")
    assert not (tmp_path / "missing").exists()


@contextlib.contextmanager
def file_size_limit(size):
    """Writes past `size` bytes fail (EFBIG) instead of killing the process."""
    previous_signal = signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
    previous_limit = resource.getrlimit(resource.RLIMIT_FSIZE)
    resource.setrlimit(resource.RLIMIT_FSIZE, (size, previous_limit[1]))
    try:
        yield
    finally:
        resource.setrlimit(resource.RLIMIT_FSIZE, previous_limit)
        signal.signal(signal.SIGXFSZ, previous_signal)


def test_writes_replace_the_file_whole_or_not_at_all(line_path, tmp_path):
    binx = BinxFile(line_path)
    before = line_path.read_bytes()
    # A reader of the old file keeps reading the old file: the new one is renamed over it.
    with open(line_path, "rb") as old:
        binx.write(line_path, first=0, last=1)
        assert old.read() == before
    assert len(BinxFile(line_path)) == 2

    # A write cut short raises and leaves the file as it was, or absent where there was none.
    binx = BinxFile()
    binx.extend(line_record(k) for k in range(40))
    kept = line_path.read_bytes()
    with file_size_limit(len(kept) + 4096):
        for target in (line_path, tmp_path / "new.binx"):
            with pytest.raises(OSError, match="File too large"):
                binx.write(target)
    assert line_path.read_bytes() == kept and not (tmp_path / "new.binx").exists()
    assert sorted(p.name for p in tmp_path.iterdir()) == ["line.binx"]


def test_malformed_binx_files(tmp_path, hand_made):
    empty = tmp_path / "empty.binx"
    empty.write_bytes(b"")
    with pytest.raises(ertkit.FormatError, match="^incomplete file$"):
        ertkit.open(empty)
    with pytest.raises(ertkit.FormatError, match="^invalid file extension$"):
        BinxFile(hand_made / "survey.bin")


def test_the_table_flags_what_is_fit_to_invert_and_has_no_time_for_a_record_without_one(tmp_path):
    pd = pytest.importorskip("pandas")
    binx = BinxFile()
    binx.append(line_record(0))
    binx.append(line_record(1, ignore=True))
    binx.append(line_record(2, i_mA=0.0))
    binx.append(line_record(3, start_time=np.datetime64("NaT")))
    binx.write(tmp_path / "flags.binx")
    frame = BinxFile(tmp_path / "flags.binx").to_pandas()
    assert frame["valid"].tolist() == [True, False, False, True]
    assert pd.isna(frame["start_time"][3]) and not pd.isna(frame["start_time"][0])
    assert frame["ax"].dtype == np.float64


@pytest.mark.parametrize("fields, error, message", [
    (dict(vp_mV="x"), TypeError, r"vp_mV: 'x' is not a value of the field's type \(str\)"),
    (dict(stacks=-1), ValueError, r"stacks: -1 is out of the field's range"),
    (dict(injection_code=256), ValueError, "injection_code: 256 is out of the field's range"),
    (dict(stacks=2.5), TypeError, "stacks: 2.5 is not a value"),
    (dict(electrodes=["a", "b"]), TypeError, "electrodes: "),
    (dict(key_text_1=5), TypeError, "key_text_1: 5 is not a value"),
    (dict(sampling_rate_code=-3), ValueError, "sampling_rate_code: -3 is out"),
])
def test_wrong_field_values_raise_type_or_value_errors(fields, error, message):
    with pytest.raises(error, match=message):
        BinxRecord(**fields)


def test_record_indexes_follow_deletes_and_inserts(line_path):
    binx = BinxFile(line_path)
    held = list(binx)
    del binx[1]
    assert [r.index for r in held] == [0, 1, 1, 2, 3, 4]  # the deleted one keeps where it was
    assert [r.serial_v for r in held if r.index == 2] == [4003]
    assert held[3].to_dict()["index"] == 2
    binx.replace(line_record(40, key_text_1="other"))  # appended
    binx[0] = line_record(41)                          # record 0 replaced by a copy
    assert held[0].index == 0 and held[5].index == 4 and binx[5].serial_v == 4040
    assert [r.index for r in binx] == list(range(len(binx)))


@pytest.mark.parametrize("call, error, message", [
    (lambda b: b.pop("1"), TypeError, "record index must be a whole number"),
    (lambda b: b.pop(2 ** 40), IndexError, "record 1099511627776 out of range: the file has 6 records"),
    (lambda b: b.append("record"), TypeError, "holds BinxRecord objects, not str"),
    (lambda b: b.write("x.binx", first=-1), ValueError, "first must be between"),
    (lambda b: b.write("x.binx", last=1.5), TypeError, "last must be a whole number"),
    (lambda b: setattr(b, "software", 300), ValueError, "software must be between 0 and 255"),
    (lambda b: setattr(b, "software_version", (1, 2)), TypeError, "three whole numbers"),
    (lambda b: setattr(b, "folder", 5), TypeError, "folder must be a str"),
    (lambda b: b.set_path_indexes(0, iab=2 ** 40), ValueError, "path index must be between"),
    (lambda b: b.add_project_name(None), TypeError, "name must be a str"),
])
def test_wrong_arguments_raise_our_errors(line_path, call, error, message):
    binx = BinxFile(line_path)
    with pytest.raises(error, match=message):
        call(binx)
    assert len(binx) == 6


def test_wrong_download_arguments_raise_our_errors():
    with pytest.raises(ValueError, match="first must be between"):
        ertkit.download("/dev/null", -1, 3)
    with pytest.raises(TypeError, match="name must be a str"):
        ertkit.download("/dev/null", 0, 3, name=5)
