"""The sample survey the command-line tool writes, read through the package and compared value by
value with the tool's outputs: its golden exports (tests/golden) for the result files, a JSON
export made on the spot for the recordings (their exports are too large to keep)."""

import json
import subprocess

import numpy as np
import pytest

import ertkit
from conftest import GOLDEN, program

EXTENSIONS = (".vmn", ".iab", ".binx", ".bin")
RESULT_FILES = ("line1.binx", "line1-wenner.bin")


@pytest.fixture(scope="module")
def files(sample_survey):
    return sorted(p for p in sample_survey.iterdir() if p.suffix.lower() in EXTENSIONS)


def _same_time(ours, exported):
    """The export shows times to the millisecond, rounded."""
    return abs(ours - np.datetime64(exported.rstrip("Z"), "ns")) <= np.timedelta64(500, "us")


def _close(a, b):
    if a is None:
        return b is None or np.isnan(b)
    return a == pytest.approx(b, rel=1e-12, abs=1e-12)


def test_the_survey_is_the_one_the_golden_outputs_describe(files):
    sums = dict(reversed(line.split()) for line in (GOLDEN / "sample-files.sha256").read_text().splitlines())
    assert sorted(sums) == sorted(p.name for p in files)
    kinds = {type(ertkit.open(path)).__name__ for path in files}
    assert kinds == {"Recording", "BinxFile", "BinFile"}


@pytest.mark.parametrize("name", RESULT_FILES)
def test_tables_have_the_columns_of_the_csv_export(sample_survey, name):
    header = (GOLDEN / f"{name}.csv").read_text().splitlines()[0]
    assert tuple(header.split(",")) == ertkit.open(sample_survey / name).to_numpy().dtype.names
    assert header.startswith(",".join(ertkit.COLUMNS))


def test_recordings_match_the_json_export(files):
    for path in (p for p in files if p.suffix in (".vmn", ".iab")):
        out = subprocess.run([program("ERTKIT_CLI"), "export", str(path), "--format", "json"], check=True, capture_output=True, text=True)
        recording, exported = ertkit.open(path), json.loads(out.stdout)
        assert (recording.serial, recording.user_serial) == (exported["serial"], exported["user_serial"])
        assert len(recording) == len(exported["starts"])
        for start, other in zip(recording, exported["starts"]):
            rows = other["data"]
            assert (start.n_samples, start.n_channels) == (other["samples"], other["channels"])
            # Samples are single-precision values, exported in the shortest form of the float.
            values = np.array([r["values"] for r in rows], dtype=np.float32).reshape(start.data.shape)
            np.testing.assert_array_equal(start.data.astype(np.float32), values)
            np.testing.assert_array_equal(start.overload, np.array([r["overload"] for r in rows], dtype=bool).reshape(start.overload.shape))
            np.testing.assert_array_equal(start.pps, [r["pps"] for r in rows])
            assert _same_time(start.start_time, other["start_time"])


@pytest.mark.parametrize("name", RESULT_FILES)
def test_result_files_match_the_json_export(sample_survey, name):
    table = ertkit.open(sample_survey / name).to_numpy()
    exported = json.loads((GOLDEN / f"{name}.json").read_text())["records"]
    assert len(table) == len(exported)
    for row, other in zip(table, exported):
        for e, electrode in zip("abmn", "ABMN"):
            for axis in "xyz":
                assert _close(other["electrodes"][electrode][axis], row[e + axis])
        for name in ("vp_mV", "i_mA", "r_ohm", "k_m", "rhoa_ohm_m", "m_mV_V", "sp_mV", "vp_error_mV", "m_error"):
            assert _close(other[name], row[name]), name
        for name in ("index", "stacks", "ignore", "serial_v", "user_serial_v", "serial_i", "user_serial_i"):
            assert other[name] == row[name], name
        for w, window in enumerate(other["windows"], start=1):
            assert _close(window["m_mV_V"], row[f"m{w}_mV_V"]) and window["to_ms"] == row[f"t{w}_ms"]
        assert row["start_time"] == np.datetime64(other["start_time"], "ns")  # both to the millisecond
