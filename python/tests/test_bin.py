import math

import numpy as np
import pytest

import ertkit

NAME_TIME = np.datetime64("2023-05-17T14:30:00", "ns")


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


def test_resistance_geometric_factor_and_apparent_resistivity(bin_path):
    wenner, pole_dipole, _ = ertkit.BinFile(bin_path)
    assert (wenner.vp_mV, wenner.i_mA, wenner.r_ohm) == (250.0, 100.0, 2.5)
    assert wenner.k_m == pytest.approx(2 * math.pi * 5.0)           # Wenner, a = 5 m
    assert wenner.rhoa_ohm_m == pytest.approx(2 * math.pi * 5.0 * 2.5)
    # B far away: K = 2 pi / (1/AM - 1/AN)
    assert pole_dipole.k_m == pytest.approx(2 * math.pi / (1 / 10 - 1 / 20))
    assert pole_dipole.rhoa_ohm_m == pytest.approx(pole_dipole.k_m * -2.0)
    assert (wenner.ax, wenner.bx, wenner.mx, wenner.nx) == (0.0, 15.0, 5.0, 10.0)


@pytest.mark.parametrize("index, x, y, expected", [
    (0, (0.0, 15.0, 5.0, 10.0), (0.0,) * 4, 2 * math.pi * 5.0),                        # Wenner
    (1, (0.0, 5.0, 10.0, 15.0), (0.0,) * 4, 2 * math.pi / (1 / 10 - 1 / 5 - 1 / 15 + 1 / 10)),
    (2, (0.0, 0.0, 5.0, 10.0), (0.0, -9999998.0, 0.0, 0.0), 2 * math.pi / (1 / 5 - 1 / 10)),
    (3, (0.0, 15.0, 5.0, 5.0), (0.0,) * 4, math.nan),                                  # M and N coincide
    (4, (0.0, 15.0, 0.0, 10.0), (0.0,) * 4, math.nan),                                 # A on M
    (5, (9999998.0, 9999999.0, 5.0, 10.0), (0.0,) * 4, math.nan),                      # A and B at infinity
    (6, (0.0, 10.0, 5.0, 5.0), (0.0, 0.0, 3.0, -3.0), math.nan),                       # on the equipotential
])
def test_geometric_factor(hand_made, index, x, y, expected):
    record = ertkit.open(hand_made / "k.bin")[index]
    assert (record.ax, record.bx, record.mx, record.nx) == x and (record.ay, record.by, record.my, record.ny) == y
    assert record.k_m == pytest.approx(expected, nan_ok=True)


def test_chargeability_windows_flags_and_serials(bin_path):
    wenner, pole_dipole, far_away = ertkit.BinFile(bin_path)
    assert wenner.m_mV_V == pytest.approx(12.5) and wenner.windows == pytest.approx([20.0, 10.0])
    assert (wenner.m1_mV_V, wenner.m2_mV_V) == pytest.approx((20.0, 10.0))
    # 40 ms delay, windows of 100 and 200 ms: bounds at samples 4, 14 and 34 of 10 ms.
    assert wenner.window_times == [40.0, 140.0, 340.0] and wenner.t2_ms == 340.0
    with pytest.raises(AttributeError):
        wenner.m3_mV_V
    # A zero window ends the run: only the first of 100, 0, 300 counts.
    assert pole_dipole.windows == pytest.approx([7.0]) and "m2_mV_V" not in pole_dipole.to_dict()
    assert (wenner.ignore, pole_dipole.ignore) == (False, True)
    assert (wenner.stacks, far_away.stacks) == (7, 2)
    assert (wenner.serial_i, wenner.user_serial_i, wenner.serial_v, wenner.user_serial_v) == (345, 12, 678, 34)
    assert wenner.sp_mV == pytest.approx(-3.5)


def test_start_times_are_datetime64_and_follow_the_recording_names(bin_path):
    records = ertkit.BinFile(bin_path)
    # Within a day of the time in the voltage recording's name, that time wins.
    assert records[1].start_time == NAME_TIME
    assert records[2].start_time == np.datetime64("2023-03-15T12:00:00", "ns")
    assert records.to_numpy()["start_time"].dtype == np.dtype("M8[ns]")


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


@pytest.mark.parametrize("name, message", [
    ("old-version.bin", "bin file version not implemented"),
    ("old-header.bin", "bin file version not implemented"),
    ("short.bin", "incomplete file"),                # cut in its header
    ("survey.dat", "invalid file extension"),
])
def test_bad_bin_files_raise_format_error(hand_made, name, message):
    with pytest.raises(ertkit.FormatError, match=f"^{message}$"):
        ertkit.BinFile(hand_made / name)


def test_a_damaged_record_ends_the_file_without_error(hand_made):
    # Its second record is of a version the reader does not take.
    assert len(ertkit.open(hand_made / "damaged.bin")) == 1


def test_records_outlive_their_file(bin_path):
    record = ertkit.BinFile(bin_path)[0]
    import gc
    gc.collect()
    assert record.vp_mV == 250.0 and record.orig_file == b"ORIG0001.DAT"
