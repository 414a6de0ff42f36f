#!/usr/bin/python3
"""The full-wave reader against a raw read of the same bytes and against a numpy decoder.

Writes two recordings (3 and 8 channels, --mb megabytes each) with fullwave_probe, checks once
per file that the numpy decoder (fullwave_numpy_peer.py) gives exactly the reader's samples and
PPS flags, then runs --rounds interleaved rounds. Each round measures, for each file and each in
a fresh process: a raw read into new memory, constructing the reader, constructing it and
filling every channel with fillData, constructing it and filling every start with fillStart,
the Python package (ertkit.open and every start's arrays, when --python points at a build of
it), the numpy decoder (both timed around their call only) and the floor: the least work any
reader does that keeps the values in memory and hands each channel out as doubles
(ValueFloor.h). The tables give the medians.

The floor says how far a reader can get at all on the machine: numpy's time over the floor's is
the most any such reader could show against numpy there, ours included.

Run with /usr/bin/python3 (it has numpy), after building the probe:
    cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DERTKIT_BUILD_BENCH=ON
    cmake --build build-rel --target fullwave_probe
    /usr/bin/python3 bench/compare_fullwave.py [--rounds 5] [--mb 256] [--probe PATH] [--python DIR]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np

import fullwave_numpy_peer

HERE = Path(__file__).resolve().parent
PEER = HERE / "fullwave_numpy_peer.py"
PYTHON_PROBE = HERE / "fullwave_python_probe.py"
CHANNELS = (3, 8)
PROBE_MODES = ("raw", "construct", "fill", "fillstart", "floor")
LABELS = {"raw": "raw read", "construct": "construct", "fill": "construct + fillData",
          "fillstart": "construct + fillStart", "python": "Python ertkit.open+data", "numpy": "numpy decoder",
          "floor": "floor: read + widen"}
NO_FILL_START = 2  # the probe's exit status when the library has no fillStart yet

# Set on some processors, where they slow numpy down; the decoder uses no BLAS, so they are
# dropped from its process only, as a numpy user elsewhere would not have them.
PEER_ENV = {k: v for k, v in os.environ.items() if k not in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE")}


def run_json(command, env=None):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True, env=env)
    if done.returncode:
        return done.returncode, done.stderr.strip()
    return 0, json.loads(done.stdout.strip().splitlines()[-1])


def must(command, env=None):
    status, out = run_json(command, env)
    if status:
        sys.exit(f"{' '.join(map(str, command))} failed ({status}): {out}")
    return out


def verify(probe, path, work):
    """The comparison only counts if both sides decode the same numbers."""
    dump = work / "dump"
    reader = must([probe, "dump", path, dump])
    values = np.fromfile(dump).reshape(-1, reader["channels"][0] if reader["channels"] else 1)
    pps = np.fromfile(f"{dump}.pps", dtype=np.uint8).astype(bool)
    dump.unlink()
    Path(f"{dump}.pps").unlink()
    peer = fullwave_numpy_peer.read_fullwave(path)
    if [len(v) for v, _ in peer] != reader["samples"] or {v.shape[1] for v, _ in peer} != set(reader["channels"]):
        sys.exit(f"{path}: starts differ: reader {reader}, numpy {[v.shape for v, _ in peer]}")
    if not (np.array_equal(np.concatenate([v for v, _ in peer]), values)
            and np.array_equal(np.concatenate([p for _, p in peer]), pps)):
        sys.exit(f"{path}: the numpy decoder's samples or PPS differ from the reader's")
    if False in reader["fillstart_agrees"]:
        sys.exit(f"{path}: fillStart differs from fillData and fillPPS")
    return reader


def measure_round(probe, python, path, channels, results, skipped):
    for mode in PROBE_MODES:
        if mode in skipped:
            continue
        status, out = run_json([probe, mode, path] + ([channels] if mode == "floor" else []))
        if status == NO_FILL_START and mode == "fillstart":
            skipped.add(mode)
            print(f"  fillstart skipped: {out}", file=sys.stderr)
            continue
        if status:
            sys.exit(f"{probe} {mode} {path} failed ({status}): {out}")
        results.setdefault(mode, []).append(out)
    if python:
        env = dict(PEER_ENV, PYTHONPATH=f"{python}{os.pathsep}{HERE}")
        results.setdefault("python", []).append(must(["/usr/bin/python3", PYTHON_PROBE, "measure", path], env=env))
    results.setdefault("numpy", []).append(must(["/usr/bin/python3", PEER, "measure", path], env=PEER_ENV))


def print_table(path, channels, reader, results, rounds):
    size = path.stat().st_size
    megabytes = size / 1e6
    seconds = {m: statistics.median(r["seconds"] for r in runs) for m, runs in results.items()}
    memory = {m: statistics.median((r["vmhwm_kb"] - r["baseline_kb"]) * 1024 / size for r in runs)
              for m, runs in results.items()}
    print(f"\n{channels} channels: {megabytes:.1f} MB, {len(reader['samples'])} start(s), "
          f"{sum(reader['samples']):,} samples; median of {rounds} round(s)")
    print(f"  {'measurement':<24}{'seconds':>9}{'min-max':>17}{'MB/s':>9}{'peak memory / file size':>26}")
    for mode in ("raw", "construct", "fill", "fillstart", "python", "numpy", "floor"):
        if mode not in seconds:
            print(f"  {LABELS[mode]:<24}{'n/a':>9}")
            continue
        times = [r["seconds"] for r in results[mode]]
        spread = f"{min(times):.3f}-{max(times):.3f}"
        print(f"  {LABELS[mode]:<24}{seconds[mode]:>9.3f}{spread:>17}{megabytes / seconds[mode]:>9.0f}{memory[mode]:>26.2f}")

    def ratio(text, value):
        print(f"  {text:<66}{value if isinstance(value, str) else f'{value:.2f}':>8}")

    def when(mode, value):
        return value() if mode in seconds else "n/a"

    print("  speed relative to raw read (raw time / its time; 1 = as fast as reading the bytes):")
    ratio("  construct", seconds["raw"] / seconds["construct"])
    print("  times faster than numpy (numpy time / its time; >1 = faster than numpy):")
    ratio("  construct + fillData", seconds["numpy"] / seconds["fill"])
    ratio("  construct + fillStart", when("fillstart", lambda: seconds["numpy"] / seconds["fillstart"]))
    ratio("  Python ertkit.open + every start's arrays", when("python", lambda: seconds["numpy"] / seconds["python"]))
    # The first touch of new memory is erratic on some virtual machines, and numpy touches three
    # times as much of it as the reader: its fastest round is the fairer yardstick there.
    best = min(r["seconds"] for r in results["numpy"])
    print("  times faster than numpy's fastest round (its best time / their median):")
    ratio("  construct + fillData", best / seconds["fill"])
    ratio("  construct + fillStart", when("fillstart", lambda: best / seconds["fillstart"]))
    ratio("  Python ertkit.open + every start's arrays", when("python", lambda: best / seconds["python"]))
    print("  the floor (the least any reader keeping the values in memory does):")
    ratio("  construct + fillData, times the floor's time (1 = as fast as it)", seconds["fill"] / seconds["floor"])
    ratio("  numpy's median / the floor's (the most any such reader can show)", seconds["numpy"] / seconds["floor"])
    ratio("  numpy's fastest round / the floor's median", best / seconds["floor"])
    print("  memory: (VmHWM after - VmHWM before) / file size:")
    ratio("  construct", memory["construct"])
    ratio("  construct + fillStart", when("fillstart", lambda: memory["fillstart"]))
    ratio("  Python ertkit.open + every start's arrays", when("python", lambda: memory["python"]))
    ratio("  numpy decoder", memory["numpy"])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--mb", type=float, default=256, help="size of each recording in megabytes (10^6 bytes)")
    parser.add_argument("--probe", type=Path, default=HERE.parent / "build-rel" / "bench" / "fullwave_probe")
    parser.add_argument("--python", type=Path, default=HERE.parent / "build-rel" / "python",
                        help="folder holding the built ertkit package (skipped when absent)")
    args = parser.parse_args()
    if not args.probe.is_file():
        sys.exit(f"no probe at {args.probe}: build the fullwave_probe target first")

    with tempfile.TemporaryDirectory(prefix="ertkit-compare-") as tmp:
        work = Path(tmp)
        files = {}
        for channels in CHANNELS:
            path = work / f"fullwave-{channels}ch.vmn"
            must([args.probe, "make", path, channels, args.mb])
            files[channels] = (path, verify(args.probe, path, work), {})
        print(f"numpy decoder checked against the reader on {len(files)} files: same samples and PPS",
              file=sys.stderr)
        skipped = set()
        python = args.python if (args.python / "ertkit").is_dir() else None
        for round_ in range(args.rounds):
            print(f"round {round_ + 1} of {args.rounds}", file=sys.stderr)
            for channels, (path, _, results) in files.items():
                measure_round(args.probe, python, path, channels, results, skipped)
        for channels, (path, reader, results) in files.items():
            print_table(path, channels, reader, results, args.rounds)


if __name__ == "__main__":
    main()
