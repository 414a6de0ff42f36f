"""The full-wave reader as a Python user reaches it: ertkit.open, then every start's arrays.

    PYTHONPATH=<build>/python /usr/bin/python3 fullwave_python_probe.py measure PATH
opens PATH and takes every start's samples (float64, samples x channels), overload flags and
PPS flags, the same arrays and more than the numpy decoder gives, and prints one JSON line like
fullwave_probe's. The arrays are numpy's own, so both sides pay the same for new memory.
"""
import json
import sys
import time

import ertkit
from fullwave_numpy_peer import peak_memory_kb


def read_with_ertkit(path):
    recording = ertkit.open(path)
    return [(start.data, start.overload, start.pps) for start in recording.starts]


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] != "measure":
        sys.exit(__doc__)
    baseline = peak_memory_kb()
    t0 = time.perf_counter()
    result = read_with_ertkit(sys.argv[2])
    seconds = time.perf_counter() - t0
    print(json.dumps({"mode": "python", "seconds": seconds, "vmhwm_kb": peak_memory_kb(),
                      "baseline_kb": baseline, "starts": len(result)}))
