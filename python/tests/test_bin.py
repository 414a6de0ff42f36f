import math

import numpy as np
import pytest

import ertkit
from bin_builder import BinFileBuilder, BinRecord, date_number

NAME_TIME = np.datetime64("2023-05-17T14:30:00", "ns")


@pytest.fixture
def bin_path(tmp_path):
    wenner = BinRecord()
    pole_dipole = BinRecord(x=(0.0, 9999999.0, 10.0, 20.0), vp=-80.0, current=40.0, ignore=1, m=9999.0,
                            tm=(100.0, 0.0, 300.0), windows=(7.0, 0.0, 5.0), date=date_number(NAME_TIME) + 0.25)
    far_away = BinRecord(date=45000.5, stacks=0.0)
    return BinFileBuilder(records=[wenner, pole_dipole, far_away]).save(tmp_path / "survey.bin")


def test_open_gives_a_bin_file_whose_records_are_the_table_rows(bin_path):
    results = ertkit.open(bin_path)
    assert isinstance(results, ertkit.BinFile) and results.type_name == "BIN"
    assert len(results) == 3 and [r.index for r in results] == [0, 1, 2]
    assert results.folder == "D:\\survey" and results.recording_names[1] == "vp34-678@051723_143000.vmn"
    table = results.to_numpy()
    assert table.dtype.names == ertkit.COLUMNS
    for record, row in zip(results, table):
        for name, value in record.to_dict().items():
            assert row[name] == value or (np.isnan(row[name]) and np.isnan(value)), name


def test_resistance_geometric_factor_and_apparent_resistivity(bin_path):
    wenner, pole_dipole, _ = ertkit.BinFile(bin_path)
    assert (wenner.vp, wenner.i, wenner.r) == (250.0, 100.0, 2.5)
    assert wenner.k == pytest.approx(2 * math.pi * 5.0)           # Wenner, a = 5 m
    assert wenner.rho_a == pytest.approx(2 * math.pi * 5.0 * 2.5)
    # B far away: K = 2 pi / (1/AM - 1/AN)
    assert pole_dipole.k == pytest.approx(2 * math.pi / (1 / 10 - 1 / 20))
    assert pole_dipole.rho_a == pytest.approx(pole_dipole.k * -2.0)
    assert (wenner.a_x, wenner.b_x, wenner.m_x, wenner.n_x) == (0.0, 15.0, 5.0, 10.0)


def test_chargeability_windows_flags_and_serials(bin_path):
    wenner, pole_dipole, far_away = ertkit.BinFile(bin_path)
    assert wenner.m == pytest.approx(0.0125) and (wenner.m_1, wenner.m_2) == pytest.approx((0.02, 0.01))
    assert math.isnan(wenner.m_3) and math.isnan(wenner.m_20)
    # A zero window ends the run: only the first of 100, 0, 300 counts.
    assert pole_dipole.m_1 == pytest.approx(0.007) and math.isnan(pole_dipole.m_2)
    assert (wenner.ignore, pole_dipole.ignore) == (False, True)
    assert (wenner.stacks, far_away.stacks) == (7, 2)
    assert (wenner.serial_i, wenner.user_serial_i, wenner.serial_v, wenner.user_serial_v) == (345, 12, 678, 34)
    assert wenner.sp == pytest.approx(-3.5)


def test_start_times_are_datetime64_and_follow_the_recording_names(bin_path):
    records = ertkit.BinFile(bin_path)
    # Within a day of the time in the voltage recording's name, that time wins (stored as a
    # date-time number again, so to the precision of a double).
    assert abs(records[1].start_time - NAME_TIME) < np.timedelta64(1, "us")
    assert records[2].start_time == np.datetime64("2023-03-15T12:00:00", "ns")
    assert records.to_numpy()["start_time"].dtype == np.dtype("M8[ns]")


def test_decay_curve_from_window_bounds(bin_path):
    middles, values = ertkit.BinFile(bin_path)[0].decay()
    # 40 ms delay, windows of 100 and 200 ms at 10 ms samples: bounds 4, 14, 34.
    np.testing.assert_allclose(middles, [90.0, 240.0])
    np.testing.assert_allclose(values, [0.02, 0.01])


def test_to_pandas_keeps_the_columns(bin_path):
    pandas = pytest.importorskip("pandas")
    frame = ertkit.BinFile(bin_path).to_pandas()
    assert list(frame.columns) == list(ertkit.COLUMNS) and len(frame) == 3
    assert frame["start_time"].dtype == np.dtype("M8[ns]")
    assert isinstance(frame, pandas.DataFrame)


@pytest.mark.parametrize("builder, message", [
    (BinFileBuilder(version=0x80000003), "bin file version not implemented"),
    (BinFileBuilder(header_byte=8), "bin file version not implemented"),
])
def test_bad_bin_headers_raise_format_error(tmp_path, builder, message):
    with pytest.raises(ertkit.FormatError, match=f"^{message}$"):
        ertkit.open(builder.save(tmp_path / "bad.bin"))


def test_truncated_bin_and_wrong_extension(tmp_path):
    path = tmp_path / "short.bin"
    path.write_bytes(BinFileBuilder().bytes()[:600])
    with pytest.raises(ertkit.FormatError, match="^incomplete file$"):
        ertkit.BinFile(path)
    other = BinFileBuilder().save(tmp_path / "survey.dat")
    with pytest.raises(ertkit.FormatError, match="^invalid file extension$"):
        ertkit.BinFile(other)


def test_a_damaged_record_ends_the_file_without_error(tmp_path):
    builder = BinFileBuilder(records=[BinRecord(), BinRecord(version=2), BinRecord()])
    assert len(ertkit.open(builder.save(tmp_path / "damaged.bin"))) == 1


def test_records_outlive_their_file(bin_path):
    record = ertkit.BinFile(bin_path)[0]
    import gc
    gc.collect()
    assert record.vp == 250.0 and record.orig_file == b"ORIG0001.DAT"
