"""ertkit.reprocess on the sample survey: its arguments, the frame says why a record could not
be joined, and the file and report are the tool's byte for byte (what each stack recovers is
the shared layer's, tested in C++)."""

import re
import shutil

import numpy as np
import pytest

import ertkit

pandas = pytest.importorskip("pandas")

@pytest.fixture(scope="module")
def binx(sample_survey):
    return ertkit.open(sample_survey / "line1.binx")


@pytest.fixture(scope="module")
def mean(binx):
    return ertkit.reprocess(binx)


def test_a_record_that_cannot_be_joined_says_why(sample_survey, tmp_path):
    for path in sample_survey.iterdir():
        shutil.copy(path, tmp_path)
    moved = "vp123-4567@061423_083420.vmn"  # the Wenner readings' voltage recording
    (tmp_path / moved).rename(tmp_path / "elsewhere.data")
    new, frame = ertkit.reprocess(ertkit.open(tmp_path / "line1.binx"))
    failed = frame[~frame.ok]
    assert 0 < len(failed) < len(frame)
    # Which records fail, and why, is the shared layer's (SampleReprocessingTest): here, the frame's cells.
    assert (failed.failure == f"voltage recording missing: {moved} is not in {tmp_path}").all()
    assert failed.voltage_start.isna().all() and failed.vp_new_mV.isna().all() and failed.vp_stored_mV.notna().all()
    # Those records keep their stored values.
    table = new.to_pandas()
    np.testing.assert_array_equal(table.vp_mV[~frame.ok], failed.vp_stored_mV)

    # Recordings elsewhere: recordings= names their folder.
    (tmp_path / "elsewhere.data").rename(tmp_path / moved)
    folder = tmp_path / "recordings"
    folder.mkdir()
    for path in tmp_path.glob("*@*"):
        path.rename(folder / path.name)
    _, frame = ertkit.reprocess(ertkit.open(tmp_path / "line1.binx"))
    assert frame.failure.str.startswith("voltage recording missing: vp123-4567@").all()
    _, frame = ertkit.reprocess(ertkit.open(tmp_path / "line1.binx"), recordings=folder)
    assert frame.ok.all()


def test_windows_given_replace_the_records_own(binx, mean):
    _, stored = mean
    for windows in ([(100, 300), (300, 700)], [100, 300, 700], np.array([100.0, 300.0, 700.0])):
        new, frame = ertkit.reprocess(binx, windows=windows)
        assert frame.ok.all()
        assert (np.abs(frame.m_new_mV_V - stored.m_new_mV_V) > 1e-3 * stored.m_new_mV_V).all()
        np.testing.assert_array_equal(frame.vp_new_mV, stored.vp_new_mV)  # Vp does not depend on them
        assert all(record.window_times == [100.0, 300.0, 700.0] and len(record.windows) == 2 for record in new)


def test_the_new_file_is_a_binx_file_of_the_package(binx, mean):
    # What it writes is the tool's byte for byte (below); an edited file pickles by value (test_pickle).
    new, frame = mean
    assert type(new) is ertkit.BinxFile and len(new) == len(binx) == len(frame)
    # The input is left as it was.
    assert binx.to_numpy().tobytes() == ertkit.open(binx.path).to_numpy().tobytes()


def test_results_read_from_bytes_need_their_recordings_folder(sample_survey):
    data = (sample_survey / "line1.binx").read_bytes()
    with pytest.raises(ValueError, match="recordings="):
        ertkit.reprocess(ertkit.open(data, kind="binx"))
    _, frame = ertkit.reprocess(ertkit.open(data, kind="binx"), recordings=sample_survey)
    assert frame.ok.all()
    new, frame = ertkit.reprocess(ertkit.BinxFile(), recordings=sample_survey)
    assert len(new) == len(frame) == 0
    assert frame.failure.dtype == object and str(frame.voltage_start.dtype) == "Int64"


@pytest.mark.parametrize("arguments, error, message", [
    (dict(stack="mode"), ValueError, "stack must be mean, median or trimmed, not 'mode'"),
    (dict(stack=1), TypeError, "stack must be a str"),
    (dict(windows=[(40, 80), (100, 160)]), ValueError, "window 2 (100:160) does not start where window 1 ends (80 ms)"),
    (dict(windows=list(range(0, 220, 10))), ValueError, "give from 1 to 20 windows"),
    (dict(windows="40:80"), TypeError, "windows must be a list"),
    (dict(windows=[(40, 80, 120)]), TypeError, "windows must be a list"),
    (dict(windows=[("40", "80")]), TypeError, "a window bound must be a number"),
    (dict(trim=0.5), ValueError, "below 0.5"),
    (dict(trim="a quarter"), TypeError, "trim must be a number"),
    (dict(progress=3), TypeError, "progress must be a callable"),
    (dict(gates="log:0:10:0"), ValueError, "the first gate must start after the switch-off (above 0 ms), not at 0 ms"),
    (dict(gates=(10, 5, 6)), ValueError, "the last gate must end after the first starts (10 ms), not at 5 ms"),
    (dict(gates="10:1900:6"), ValueError, "'10:1900:6' is not a gate spacing"),
    (dict(gates=[10, 1900]), TypeError, "gates must be 'log:FIRST_MS:LAST_MS:PER_DECADE' or (first_ms, last_ms, per_decade)"),
    (dict(gates=(10, "1900", 6)), TypeError, "gates must be a number"),
    (dict(gates="log:10:1900:6", windows=[40, 80]), ValueError, "give windows or gates, not both"),
    (dict(taper="blackman"), ValueError, "taper must be none or hann, not 'blackman'"),
    (dict(taper=True), TypeError, "taper must be None or a str"),
    (dict(spikes=-1), ValueError, "the spike limit must be a number of deviations, 0 or more (0: none looked for), not -1"),
    (dict(spikes="5"), TypeError, "spikes must be a number"),
    (dict(drift_order=6), ValueError, "the drift's order must be from 0 to 5, not 6"),
    (dict(drift_order=2.0), TypeError, "drift_order must be None or a whole number"),
    (dict(mains=float("nan")), ValueError, "the power line's frequency must be a number of Hz, 0 or more (0: its noise left), not nan"),
    (dict(cole_cole="yes"), TypeError, "cole_cole must be True or False"),
])
def test_bad_arguments_are_refused_before_any_work(binx, arguments, error, message):
    with pytest.raises(error, match=re.escape(message)):
        ertkit.reprocess(binx, **arguments)


@pytest.mark.parametrize("windows, message", [
    ([(2000, 4000)], "record 0: window 1 (2000:4000 ms) ends after the recorded decay, which lasts 2000 ms after the switch-off"),
    ([(0.0001, 0.0002)], "window 1 (0.0001:0.0002 ms) holds no sample (one every 10 ms)"),
    ("log:10:5000:6", "record 0: gate 14 (1670:2410 ms) ends after the recorded decay, which lasts 2000 ms after the switch-off"),
    (("log:10:100:20", "hann"), "record 0: gate 1 (10:20 ms) holds one sample (one every 10 ms): a taper needs two or more"),
])
def test_windows_the_decay_does_not_hold_are_refused_as_the_tool_refuses_them(binx, windows, message):
    if isinstance(windows, tuple):
        arguments = dict(gates=windows[0], taper=windows[1])
    else:
        arguments = dict(gates=windows) if isinstance(windows, str) else dict(windows=windows)
    with pytest.raises(ValueError, match=re.escape(message)):
        ertkit.reprocess(binx, **arguments)


def test_what_is_not_a_result_file_or_a_folder_is_refused(sample_survey, binx):
    with pytest.raises(TypeError, match="BinxFile or BinFile"):
        ertkit.reprocess(sample_survey / "line1.binx")
    with pytest.raises(FileNotFoundError):
        ertkit.reprocess(binx, recordings=sample_survey / "nowhere")
    with pytest.raises(NotADirectoryError):
        ertkit.reprocess(binx, recordings=sample_survey / "line1.binx")


def test_progress_counts_recordings_then_records_and_a_raising_callable_stops(binx):
    calls = []
    ertkit.reprocess(binx, progress=lambda done, total: calls.append((done, total)))
    recordings = 4  # the .vmn and .iab of both arrays
    assert calls[-1] == (recordings + len(binx),) * 2
    assert [done for done, _ in calls] == sorted({done for done, _ in calls})

    class Stop(Exception):
        pass

    def stop(done, total):
        raise Stop()

    with pytest.raises(Stop):
        ertkit.reprocess(binx, progress=stop)


BEYOND = dict(gates="log:10:1900:6", spikes=5, drift_order=2, mains=50, cole_cole=True)


def tool_arguments(options):
    """The tool's options for reprocess's keyword arguments."""
    arguments = ["--stack", options.get("stack", "mean")]
    if "windows" in options:
        arguments += ["--windows", ",".join(f"{a}:{b}" for a, b in options["windows"])]
    if "gates" in options:
        gates = options["gates"]
        arguments += ["--gates", gates if isinstance(gates, str) else "log:" + ":".join(f"{g:g}" for g in gates)]
    for name in ("taper", "spikes", "drift_order", "mains"):
        if name in options:
            arguments += ["--" + name.replace("_", "-"), str(options[name])]
    return arguments + (["--cole-cole"] if options.get("cole_cole") else [])


def assert_frame_is_the_csv(frame, path):
    """Every cell of the frame is the one the tool wrote: reals to the last bit, undefined
    values where the tool left a cell empty."""
    tool = pandas.read_csv(path, keep_default_na=False, dtype=str)
    assert list(tool.columns) == list(frame.columns) and len(tool) == len(frame)
    for name in frame.columns:
        column, cells = frame[name], tool[name]
        if column.dtype == bool:
            assert list(cells) == [str(int(v)) for v in column], name
        elif column.dtype == object:
            assert list(cells) == list(column), name
        else:
            expected = [float(c) if c else np.nan for c in cells]
            np.testing.assert_array_equal(column.astype("float64").to_numpy(na_value=np.nan), expected, err_msg=name)


@pytest.mark.parametrize("name, options", [
    ("line1.binx", {}),
    ("line1-wenner.bin", {}),  # a legacy file: its records made BINX records, in its folder
    ("line1.binx", {"stack": "median", "windows": [(100, 300), (300, 700)]}),
    ("line1.binx", BEYOND),
    ("line1-wenner.bin", {"gates": (40, 1900, 3), "taper": "hann", "stack": "trimmed"}),
    ("line1.binx", {"windows": [(40, 100), (100, 300)], "taper": "hann", "drift_order": 0}),
])
def test_the_reprocessed_file_and_report_are_the_tools_byte_for_byte(sample_survey, tmp_path, name, options):
    import subprocess

    from conftest import program

    tool_output, tool_report = tmp_path / "tool.binx", tmp_path / "tool.csv"
    subprocess.run([program("ERTKIT_CLI"), "--quiet", "reprocess", str(sample_survey / name), "-o", str(tool_output),
                    "--report", str(tool_report), *tool_arguments(options)], check=True, capture_output=True)
    new, frame = ertkit.reprocess(ertkit.open(sample_survey / name), **options)
    new.write(tmp_path / "python.binx")
    assert (tmp_path / "python.binx").read_bytes() == tool_output.read_bytes()
    assert new.folder == "D:\\survey\\line1"
    assert_frame_is_the_csv(frame, tool_report)


def test_processing_beyond_the_meter_adds_its_columns_and_stores_the_model(binx):
    new, frame = ertkit.reprocess(binx, **BEYOND)
    extra = ["spikes", "mains_removed", "gates", "cc_m", "cc_m_std", "cc_tau_s", "cc_tau_std_s", "cc_c", "cc_c_std",
             "cc_misfit", "cc_failure"]
    assert list(frame.columns[-len(extra):]) == extra
    assert frame.ok.all() and (frame.gates == 13).all() and (frame.cc_failure == "").all()
    # The records keep the model: m a fraction, tau in s.
    np.testing.assert_array_equal([r.cole_cole for r in new], frame[["cc_m", "cc_tau_s", "cc_c"]].to_numpy())
    assert all(r.cole_cole is None for r in binx)
    # And each gate's deviation.
    deviations = np.array([r.window_deviations for r in new])
    assert deviations.shape == (len(new), 13) and (deviations > 0).all()
    assert all(r.window_deviations is None for r in binx)
    # Any one option beyond the meter gives the columns; none leaves the meter's report.
    assert "spikes" in ertkit.reprocess(binx, taper="hann")[1].columns
    assert "spikes" not in ertkit.reprocess(binx, taper=None, spikes=None, drift_order=None, mains=None)[1].columns
