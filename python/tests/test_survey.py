"""The sample survey's recordings, read through the package, compared value by value with a
JSON export made on the spot (their exports are too large to keep). The result files' tables
are held against the tool's CSV export by test_tool_agreement, and that export, like the JSON
one, by the golden outputs."""

import json
import subprocess

import numpy as np
import pytest

import ertkit
from conftest import program


@pytest.fixture(scope="module")
def recordings(sample_survey):
    return sorted(p for p in sample_survey.iterdir() if p.suffix in (".vmn", ".iab"))


def _same_time(ours, exported):
    """The export shows times to the millisecond, rounded."""
    return abs(ours - np.datetime64(exported.rstrip("Z"), "ns")) <= np.timedelta64(500, "us")


def test_recordings_match_the_json_export(recordings):
    for path in recordings:
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
