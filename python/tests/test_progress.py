"""progress(done, total): bytes of the file, at most about a hundred calls, ending at the total."""

import numpy as np
import pytest

import ertkit
from ertkit import BinxFile, BinxRecord


@pytest.fixture(scope="module")
def big_binx(tmp_path_factory):
    """A BINX file of 3000 records: three thousand steps of the reader."""
    binx = BinxFile()
    record = BinxRecord(vp_mV=-40.0, i_mA=100.0, electrodes=[(0, 0, 0), (5, 0, 0), (10, 0, 0), (15, 0, 0)])
    for _ in range(3000):
        binx.append(record)
    path = tmp_path_factory.mktemp("big") / "big.binx"
    binx.write(path)
    return path


def checked_calls(calls, size):
    dones = [done for done, _ in calls]
    assert {total for _, total in calls} == {size}
    assert calls[0] == (0, size) and calls[-1] == (size, size)
    assert dones == sorted(set(dones)) and len(calls) <= 102
    return dones


# Every reading entry point reports the same way: ertkit.open on a path or on bytes, and the
# class of the file's kind.
CLASSES = {".binx": ertkit.BinxFile, ".vmn": ertkit.Recording, ".bin": ertkit.BinFile}


@pytest.mark.parametrize("source", ["path", "bytes", "class"])
@pytest.mark.parametrize("fixture, name", [("big_binx", None), ("hand_made", "long.vmn"),
                                           ("sample_survey", "line1-wenner.bin")])
def test_progress_counts_bytes_of_the_file(request, source, fixture, name):
    path = request.getfixturevalue(fixture)
    path = path / name if name else path
    size = path.stat().st_size
    calls = []
    progress = lambda done, total: calls.append((done, total))  # noqa: E731
    if source == "path":
        ertkit.open(path, progress=progress)
    elif source == "bytes":
        ertkit.open(path.read_bytes(), progress=progress, kind=path.suffix)
    else:
        CLASSES[path.suffix](path, progress=progress)
    dones = checked_calls(calls, size)
    if fixture != "sample_survey":
        assert len(dones) > 10  # a long read is reported along the way, not only at its ends


def test_a_raising_callable_stops_a_result_read(big_binx):
    class Stop(Exception):
        pass

    def stop(done, total):
        if done > total // 2:
            raise Stop()

    with pytest.raises(Stop):
        ertkit.open(big_binx, progress=stop)


def test_tqdm_bars_end_full(big_binx, hand_made):
    # In a with block, or as the README shows it: no with block, the object kept (here) or not;
    # used again, it draws a new bar that ends full too.
    pytest.importorskip("tqdm")
    import io
    out = io.StringIO()
    with ertkit.tqdm_progress(file=out, desc="big") as progress:
        ertkit.open(big_binx, progress=progress)
    assert progress.bar.n == progress.bar.total == big_binx.stat().st_size
    progress = ertkit.tqdm_progress(file=out, mininterval=3600, desc="big")
    for path in (big_binx, hand_made / "long.vmn"):
        ertkit.open(path, progress=progress)
        assert progress.bar.n == path.stat().st_size
    assert out.getvalue().count("100%") == 3
