#!/usr/bin/python3
"""Many small files through ertkit.dask on a two-worker local cluster, against a plain loop.

Writes --files small BINX files (1 to 20 records each, written by the package itself) and
--recordings full-wave recordings (the command-line tool's sample survey, one per seed), then
runs --rounds interleaved rounds of:

* results, loop: ``pd.concat`` of every file's ``to_pandas`` with its path, in this process;
* results, dask: ``ertkit.dask.read_results(paths).compute()`` on the cluster;
* recordings, loop: every start's samples of every recording, in this process;
* recordings, dask: ``read_recordings(paths)`` and ``samples.compute()`` on the cluster.

The dask times include building the collection (which reads each file once for its shape)
and bringing the result back to this process; the cluster's start-up is timed apart. The
tables give the medians and ratio = loop time / dask time (above 1: the cluster is faster).

Run with /usr/bin/python3 (it has pandas, dask and distributed):
    /usr/bin/python3 bench/dask_many_files.py --python build/python --cli build/tools/ertkit
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def make_results(folder, count, ertkit, np):
    paths = []
    for f in range(count):
        binx = ertkit.BinxFile()
        for k in range(1 + f % 20):
            binx.append(ertkit.BinxRecord(vp_mV=-10.0 - k, i_mA=50.0 + k, m_mV_V=3.0, stacks=4,
                                          windows=[5.0, 4.0, 3.0], window_times=[20, 40, 80, 160],
                                          electrodes=[(k, 0, 0), (k + 5, 0, 0), (k + 10, 0, 0), (k + 15, 0, 0)],
                                          start_time=np.datetime64("2024-05-01T08:00") + np.timedelta64(f * 60 + k, "s")))
        path = folder / f"line{f:04d}.binx"
        binx.write(path)
        paths.append(str(path))
    return paths


def make_recordings(folder, count, cli):
    paths = []
    seed = 1
    while len(paths) < count:
        survey = folder / f"seed{seed}"
        subprocess.run([cli, "sample", str(survey), "--seed", str(seed)], check=True, capture_output=True)
        paths += sorted(str(p) for p in survey.iterdir() if p.suffix in (".vmn", ".iab"))
        seed += 1
    return paths[:count]


def timed(work):
    begin = time.perf_counter()
    result = work()
    return time.perf_counter() - begin, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--python", required=True, help="folder holding the ertkit package (build/python)")
    parser.add_argument("--cli", required=True, help="the ertkit command-line tool (for the sample recordings)")
    parser.add_argument("--files", type=int, default=1000)
    parser.add_argument("--recordings", type=int, default=50)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()

    sys.path.insert(0, args.python)
    os.environ["PYTHONPATH"] = os.pathsep.join(filter(None, [args.python, os.environ.get("PYTHONPATH")]))
    import distributed
    import numpy as np
    import pandas as pd

    import ertkit
    import ertkit.dask as edask

    def results_loop(paths):
        frames = []
        for path in paths:
            frame = ertkit.open(path).to_pandas()
            frame.insert(0, "file", path)
            frames.append(frame)
        return pd.concat(frames, ignore_index=True)

    def recordings_loop(paths):
        return [start.data for path in paths for start in ertkit.open(path)]

    def recordings_dask(paths):
        _, samples = edask.read_recordings(paths)
        return samples.compute()

    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        (scratch / "results").mkdir()
        results = make_results(scratch / "results", args.files, ertkit, np)
        recordings = make_recordings(scratch / "recordings", args.recordings, args.cli)
        size = sum(os.path.getsize(p) for p in results) / 1e6
        samples = sum(s.n_samples for p in recordings for s in ertkit.open(p))
        print(f"{len(results)} BINX files ({size:.1f} MB), {len(recordings)} recordings ({samples} samples)")

        startup, cluster = timed(lambda: distributed.LocalCluster(
            n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None))
        client = distributed.Client(cluster)
        print(f"cluster start-up: {startup:.2f} s (not counted below)")
        times = {key: [] for key in ("results loop", "results dask", "recordings loop", "recordings dask")}
        try:
            for _ in range(args.rounds):
                t, loop_frame = timed(lambda: results_loop(results))
                times["results loop"].append(t)
                t, dask_frame = timed(lambda: edask.read_results(results).compute())
                times["results dask"].append(t)
                assert len(loop_frame) == len(dask_frame)
                t, loop_arrays = timed(lambda: recordings_loop(recordings))
                times["recordings loop"].append(t)
                t, dask_array = timed(lambda: recordings_dask(recordings))
                times["recordings dask"].append(t)
                assert sum(len(a) for a in loop_arrays) == len(dask_array)
        finally:
            client.close()
            cluster.close()

    median = {key: statistics.median(values) for key, values in times.items()}
    print(f"\n| what | loop (s) | dask, 2 workers (s) | ratio loop / dask |\n|---|---|---|---|")
    for what in ("results", "recordings"):
        loop, dask_time = median[f"{what} loop"], median[f"{what} dask"]
        print(f"| {what} | {loop:.2f} | {dask_time:.2f} | {loop / dask_time:.2f} |")


if __name__ == "__main__":
    main()
