"""The sample survey the command-line tool writes, read through the package and compared value by
value with the tool's JSON export."""

import json

import numpy as np
import pytest

import ertkit

EXTENSIONS = (".vmn", ".iab", ".binx", ".bin")


@pytest.fixture(scope="module")
def survey(tmp_path_factory):
    from conftest import program
    import subprocess
    tool = program("ERTKIT_CLI")
    folder = tmp_path_factory.mktemp("survey")
    subprocess.run([tool, "sample", str(folder)], check=True, capture_output=True)

    def export(path, form="json"):
        out = subprocess.run([tool, "export", str(path), "--format", form], check=True, capture_output=True, text=True)
        return json.loads(out.stdout) if form == "json" else out.stdout

    files = sorted(p for p in folder.iterdir() if p.suffix.lower() in EXTENSIONS)
    return files, export


def _same_time(ours, exported):
    """The export shows times to the millisecond, rounded."""
    return abs(ours - np.datetime64(exported.rstrip("Z"), "ns")) <= np.timedelta64(500, "us")


def _close(a, b):
    if a is None:
        return b is None or np.isnan(b)
    return a == pytest.approx(b, rel=1e-12, abs=1e-12)


def test_every_kind_of_file_opens(survey):
    files, _ = survey
    kinds = {type(ertkit.open(path)).__name__ for path in files}
    assert kinds == {"Recording", "BinxFile", "BinFile"}


def test_tables_have_the_columns_of_the_csv_export(survey):
    files, export = survey
    for path in (p for p in files if p.suffix in (".binx", ".bin")):
        header = export(path, "csv").splitlines()[0]
        assert tuple(header.split(",")) == ertkit.open(path).to_numpy().dtype.names


def test_recordings_match_the_json_export(survey):
    files, export = survey
    for path in (p for p in files if p.suffix in (".vmn", ".iab")):
        recording, exported = ertkit.open(path), export(path)
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


def test_result_files_match_the_json_export(survey):
    files, export = survey
    for path in (p for p in files if p.suffix in (".binx", ".bin")):
        table, exported = ertkit.open(path).to_numpy(), export(path)["records"]
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
            assert _same_time(row["start_time"], other["start_time"])
