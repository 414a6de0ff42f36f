"""ertkit.dask: many files as one Dask collection, on threads and on a cluster of processes."""

import glob
import os
import re
import shutil
import signal
import time

import numpy as np
import pytest

pd = pytest.importorskip("pandas")
dask = pytest.importorskip("dask")
import ertkit  # noqa: E402
import ertkit.dask as edask  # noqa: E402
from ertkit import BinxFile, BinxRecord  # noqa: E402


@pytest.fixture(scope="module")
def many_files(sample_survey, tmp_path_factory):
    """200 result files: 190 small BINX files of 1 to 6 records and 0 to 4 windows, and 10
    copies of the survey's BIN file."""
    folder = tmp_path_factory.mktemp("many")
    for f in range(190):
        binx = BinxFile()
        for k in range(1 + f % 6):
            windows = (f + k) % 5
            binx.append(BinxRecord(vp_mV=-10.0 - f - k / 10, i_mA=50.0 + k, m_mV_V=float(f % 7), stacks=k,
                                   windows=[1.5 * w for w in range(windows)],
                                   window_times=[20.0 * w for w in range(windows + 1)] if windows else [20.0],
                                   electrodes=[(k, 0, 0), (k + 5, 0, 0), (k + 10, 0, 0), (k + 15, 0, 0)],
                                   start_time=np.datetime64("2024-05-01T08:00") + np.timedelta64(f * 60 + k, "s")))
        binx.write(folder / f"line{f:03d}.binx")
    for f in range(10):
        shutil.copy(sample_survey / "line1-wenner.bin", folder / f"old{f:02d}.bin")
    return sorted(glob.glob(str(folder / "*")))


def serial_frame(paths):
    """What a plain loop gives: to_pandas of each file with its path, one after another, with
    the columns in the order to_pandas gives the file with the most windows (concat puts them
    in the order it meets them)."""
    frames = [ertkit.open(path).to_pandas() for path in paths]
    for path, frame in zip(paths, frames):
        frame.insert(0, "file", path)
    widest = max(frames, key=lambda frame: len(frame.columns))
    return pd.concat(frames, ignore_index=True)[widest.columns]


def test_read_results_equals_the_serial_concatenation(many_files):
    frame = edask.read_results(os.path.dirname(many_files[0]) + "/*")
    serial = serial_frame(many_files)
    assert frame.npartitions == 200 and frame.known_divisions and list(frame.columns) == list(serial.columns)
    pd.testing.assert_frame_equal(frame.compute(scheduler="threads"), serial)
    assert len(frame) == sum(len(ertkit.open(path)) for path in many_files)


def test_summaries_answer_without_a_table(many_files):
    summary = edask.result_summary(many_files[7])
    frame = ertkit.open(many_files[7]).to_pandas()
    assert summary["records"] == len(frame)
    assert summary["windows"] == sum(1 for c in frame.columns if c.endswith("_mV_V") and c[1:-5].isdigit())
    assert (summary["first_time"], summary["last_time"]) == (frame.start_time.min(), frame.start_time.max())


def test_read_recordings_gives_starts_and_their_samples_in_either_precision(sample_survey):
    paths = sorted(str(p) for p in sample_survey.glob("*@*"))
    starts, samples = edask.read_recordings(paths)
    assert samples.numblocks[0] == len(starts) and samples.shape == (starts.n_samples.sum(), starts.n_channels.max())
    for row in starts.itertuples():
        start = ertkit.open(row.file)[row.start]
        assert (row.start_time, row.n_samples) == (start.start_time, start.n_samples)
        block = samples[row.first_row:row.first_row + row.n_samples].compute()
        np.testing.assert_array_equal(block[:, :start.n_channels], start.data)
        assert np.isnan(block[:, start.n_channels:]).all()
    _, single = edask.read_recordings(paths, dtype=np.float32)
    assert single.dtype == np.float32
    np.testing.assert_array_equal(single.compute(scheduler="sync"), samples.compute(scheduler="sync").astype(np.float32))


def test_a_recording_summary_is_a_header_only_open(sample_survey):
    for path in sorted(str(p) for p in sample_survey.glob("*@*")):
        full = ertkit.open(path)
        summary = edask.recording_summary(path)
        assert [{k: s[k] for k in ("n_samples", "n_channels", "start_time_ns", "battery", "config")} for s in summary] \
            == [{k: start.header[k] for k in ("n_samples", "n_channels", "start_time_ns", "battery", "config")}
                for start in full]
        assert {(s["is_vmn"], s["serial"], s["sample_unit"]) for s in summary} == {(full.is_vmn, full.serial,
                                                                                      full.sample_unit)}
        # The outline keeps no sample: asking for them is an error, not garbage.
        with pytest.raises(RuntimeError, match="header-only"):
            ertkit._ertkit.RecordingCore.outline(path).arrays(0)


def test_paths_that_match_nothing_or_are_missing(tmp_path):
    with pytest.raises(FileNotFoundError, match="no file matches"):
        edask.read_results(str(tmp_path / "*.binx"))
    with pytest.raises(FileNotFoundError):
        edask.read_results([tmp_path / "missing.binx"])
    with pytest.raises(ValueError, match="no files"):
        edask.read_results([])


# --- files that cannot be read, or change -----------------------------------------------------

@pytest.fixture
def three_files(many_files, tmp_path):
    """Two good BINX files around one that is bad in the way the test asks."""
    paths = [tmp_path / "a.binx", tmp_path / "b.binx", tmp_path / "c.binx"]
    for path, source in zip(paths, many_files[5:8]):
        shutil.copy(source, path)
    return [str(path) for path in paths]


def make_bad(path, how, sample_survey):
    if how == "damaged":
        with open(path, "wb") as file:
            file.write(b"\x06\x00\x00")                  # a BINX file that ends in its header
        return ertkit.FormatError
    if how == "recording":
        shutil.copy(sample_survey / "vp123-4567@061423_083000.vmn", path)
        return ValueError
    os.remove(path)
    return FileNotFoundError


@pytest.mark.parametrize("how", ["damaged", "recording", "missing"])
def test_a_bad_file_is_named_or_skipped_when_building(three_files, sample_survey, how, caplog):
    bad = three_files[1].replace("b.binx", "b.vmn") if how == "recording" else three_files[1]
    paths = [three_files[0], bad, three_files[2]]
    error = make_bad(bad, how, sample_survey)
    with pytest.raises(error, match=os.path.basename(bad)):
        edask.read_results(paths)
    with caplog.at_level("WARNING", logger="ertkit"):
        frame = edask.read_results(paths, errors="skip").compute(scheduler="sync")
    pd.testing.assert_frame_equal(frame, serial_frame([paths[0], paths[2]]))
    assert [r.getMessage().startswith(f"{bad} skipped: ") for r in caplog.records] == [True]


@pytest.mark.parametrize("how", ["cut", "damaged", "grown"])
def test_a_file_that_changes_before_computing_is_named_or_skipped(three_files, sample_survey, how, caplog):
    frame = edask.read_results(three_files)
    skipping = edask.read_results(three_files, errors="skip")
    middle = three_files[1]
    data = open(middle, "rb").read()
    if how == "cut":
        data = data[:len(data) - 40]                     # its last record cut: one record less
    elif how == "damaged":
        data = data[:3]
    else:
        binx = ertkit.open(middle)
        binx.append(binx[0])
        data = binx._core.to_bytes()
    with open(middle, "wb") as file:
        file.write(data)
    with pytest.raises((ValueError, ertkit.FormatError), match="b.binx"):
        frame.compute(scheduler="sync")
    with caplog.at_level("WARNING", logger="ertkit"):
        got = skipping.compute(scheduler="sync")
    expected = serial_frame([three_files[0], three_files[2]])
    pd.testing.assert_frame_equal(got.reset_index(drop=True), expected)
    assert [r.getMessage().split(": ")[0] for r in caplog.records if "skipped" in r.getMessage()] == \
        [f"{middle} skipped"]


def test_recordings_that_change_or_fail_are_named_or_skipped(sample_survey, hand_made, tmp_path, caplog):
    paths = [tmp_path / "vp1-2@120523_143015.vmn", tmp_path / "vp3-4@120523_143015.vmn"]
    shutil.copy(hand_made / "vp123-4567@120523_143015.vmn", paths[0])
    shutil.copy(sample_survey / "vp123-4567@061423_083000.vmn", paths[1])
    paths = [str(path) for path in paths]
    starts, samples = edask.read_recordings(paths)
    _, skipping = edask.read_recordings(paths, errors="skip")
    first_rows = starts.n_samples[starts.file == paths[0]].sum()
    shutil.copy(hand_made / "long.vmn", paths[1])          # other starts than when built
    with pytest.raises(ValueError, match="vp3-4@120523_143015.vmn: .*when the collection was built"):
        samples.compute(scheduler="sync")
    with caplog.at_level("WARNING", logger="ertkit"):
        got = skipping.compute(scheduler="sync")
    assert np.isnan(got[first_rows:]).all() and not np.isnan(got[:first_rows, :2]).any()
    assert [r.getMessage().startswith(f"{paths[1]} skipped") for r in caplog.records] == [True]
    # A result file among recordings is named too.
    with pytest.raises(ValueError, match="line1.binx is not a recording"):
        edask.read_recordings([paths[0], str(sample_survey / "line1.binx")])
    with pytest.raises(ValueError, match="errors must be 'raise' or 'skip'"):
        edask.read_recordings(paths, errors="ignore")


# --- reprocessing --------------------------------------------------------------------------

BEYOND = dict(gates="log:10:1900:6", spikes=5, drift_order=2, mains=50, cole_cole=True)


def test_reprocess_gives_the_reports_and_files_of_a_serial_loop(sample_survey, tmp_path):
    paths = [str(sample_survey / "line1.binx"), str(sample_survey / "line1-wenner.bin")]
    with dask.config.set(scheduler="sync"):
        frame = edask.reprocess(paths, output=tmp_path, **BEYOND)
    serial = []
    for path in paths:
        new, report = ertkit.reprocess(ertkit.open(path), **BEYOND)
        report.insert(0, "file", path)
        serial.append(report)
        new.write(tmp_path / "serial.binx")
        written = tmp_path / (os.path.splitext(os.path.basename(path))[0] + ".binx")
        assert written.read_bytes() == (tmp_path / "serial.binx").read_bytes()
    pd.testing.assert_frame_equal(frame, pd.concat(serial, ignore_index=True))
    assert "cc_m" in frame.columns and frame.ok.all()


def test_reprocess_names_a_file_it_cannot_reprocess_or_skips_it(sample_survey, tmp_path, caplog):
    # The survey's BINX file, and a copy of it in a folder without its recordings.
    good, bad, out = str(sample_survey / "line1.binx"), str(tmp_path / "copy.binx"), tmp_path / "out"
    shutil.copy(good, bad)
    out.mkdir()
    with dask.config.set(scheduler="sync"):
        with pytest.raises(ValueError, match=f"{bad}: no record could be reprocessed \\(voltage recording missing"):
            edask.reprocess([good, bad], output=out)
        with caplog.at_level("WARNING", logger="ertkit"):
            frame = edask.reprocess([good, bad], errors="skip", output=out)
    assert set(frame.file) == {good} and len(frame) == len(ertkit.open(good))
    assert [r.getMessage().startswith(f"{bad} skipped: ") for r in caplog.records] == [True]
    assert sorted(os.listdir(out)) == ["line1.binx"]  # the file that failed wrote nothing


@pytest.mark.parametrize("arguments, error, message", [
    (dict(gates="log:0:10:0"), ValueError, "the first gate must start after the switch-off"),
    (dict(taper="hann", spikes="5"), TypeError, "spikes must be a number"),
    (dict(colecole=True), TypeError, "colecole"),
    (dict(progress=print), TypeError, "takes no progress"),
])
def test_reprocess_refuses_bad_options_before_any_work(sample_survey, tmp_path, arguments, error, message):
    with pytest.raises(error, match=re.escape(message)):
        edask.reprocess([str(sample_survey / "line1.binx")], output=tmp_path, **arguments)
    assert os.listdir(tmp_path) == []


def test_reprocess_refuses_outputs_that_clash_or_replace_an_input(sample_survey, tmp_path):
    copy, out = tmp_path / "line1.bin", tmp_path / "out"
    shutil.copy(sample_survey / "line1-wenner.bin", copy)
    out.mkdir()
    with pytest.raises(ValueError, match="would both be written to"):
        edask.reprocess([str(sample_survey / "line1.binx"), str(copy)], output=out)
    with pytest.raises(ValueError, match="would replace an input"):
        edask.reprocess([str(sample_survey / "line1.binx")], output=sample_survey)
    assert os.listdir(out) == []


# --- on a cluster of processes -------------------------------------------------------------

distributed = pytest.importorskip("distributed")

# The sanitizer build runs the interpreter with the AddressSanitizer runtime preloaded
# (python/tests/CMakeLists.txt); the worker processes inherit the preload, so the library is
# checked in them too.


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  worker_dashboard_address=None) as local, distributed.Client(local) as client:
        yield client


def test_a_cluster_of_two_worker_processes_reads_the_same_frame(many_files, cluster):
    frame = edask.read_results(many_files)
    assert len(cluster.scheduler_info()["workers"]) == 2
    pd.testing.assert_frame_equal(frame.compute(), serial_frame(many_files))
    # Objects travel to the workers too: opened files pickle by path.
    files = [ertkit.open(path) for path in many_files[:20]]
    counts = cluster.gather(cluster.map(len, files))
    assert counts == [len(f) for f in files]


def _slow_copy(frame):
    time.sleep(0.05)
    return frame.copy()


def test_a_worker_killed_mid_computation_leaves_the_result_complete(many_files, cluster):
    # Each partition takes a while after its file is read, so that the kill finds work in
    # progress and read results held only by the dead worker.
    frame = edask.read_results(many_files).map_partitions(_slow_copy)
    future = cluster.compute(frame)
    deadline = time.monotonic() + 60
    victim = None
    while victim is None and time.monotonic() < deadline:
        busy = [worker for worker, keys in cluster.processing().items() if keys]
        if busy and len(cluster.who_has()) > 20:
            victim = busy[0]
        time.sleep(0.02)
    assert victim is not None, "the computation never got going"
    pids = cluster.run(os.getpid, workers=[victim])
    os.kill(pids[victim], signal.SIGKILL)
    result = future.result(timeout=120)
    # The scheduler lost the worker (its nanny starts another, at another address) while the
    # work was going on, and ran its tasks again elsewhere.
    assert victim not in cluster.scheduler_info()["workers"]
    pd.testing.assert_frame_equal(result, serial_frame(many_files))

