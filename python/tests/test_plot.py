import numpy as np
import pytest

import ertkit
from ertkit.plot import pseudo_section_positions
from bin_builder import BinFileBuilder, BinRecord
from fullwave_builder import RecordingBuilder, square_wave


@pytest.fixture
def pyplot():
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    yield plt
    plt.close("all")


def _dipole_dipole_survey(tmp_path):
    records = [BinRecord(x=(a, a + 5.0, a + 5.0 * (n + 1), a + 5.0 * (n + 2)), vp=-100.0 / n ** 2)
               for n in (1, 2, 3) for a in (0.0, 5.0, 10.0)]
    return BinFileBuilder(records=records).save(tmp_path / "dd.bin")


def test_pseudo_section_positions_use_midpoints_and_array_span(tmp_path):
    table = ertkit.open(_dipole_dipole_survey(tmp_path)).to_numpy()
    midpoint, depth = pseudo_section_positions(table)
    np.testing.assert_allclose(midpoint[:3], [7.5, 12.5, 17.5])
    np.testing.assert_allclose(depth[::3], 0.19 * np.array([15.0, 20.0, 25.0]))
    # An electrode at infinity is left out of both; with one electrode left there is no position.
    pole = np.array(table[:2])
    pole["bx"] = 9999999.0
    pole["ax"][1] = pole["mx"][1] = -9999998.0
    midpoint, depth = pseudo_section_positions(pole)
    assert midpoint[0] == pytest.approx(25.0 / 3) and depth[0] == pytest.approx(0.19 * 15.0)
    assert np.isnan(midpoint[1]) and np.isnan(depth[1])


def test_recording_plot_draws_every_channel_and_marks_overloads(tmp_path, pyplot):
    values = square_wave(120, 3)
    values[10, 0] = 20000.0
    recording = ertkit.open(RecordingBuilder().start(values, pps=[0, 100]).save(tmp_path / "a.vmn"))
    ax = recording.plot()
    labels = [line.get_label() for line in ax.get_lines()]
    assert [label for label in labels if label.startswith("channel")] == ["channel 0", "channel 1", "channel 2"]
    assert "PPS" in labels
    markers = [line for line in ax.get_lines() if line.get_marker() == "x"]
    assert len(markers) == 1 and len(markers[0].get_xdata()) == 1


def test_decay_and_pseudo_section_plots(tmp_path, pyplot):
    survey = ertkit.open(_dipole_dipole_survey(tmp_path))
    ax = survey[0].plot_decay()
    np.testing.assert_allclose(ax.get_lines()[0].get_xdata(), [90.0, 240.0])
    ax = survey.plot_pseudo_section()
    points = ax.collections[0]
    assert len(points.get_offsets()) == 9 and ax.yaxis_inverted()
