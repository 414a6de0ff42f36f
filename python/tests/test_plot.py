import numpy as np
import pytest

import ertkit

DIPOLES = "vp123-4567@061423_083000.vmn"


def test_recording_plot_draws_every_channel_and_overloads_do_not_flatten_it(sample_survey, pyplot):
    # The third injection carries a spike that overloads every channel.
    recording = ertkit.open(sample_survey / DIPOLES)
    start, ax = recording[2], recording.plot(start=2, channels=[0, 1, 2])
    labels = [line.get_label() for line in ax.get_lines()]
    assert [label for label in labels if label.startswith("channel")] == ["channel 0", "channel 1", "channel 2"]
    assert "PPS" in labels
    crosses = [line for line in ax.get_lines() if line.get_marker() == "x"]
    assert len(crosses) == 3 and all(len(line.get_xdata()) == 1 for line in crosses)
    low, high = ax.get_ylim()
    kept = start.data[:, :3][~start.overload[:, :3]]
    # The limits hold every sample that is a value, and little more; the spikes lie beyond.
    assert low <= kept.min() and high >= kept.max() and high - low < 1.2 * (kept.max() - kept.min())
    assert start.data[:, :3].max() > high
    assert all(low <= y <= high for line in crosses for y in line.get_ydata())
    assert ax.get_ylabel() == "sample (mV)"
    assert ertkit.open(sample_survey / "in124-4568@061423_083000.iab")[0].plot().get_ylabel() == "sample (mA)"


def test_decay_plot_draws_the_cole_cole_model_a_record_keeps(sample_survey, pyplot):
    survey = ertkit.open(sample_survey / "line1.binx")
    assert survey[0].plot_decay().get_legend() is None  # no model, no curve
    fitted, _ = ertkit.reprocess(survey, gates="log:10:1900:6", cole_cole=True)
    record = fitted[40]
    ax = record.plot_decay()
    gates, model = ax.get_lines()
    m, tau, c = record.cole_cole
    assert model.get_label() == f"Cole-Cole m {m:.4g} \u03c4 {tau:.4g} s c {c:.3g}"
    # The fitted curve passes near each gate, within the gates' noise (the one-sample first
    # gate the noisiest).
    near = np.interp(gates.get_xdata(), model.get_xdata(), model.get_ydata())
    np.testing.assert_allclose(near, gates.get_ydata(), atol=0.08 * gates.get_ydata().max())
    times, values = record.cole_cole_decay()
    assert times[0] == 10.0 and times[-1] == 1990.0 and np.all(np.diff(values) < 0)
    for beyond in (1e300, float("inf"), float("nan")):  # the whole decay
        np.testing.assert_array_equal(record.cole_cole_decay(beyond)[0], times)
    assert record.cole_cole_decay(100)[0][-1] == 100.0


def test_time_labels_of_a_long_start_stay_apart(hand_made, pyplot):
    ax = ertkit.open(hand_made / "long.vmn")[0].plot()
    figure = ax.figure
    figure.set_size_inches(6, 3)
    figure.canvas.draw()
    boxes = [label.get_window_extent() for label in ax.get_xticklabels() if label.get_text()]
    assert 3 <= len(boxes) <= 8
    assert all(a.x1 < b.x0 for a, b in zip(boxes, boxes[1:]))
