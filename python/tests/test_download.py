import numpy as np
import pytest

import ertkit
from ertkit import MeterSimulator


def demo_vp(k):
    """Vp of the simulator's demo measure k."""
    return 250.0 + 3.0 * k


def test_record_download_skips_empty_slots_and_converts_to_binx(tmp_path):
    calls = []
    with MeterSimulator(version=2, records=6, empty_every=3) as meter:
        binx, recording = ertkit.download(meter.device_path, 0, 5, name="L1",
                                          progress=lambda done, total: calls.append((done, total)))
    assert recording is None and isinstance(binx, ertkit.BinxFile)
    # Slots 2 and 5 are empty.
    assert [r.vp_mV for r in binx] == [demo_vp(k) for k in (0, 1, 3, 4)]
    assert [r.i_mA for r in binx] == [100.0 + k for k in (0, 1, 3, 4)]
    assert binx[1].ax == pytest.approx(5.0) and binx[1].stacks == 5
    assert calls and all(total >= done for done, total in calls)

    out = tmp_path / "download.binx"
    binx.write(out)
    again = ertkit.open(out)
    assert [r.vp_mV for r in again] == [r.vp_mV for r in binx]


def test_version_1_records(tmp_path):
    with MeterSimulator(version=1, records=3) as meter:
        binx, _ = ertkit.download(meter.device_path, 0, 2)
    assert [r.sp_mV for r in binx] == [-12.5, -11.5, -10.5]


@pytest.mark.parametrize("voltage", [True, False])
def test_raw_transfer_gives_the_recording_and_its_measures(tmp_path, voltage):
    kept = tmp_path / "meter"
    with MeterSimulator.raw(voltage=voltage, measures=3) as meter:
        binx, recording = ertkit.download(meter.device_path, 0, 10, full_wave_path=kept)
    assert len(binx) == 3 and [r.vp_mV for r in binx] == [demo_vp(k) for k in range(3)]
    assert recording.is_vmn is voltage
    assert (tmp_path / ("meter.vmn" if voltage else "meter.iab")).exists()
    start = recording[0]
    samples = np.arange(start.n_samples)
    expected = ((samples % 200) - 100)[:, None] * (10.0 + np.arange(start.n_channels))[None, :]
    np.testing.assert_array_equal(start.data, expected)


def test_raw_transfer_without_a_path_leaves_no_file(tmp_path, monkeypatch):
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    with MeterSimulator.raw(measures=1) as meter:
        _, recording = ertkit.download(meter.device_path, 0, 10)
    assert recording[0].n_samples > 0
    assert not [p for p in tmp_path.rglob("*") if p.is_file() or p.name.startswith("ertkit")]


def test_failures_raise_download_error_with_the_library_message():
    with pytest.raises(ertkit.DownloadError, match="cannot open the meter's port") as raised:
        ertkit.download("/dev/ertkit-no-such-port", 0, 4)
    assert isinstance(raised.value, OSError) and raised.value.errors == []
    with MeterSimulator(version_word=77) as meter:
        with pytest.raises(ertkit.DownloadError) as raised:
            ertkit.download(meter.device_path, 0, 4)
    assert str(raised.value) == raised.value.errors[0][1] and len(raised.value.binx) == 0


def test_a_closed_simulator_refuses_questions():
    meter = MeterSimulator(records=1)
    meter.close()
    with pytest.raises(ValueError, match="closed"):
        meter.device_path
