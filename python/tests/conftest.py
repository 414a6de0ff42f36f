import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

sys.path.insert(0, os.path.dirname(__file__))

# The tool's outputs on the sample survey (seed 1), checked in; scripts/golden.sh writes them.
GOLDEN = pathlib.Path(__file__).resolve().parents[2] / "tests" / "golden"


def program(variable):
    """Path of a program of the build the tests may drive (set by CTest), or a skip."""
    path = os.environ.get(variable)
    if not path or not os.path.exists(path):
        pytest.skip(f"{variable} is not built")
    return path


@pytest.fixture(scope="session")
def sample_survey(tmp_path_factory):
    """The folder of the sample survey the tool writes, the one tests/golden describes."""
    folder = tmp_path_factory.mktemp("survey")
    subprocess.run([program("ERTKIT_CLI"), "sample", str(folder), "--seed", "1"], check=True, capture_output=True)
    return folder


@pytest.fixture(scope="session")
def hand_made(tmp_path_factory):
    """The folder of the files the sample survey does not hold, written by the C++ writers
    (python/tests/HandMadeFiles.cpp says what each holds). Tests must not change them."""
    folder = tmp_path_factory.mktemp("hand-made")
    subprocess.run([program("ERTKIT_TEST_FILES"), str(folder)], check=True)
    return folder


@pytest.fixture
def pyplot():
    """matplotlib's pyplot drawing off screen, its figures closed after the test; or a skip."""
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    yield plt
    plt.close("all")


def square_wave(samples, channels, amplitude=120.0):
    """The samples of the hand-made recordings: amplitude / (c + 1) on channel c, changing sign
    every 100 samples, plus 0.25 c, as float32."""
    k = np.arange(samples)[:, None]
    c = np.arange(channels)[None, :]
    sign = np.where((k // 100) % 2 == 0, 1.0, -1.0)
    return (sign * amplitude / (c + 1) + 0.25 * c).astype(np.float32)
