"""The full-wave reader as a Python user reaches it: ertkit.open, then every start's arrays.

    PYTHONPATH=<build>/python /usr/bin/python3 fullwave_python_probe.py measure PATH
opens PATH and takes every start's samples (float64, samples x channels), overload flags and
PPS flags, the same arrays and more than the numpy decoder gives, and prints one JSON line like
fullwave_probe's. The arrays are numpy's own, so both sides pay the same for new memory.
"""
import ertkit
from fullwave_numpy_peer import measure


def read_with_ertkit(path):
    recording = ertkit.open(path)
    return [(start.data, start.overload, start.pps) for start in recording.starts]


if __name__ == "__main__":
    measure("python", read_with_ertkit, __doc__)
