"""Downloads from the meter simulator that the command-line tool starts (``ertkit meter-sim``)."""

import _thread
import contextlib
import os
import pty
import select
import subprocess
import threading
import time

import numpy as np
import pytest

import ertkit
from conftest import program


@contextlib.contextmanager
def meter(*options):
    """A simulated meter in a process of its own; yields its device path."""
    process = subprocess.Popen([program("ERTKIT_CLI"), "meter-sim", *map(str, options)], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    try:
        yield process.stdout.readline().strip()
    finally:
        process.terminate()
        process.wait(timeout=30)


def tool_download(port, first, last, out):
    subprocess.run([program("ERTKIT_CLI"), "download", "--port", port, "--first", str(first), "--last", str(last),
                    "-o", str(out), "--quiet"], check=True, capture_output=True)
    return ertkit.open(out)


def same_tables(a, b):
    assert a.dtype.names == b.dtype.names and len(a) == len(b)
    for name in a.dtype.names:
        np.testing.assert_array_equal(a[name], b[name], err_msg=name)


@pytest.mark.parametrize("version", [1, 2, 3])
def test_record_download_matches_the_tool_and_survives_a_round_trip(tmp_path, version):
    calls = []
    with meter("--records", 6, "--version", version) as port:
        binx, recording = ertkit.download(port, 0, 5, name="L1", progress=lambda done, total: calls.append((done, total)))
        by_tool = tool_download(port, 0, 5, tmp_path / "tool.binx")
    assert recording is None and isinstance(binx, ertkit.BinxFile) and len(binx) == 6
    dones = [done for done, _ in calls]
    assert {total for _, total in calls} == {6} and calls[-1] == (6, 6) and dones == sorted(set(dones))
    same_tables(binx.to_numpy(), by_tool.to_numpy())

    out = tmp_path / "download.binx"
    binx.write(out)
    same_tables(ertkit.open(out).to_numpy(), binx.to_numpy())


def test_two_meters_on_two_ports_download_at_once_from_two_threads(tmp_path):
    # Each download waits at its first record for the other to reach its own: both are under
    # way at once, or the meeting breaks and the progress callback stops the download.
    meeting = threading.Barrier(2, timeout=60)

    def meet_once():
        met = []

        def progress(done, total):
            if done >= 1 and not met:
                met.append(meeting.wait())
        return progress

    counts = (4, 7)
    results = [None, None]
    with meter("--records", counts[0], "--version", 3) as first, meter("--records", counts[1], "--version", 1) as second:
        ports = (first, second)

        def fetch(i):
            try:
                results[i] = ertkit.download(ports[i], 0, counts[i] - 1, progress=meet_once())
            except BaseException as error:  # reported below, on the test's thread
                results[i] = error

        threads = [threading.Thread(target=fetch, args=(i,)) for i in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        by_tool = [tool_download(port, 0, count - 1, tmp_path / f"tool{i}.binx") for i, (port, count) in enumerate(zip(ports, counts))]
    assert not [r for r in results if isinstance(r, BaseException)], results
    for (binx, recording), tool, count in zip(results, by_tool, counts):
        assert recording is None and len(binx) == count
        same_tables(binx.to_numpy(), tool.to_numpy())


@pytest.mark.parametrize("kind", ["voltage", "current"])
def test_raw_transfer_gives_the_recording_and_its_measures(tmp_path, kind):
    kept = tmp_path / "meter"
    with meter("--raw", kind, "--records", 3) as port:
        binx, recording = ertkit.download(port, 0, 2, full_wave_path=kept)
    assert len(binx) == 3
    assert recording.is_vmn is (kind == "voltage")
    assert (tmp_path / ("meter.vmn" if kind == "voltage" else "meter.iab")).exists()
    start = recording[0]
    assert start.n_samples > 0 and start.data.shape == (start.n_samples, start.n_channels)
    np.testing.assert_array_equal(start.data, ertkit.open(kept.with_suffix(".vmn" if kind == "voltage" else ".iab"))[0].data)


def test_raw_transfer_without_a_path_leaves_no_file_of_ours(tmp_path, monkeypatch):
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    with meter("--raw", "voltage", "--records", 1) as port:
        _, recording = ertkit.download(port, 0, 0)
    assert recording[0].n_samples > 0
    assert not [p for p in tmp_path.rglob("*") if p.is_file() or p.name.startswith("ertkit")]


def test_keep_partial_returns_what_arrived_and_says_how_much(tmp_path, caplog):
    # The meter vanishes inside its sixth record: five came whole.
    with meter("--records", 20, "--hang-up-after", 1500) as port:
        with pytest.raises(ertkit.DownloadError) as raised:
            ertkit.download(port, 0, 19)
    assert len(raised.value.binx) == 5
    with meter("--records", 20, "--hang-up-after", 1500) as port:
        with caplog.at_level("WARNING", logger="ertkit"):
            binx, recording = ertkit.download(port, 0, 19, keep_partial=True)
    assert len(binx) == 5 and recording is None
    assert [r.getMessage() for r in caplog.records] == ["The meter's device has gone (unplugged?): kept 5 of 20 measures"]


def tool_failure(port, *options):
    """The tool's account of a download that fails, one line."""
    run = subprocess.run([program("ERTKIT_CLI"), "download", "--port", port, "--first", "0", "--last", "2", *options,
                          "-o", os.devnull], capture_output=True, text=True)
    assert run.returncode == 1
    return run.stderr


@pytest.mark.parametrize("port, words", [
    ("/etc/passwd", "cannot open the port /etc/passwd: not a serial device"),
    ("/dev/ertkit-no-such-port", "cannot open the port /dev/ertkit-no-such-port: no such device (is the meter plugged in?)"),
])
def test_a_port_that_cannot_be_opened_is_explained_as_the_tool_explains_it(port, words):
    with pytest.raises(ertkit.DownloadError) as raised:
        ertkit.download(port, 0, 2)
    assert isinstance(raised.value, OSError) and str(raised.value) == words
    assert raised.value.errors == [(0, words)] and len(raised.value.binx) == 0
    assert tool_failure(port) == f"ertkit: {words}; nothing written\n"


@pytest.mark.parametrize("fault, words", [
    ("--stop-after", "no answer from the meter: is it on, in its download mode, and on this port? (Time out version ???)"),
    ("--hang-up-after", "The meter's device has gone (unplugged?)"),
])
def test_a_meter_lost_in_the_handshake_is_explained_as_the_tool_explains_it(fault, words):
    # The meter identifies itself (15 bytes), then falls silent or vanishes; a timeout longer
    # than the half second the simulator waits before it hangs up tells the two apart.
    with meter("--records", 3, fault, 15) as port:
        with pytest.raises(ertkit.DownloadError) as raised:
            ertkit.download(port, 0, 2, timeout=2)
    assert str(raised.value) == words and raised.value.errors == [(0, words)]
    with meter("--records", 3, fault, 15) as port:
        assert tool_failure(port, "--timeout", "2") == f"ertkit: {port}: {words}; nothing written\n"


@pytest.mark.parametrize("timeout, error", [(0.05, ValueError), (4000, ValueError), ("1", TypeError), (True, TypeError)])
def test_a_timeout_outside_the_tools_range_is_refused(timeout, error):
    with pytest.raises(error, match="timeout"):
        ertkit.download("/dev/ertkit-no-such-port", 0, 2, timeout=timeout)


@contextlib.contextmanager
def silent_meter():
    """A serial device where no meter answers: a pseudo-terminal whose other end only listens.
    Yields its path and a function that returns what the download sent to it."""
    controller, device = pty.openpty()
    os.set_blocking(controller, False)

    def received(wait=0.0):
        """What arrived, waiting at most `wait` seconds for the first byte."""
        select.select([controller], [], [], wait)
        data = b""
        with contextlib.suppress(BlockingIOError, OSError):
            while chunk := os.read(controller, 4096):
                data += chunk
        return data

    try:
        yield os.ttyname(device), received
    finally:
        os.close(device)
        os.close(controller)


def test_ctrl_c_stops_a_download_from_a_silent_meter_within_a_second(tmp_path):
    with silent_meter() as (port, received):
        timer = threading.Timer(0.3, _thread.interrupt_main)
        began = time.monotonic()
        timer.start()
        with pytest.raises(KeyboardInterrupt):
            ertkit.download(port, 0, 9, full_wave_path=tmp_path / "meter")
        assert time.monotonic() - began < 1.3
        sent = received()
        while not sent.endswith(bytes([0x81])) and (more := received(wait=5.0)):  # the end byte may be on its way
            sent += more
        assert sent.endswith(bytes([0x81]))  # the end byte
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("version", [1, 3])
def test_an_exception_in_progress_stops_the_download(tmp_path, version):
    class Stop(Exception):
        pass

    raised = []

    def stop_at_the_third(done, total):
        if done >= 3:
            raised.append(time.monotonic())
            raise Stop()

    with meter("--records", 20, "--version", version) as port:
        with pytest.raises(Stop):
            ertkit.download(port, 0, 19, progress=stop_at_the_third, full_wave_path=tmp_path / "meter")
    assert len(raised) == 1 and time.monotonic() - raised[0] < 1.0
    assert list(tmp_path.iterdir()) == []
