"""Where ertkit.open takes a file from: paths of every form, file objects and bytes."""

import io
import logging
import os
import pathlib

import numpy as np
import pytest

import ertkit

FILES = ["line1.binx", "line1-wenner.bin", "vp123-4567@061423_083000.vmn", "in124-4568@061423_083000.iab"]


def contents(opened):
    """What a file holds, comparable across the ways of opening it."""
    if isinstance(opened, ertkit.Recording):
        return [(s.header, s.data.tobytes(), s.overload.tobytes()) for s in opened]
    return opened.to_numpy().tobytes()


class PathLike:
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


@pytest.mark.parametrize("name", FILES)
def test_file_objects_and_bytes_read_as_the_path(sample_survey, name):
    path = sample_survey / name
    expected = contents(ertkit.open(path))
    data = path.read_bytes()
    kind = name.rsplit(".", 1)[1]
    with open(path, "rb") as file:
        assert contents(ertkit.open(file)) == expected                        # kind from file.name
    assert contents(ertkit.open(io.BytesIO(data), kind=kind)) == expected
    assert contents(ertkit.open(data, kind=kind)) == expected
    assert contents(ertkit.open(memoryview(bytearray(data)), kind=kind.upper())) == expected
    assert contents(ertkit.open(str(path), kind="." + kind)) == expected


def test_a_named_recording_takes_its_serials_from_the_name(sample_survey):
    path = sample_survey / FILES[2]
    with open(path, "rb") as file:
        named = ertkit.open(file)
    assert (named.serial, named.user_serial, named.is_vmn) == (4567, 123, True)
    bare = ertkit.open(path.read_bytes(), kind="vmn")
    assert (bare.serial, bare.user_serial, bare.is_vmn) == (0, 0, True)


def test_damaged_bytes_fail_and_log_as_the_file_does(hand_made, caplog):
    for name in ["headless.vmn", "short.bin", "lead.vmn", "damaged.bin"]:
        path = hand_made / name
        outcomes = []
        for source in (path, path.read_bytes()):
            caplog.clear()
            with caplog.at_level(logging.DEBUG, logger="ertkit"):
                try:
                    opened = ertkit.open(source, kind=name.rsplit(".", 1)[1])
                    outcome = contents(opened)
                except ertkit.FormatError as error:
                    outcome = str(error)
            lines = [(r.levelno, r.getMessage().replace(str(path), "<name>")) for r in caplog.records]
            outcomes.append((outcome, lines))
        if name.endswith(".bin"):
            assert outcomes[0] == outcomes[1], name
        else:
            # A recording from bytes has no file name for its log line to show.
            assert outcomes[0][0] == outcomes[1][0] and len(outcomes[0][1]) == len(outcomes[1][1]), name


@pytest.mark.parametrize("source, options, error, message", [
    (b"\x00\x01", {}, ValueError, "need kind="),
    (io.StringIO("text"), {}, TypeError, "binary file object"),
    (12, {}, TypeError, "str, bytes or os.PathLike"),
    ("line1.binx\0.txt", {}, ValueError, "embedded null byte"),
    (PathLike(b"x\0y.binx"), {}, ValueError, "embedded null byte"),
    (None, dict(kind="csv"), ValueError, "kind must be one of"),  # None: a BINX file of the survey
    (None, dict(kind=3), TypeError, "kind must be a str"),
    (None, dict(progress=5), TypeError, "progress must be a callable"),
])
def test_wrong_sources_kinds_and_progress_raise_our_errors(request, source, options, error, message):
    if source is None:
        source = request.getfixturevalue("sample_survey") / "line1.binx"
    with pytest.raises(error, match=message):
        ertkit.open(source, **options)


def test_paths_of_every_form_open_as_python_opens_them(sample_survey, tmp_path):
    data = (sample_survey / "line1.binx").read_bytes()
    expected = contents(ertkit.open(sample_survey / "line1.binx"))
    # A name that is not UTF-8, as os.listdir gives it: str with surrogate escapes, or bytes.
    raw = os.fsencode(str(tmp_path)) + b"/caf\xe9.binx"
    with open(raw, "wb") as file:
        file.write(data)
    listed = [name for name in os.listdir(tmp_path) if name.endswith(".binx")][0]
    for source in (raw, os.fsdecode(raw), pathlib.Path(os.fsdecode(raw)), PathLike(raw), tmp_path / listed):
        opened = ertkit.open(source)
        assert contents(opened) == expected and os.fsencode(opened.path) == raw
        assert contents(ertkit.BinxFile(source)) == expected
    with pytest.raises(FileNotFoundError) as raised:
        ertkit.open(os.fsdecode(raw).replace("caf", "tea"))
    assert os.fsencode(raised.value.filename).endswith(b"tea\xe9.binx")
    with pytest.raises(ValueError, match="no reader takes the extension of .*caf.*txt"):
        other = tmp_path / ("caf" + os.fsdecode(b"\xe9") + ".txt")
        other.write_bytes(b"")
        ertkit.open(other)
