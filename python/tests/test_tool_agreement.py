"""The command-line tool and Python open the same files alike: the same failure message, the
same warnings, the same start times and every value of the table, on the sample survey and on
damaged files."""

import logging
import re
import shutil
import subprocess

import numpy as np
import pytest

import ertkit
from conftest import program

SAMPLE = ["line1.binx", "line1-reciprocal.binx", "line1-wenner.bin", "vp123-4567@061423_083000.vmn",
          "in124-4568@061423_083000.iab"]
HAND_MADE = ["empty.vmn", "headless.vmn", "late.vmn", "back.vmn", "named.vmn", "lead.vmn", "x.iab",
             "vp1-2@120523_143015.vrw", "vp123-4567@120523_143015.vmn", "in1@120523_143015.iab",
             "short.bin", "damaged.bin", "old-version.bin", "old-header.bin", "survey.bin", "k.bin"]


@pytest.fixture(scope="module")
def damaged(sample_survey, tmp_path_factory):
    """Files damaged from the sample survey's: a BINX file cut inside a record, a recording whose
    name has a serial number that is not a number, a BINX file named as a recording, and a raw
    recording."""
    folder = tmp_path_factory.mktemp("damaged")
    data = (sample_survey / "line1.binx").read_bytes()
    (folder / "cut.binx").write_bytes(data[:len(data) * 2 // 3])
    shutil.copy(sample_survey / "vp123-4567@061423_083000.vmn", folder / "vpx12-4567@061423_083000.vmn")
    (folder / "vp1-2@061423_083000.vmn").write_bytes(data)
    shutil.copy(sample_survey / "in124-4568@061423_083000.iab", folder / "in124-4568@061423_083000.irw")
    return folder


def every_file(sample_survey, hand_made, damaged):
    return ([sample_survey / name for name in SAMPLE] + [hand_made / name for name in HAND_MADE]
            + sorted(damaged.iterdir()))


def tool_outcome(path):
    """(failure message or None, warnings) of the tool's info on `path`."""
    done = subprocess.run([program("ERTKIT_CLI"), "info", str(path)], capture_output=True, text=True)
    failure, warnings = None, []
    for line in done.stderr.splitlines():
        if line.startswith("warning: "):
            warnings.append(line[len("warning: "):])
        elif line.startswith(f"ertkit: {path}: "):
            failure = line[len(f"ertkit: {path}: "):]
        else:
            pytest.fail(f"unexpected line from the tool: {line}")
    assert (done.returncode != 0) == (failure is not None), done.stderr
    return failure, warnings


def python_outcome(open_it, caplog):
    """(failure message or None, warnings) of opening with `open_it`."""
    caplog.clear()
    failure = None
    with caplog.at_level(logging.DEBUG, logger="ertkit"):
        try:
            open_it()
        except ertkit.FormatError as error:
            failure = str(error)
    return failure, [r.getMessage() for r in caplog.records if r.levelno >= logging.WARNING]


def test_opening_fails_and_warns_as_the_tool_does(sample_survey, hand_made, damaged, caplog):
    for path in every_file(sample_survey, hand_made, damaged):
        expected = tool_outcome(path)
        assert python_outcome(lambda: ertkit.open(path), caplog) == expected, path.name
        if path.suffix in (".binx", ".bin"):
            # A file object carries the path as its name: what it says is said of that name.
            with open(path, "rb") as file:
                assert python_outcome(lambda: ertkit.open(file), caplog) == expected, path.name
            reader = ertkit.BinxFile if path.suffix == ".binx" else ertkit.BinFile
            assert python_outcome(lambda: reader(path), caplog) == expected, path.name
        elif path.suffix in (".vmn", ".iab", ".irw", ".vrw"):
            assert python_outcome(lambda: ertkit.Recording(path), caplog) == expected, path.name


def to_millisecond(time):
    """A time rounded to the nearest millisecond, halves up, as the tool shows it."""
    ns = time.astype("datetime64[ns]").astype(np.int64)
    return np.datetime64(int((ns + 500_000) // 1_000_000), "ms")


def same_cell(text, value):
    """A cell of the tool's CSV export and the value Python gives: numbers exactly (the export
    writes the shortest text that reads back), an empty cell or nan as NaN."""
    number = float(text) if text else float("nan")
    return number == value or (np.isnan(number) and np.isnan(value))


def test_tables_and_start_times_are_those_the_tool_shows(sample_survey, hand_made, damaged):
    for path in every_file(sample_survey, hand_made, damaged):
        try:
            opened = ertkit.open(path)
        except ertkit.FormatError:
            continue
        if isinstance(opened, ertkit.Recording):
            info = subprocess.run([program("ERTKIT_CLI"), "info", str(path)], capture_output=True, text=True).stdout
            shown = re.findall(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", info)
            assert [to_millisecond(start.start_time) for start in opened] == \
                [np.datetime64(text.rstrip("Z"), "ms") for text in shown], path.name
            continue
        csv = subprocess.run([program("ERTKIT_CLI"), "export", str(path), "--format", "csv"],
                             capture_output=True, text=True, check=True).stdout.splitlines()
        column = csv[0].split(",").index("start_time")
        exported = [np.datetime64(line.split(",")[column] or "NaT", "ns") for line in csv[1:]]
        table = opened.to_numpy()
        # Python's times are the tool's exactly, not only once rounded.
        np.testing.assert_array_equal(table["start_time"], np.array(exported, dtype="M8[ns]"), path.name)
        # Every other column, the geometric factor's NaN and an unrecorded deviation included.
        header = csv[0].split(",")
        assert list(table.dtype.names) == header, path.name
        for row, line in zip(table, csv[1:]):
            for name, text in zip(header, line.split(",")):
                assert name == "start_time" or same_cell(text, float(row[name])), (path.name, row["index"], name)
