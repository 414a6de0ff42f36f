"""Sources that are not regular files: pipes, FIFOs, devices and file objects, read as they
come, in bounded memory, interruptible, and up to a limit."""

import errno
import os
import pickle
import subprocess
import sys
import textwrap
import threading

import pytest

import ertkit
from test_sources import FILES, contents

RECORDING = FILES[2]


def holds_open(path):
    """Whether this process holds `path` open (seen in /proc/self/fd)."""
    for fd in os.listdir("/proc/self/fd"):
        try:
            if os.readlink(f"/proc/self/fd/{fd}") == str(path):
                return True
        except OSError:
            pass
    return False


@pytest.mark.parametrize("name", ["fifo.binx", "fifo.vmn"])
def test_a_fifo_is_read_once_its_writer_comes(sample_survey, tmp_path, name):
    fifo = tmp_path / name
    os.mkfifo(fifo)
    source = sample_survey / ("line1.binx" if name.endswith("binx") else RECORDING)
    result = {}
    reader = threading.Thread(target=lambda: result.setdefault("file", ertkit.open(fifo)))
    reader.start()
    # The interpreter goes on while the reader waits for a writer: this thread becomes it, once
    # the reader holds the FIFO (a writer's non-blocking open fails until then).
    while True:
        try:
            writer = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
            break
        except OSError as error:
            assert error.errno == errno.ENXIO
    os.set_blocking(writer, True)
    with os.fdopen(writer, "wb") as out:
        out.write(source.read_bytes())
    reader.join()
    assert contents(result["file"]) == contents(ertkit.open(source)) and result["file"].path == str(fifo)


# Run in a child process: today a FIFO that sends nothing holds the reader past Ctrl-C, and the
# child's timeout then says so instead of hanging the suite.
FIFO_INTERRUPT = textwrap.dedent("""
    import _thread, errno, os, sys, threading
    sys.path.insert(0, sys.argv[3])
    import ertkit
    from test_streams import holds_open
    fifo, how = sys.argv[1], sys.argv[2]

    def press_ctrl_c():
        # Once the reader waits: with no writer at all, or with one that sends nothing.
        writer = None
        while writer is None:
            if how == "no writer":
                if holds_open(fifo):
                    break
                continue
            try:
                writer = os.open(fifo, os.O_WRONLY | os.O_NONBLOCK)
            except OSError as error:
                assert error.errno == errno.ENXIO
        _thread.interrupt_main()  # what Ctrl-C does, without a signal that breaks a system call

    threading.Thread(target=press_ctrl_c, daemon=True).start()
    try:
        ertkit.open(fifo)
    except KeyboardInterrupt:
        print("interrupted")
""")


@pytest.mark.parametrize("how", ["no writer", "a silent writer"])
@pytest.mark.parametrize("name", ["fifo.binx", "fifo.vmn"])
def test_ctrl_c_stops_the_wait_for_a_fifo(tmp_path, name, how):
    fifo = tmp_path / name
    os.mkfifo(fifo)
    done = subprocess.run([sys.executable, "-c", FIFO_INTERRUPT, str(fifo), how, os.path.dirname(__file__)],
                          capture_output=True, text=True, timeout=120, env=os.environ)
    assert done.stdout.strip() == "interrupted", done.stderr


@pytest.mark.parametrize("device, name", [("/dev/zero", "zero.vmn"), ("/dev/zero", "zero.iab"),
                                          ("/dev/urandom", "random.binx"), ("/dev/urandom", "random.vmn"),
                                          ("/dev/urandom", "random.bin")])
def test_a_device_that_never_ends_is_cut_at_the_limit(tmp_path, device, name):
    link = tmp_path / name
    link.symlink_to(device)
    # A reader that gives up on the bytes before the limit says so in its own words; one that
    # would go on for ever is stopped at the limit.
    with pytest.raises((OSError, ertkit.FormatError)) as raised:
        ertkit.open(link, max_bytes=1 << 20)
    if isinstance(raised.value, OSError):
        assert raised.value.errno == errno.EFBIG and "1048576 bytes" in str(raised.value)
        assert raised.value.filename == str(link)
    if device == "/dev/zero":
        assert isinstance(raised.value, OSError)


def test_a_device_named_with_a_kind_is_cut_at_the_limit_too(tmp_path):
    with pytest.raises(OSError) as raised:
        ertkit.open("/dev/zero", kind="vmn", max_bytes=1 << 16)
    assert raised.value.errno == errno.EFBIG
    with open("/dev/zero", "rb") as zero, pytest.raises(OSError) as raised:
        ertkit.open(zero, kind="vmn", max_bytes=1 << 16)
    assert raised.value.errno == errno.EFBIG and "file object" in str(raised.value)


def test_a_source_within_the_limit_reads_whole(sample_survey):
    path = sample_survey / "line1.binx"
    size = path.stat().st_size
    assert contents(ertkit.open(path, max_bytes=size)) == contents(ertkit.open(path))
    with open(path, "rb") as file:
        assert contents(ertkit.open(file, max_bytes=size)) == contents(ertkit.open(path))
    with open(path, "rb") as file, pytest.raises(OSError, match=f"more than {size - 1} bytes"):
        ertkit.open(file, max_bytes=size - 1)
    with pytest.raises(ValueError, match="max_bytes"):
        ertkit.open(path, max_bytes=-1)


class Trickle:
    """A binary file object whose read() gives at most 1000 bytes, as a pipe or a socket may."""

    def __init__(self, data, name):
        self.data, self.at, self.name = data, 0, name

    def read(self, size=-1):
        size = 1000 if size is None or size < 0 else min(size, 1000)
        chunk = self.data[self.at:self.at + size]
        self.at += len(chunk)
        return chunk


@pytest.mark.parametrize("name", FILES)
def test_a_file_object_is_read_until_it_ends(sample_survey, name):
    path = sample_survey / name
    assert contents(ertkit.open(Trickle(path.read_bytes(), name))) == contents(ertkit.open(path))


@pytest.mark.parametrize("wrap", [bytearray, lambda data: memoryview(bytearray(data))])
@pytest.mark.parametrize("name", ["line1.binx", RECORDING])
def test_contents_are_copied_from_the_callers_buffer(sample_survey, name, wrap):
    data = (sample_survey / name).read_bytes()
    buffer = wrap(data)
    opened = ertkit.open(buffer, kind=name.rsplit(".", 1)[1])
    expected = contents(opened)
    buffer[:] = bytes(len(data))  # the caller reuses its buffer
    assert contents(pickle.loads(pickle.dumps(opened))) == expected
