#!/usr/bin/python3
"""Reprocessing with ertkit against the same reprocessing written with numpy.

Writes the sample survey (seed 1, 16 electrodes), a large survey (the 64-electrode sample's
BINX merged with itself to --records records, joined to that sample's four recordings) and,
with --lines, the same number of records in lines of 64 electrodes (seeds 1, 2, ..., a BINX
file and four recordings in a folder each) with reprocess_probe, checks on each that the numpy re-implementation (reprocess_numpy_peer.py)
gives ertkit's values with mean stacking (Vp, I, M, every window's M and the deviations, within
--tolerance relative), then runs --rounds interleaved rounds, each measurement in a fresh
process: ertkit (reading the BINX file and ertkit::reprocess, one thread per core, and on one
thread) and numpy (the package's to_numpy of the records, decoding the recordings,
reprocessing), both timed around their work only (not the interpreter's start nor imports).
The tables give the medians.

Run with /usr/bin/python3 (it has numpy), after building the probe and the package:
    cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DERTKIT_BUILD_BENCH=ON
    cmake --build build-rel --target reprocess_probe ertkit_python
    /usr/bin/python3 bench/compare_reprocess.py [--rounds 5] [--records 50000] [--lines]
"""
import argparse
import json
import os
import statistics
import sys
import tempfile
from pathlib import Path

import numpy as np

from compare_fullwave import PEER_ENV, must

HERE = Path(__file__).resolve().parent
PEER = HERE / "reprocess_numpy_peer.py"
CHECKED = ("vp", "vp_deviation", "current", "current_deviation", "m", "m_deviation")
CHECKED_WINDOWS = ("window_m", "window_m_deviation")


def relative_difference(ours, theirs):
    """Largest |a - b| / max(|a|, |b|) over the values (0 where both are 0)."""
    ours, theirs = np.asarray(ours, float), np.asarray(theirs, float)
    scale = np.maximum(np.abs(ours), np.abs(theirs))
    with np.errstate(all="ignore"):
        diff = np.where(scale > 0, np.abs(ours - theirs) / scale, 0.0)
    return float(np.max(diff, initial=0.0))


def pairs(survey):
    return [path for pair in survey["surveys"] for path in (pair["binx"], pair["recordings"])]


def check(survey_name, probe, survey, timing, env, work, tolerance):
    """The comparison only counts if both sides compute the same values."""
    lines = work / "ertkit.jsonl"
    must([probe, "dump", lines, *pairs(survey)])
    ours = [json.loads(line) for line in lines.read_text().splitlines()]
    peer_out = work / "numpy.npz"
    must(["/usr/bin/python3", PEER, "dump", json.dumps(timing), peer_out, *pairs(survey)], env=env)
    theirs = dict(np.load(peer_out))
    ok = np.array([r["ok"] for r in ours])
    if not ok.all() or not np.array_equal(ok, theirs["ok"]):
        sys.exit(f"{survey_name}: records that failed differ, or some failed: ertkit {int((~ok).sum())}, "
                 f"numpy {int((~theirs['ok']).sum())}; first failure: {next((r['failure'] for r in ours if not r['ok']), '')}")
    for name in ("voltage_recording", "voltage_start", "voltage_channel", "halves_used"):
        if not np.array_equal([r[name] for r in ours], theirs[name]):
            sys.exit(f"{survey_name}: {name} differs between ertkit and numpy")
    worst = {name: relative_difference([r[name] for r in ours], theirs[name]) for name in CHECKED}
    for name in CHECKED_WINDOWS:
        windows = theirs[name].shape[1]
        mine = np.array([r[name] + [np.nan] * (windows - len(r[name])) for r in ours], float)
        worst[name] = relative_difference(np.nan_to_num(mine), np.nan_to_num(theirs[name]))
    print(f"{survey_name}: {len(ours)} records; largest relative difference ertkit / numpy: "
          + ", ".join(f"{k} {v:.1e}" for k, v in worst.items()), file=sys.stderr)
    if max(worst.values()) > tolerance:
        sys.exit(f"values differ by more than {tolerance} (relative)")
    return worst


def measure_round(probe, survey, timing, env, results, round_):
    commands = {label: [probe, "run", "mean", threads, *pairs(survey)]
                for label, threads in (("ertkit", 0), ("ertkit_1_thread", 1))}
    commands["numpy"] = ["/usr/bin/python3", PEER, "measure", json.dumps(timing), "mean", *pairs(survey)]
    # Each in turn goes first: on this virtual machine a process often finds the memory that the
    # one before it freed faster to fault in than memory the host has not backed yet.
    labels = list(commands)
    for label in labels[round_ % 3:] + labels[:round_ % 3]:
        results.setdefault(label, []).append(must(commands[label], env=env if label == "numpy" else None))


def print_table(name, survey, results, rounds):
    records = survey["records"]
    median = {label: {key: statistics.median(run[key] for run in runs) for key in runs[0] if key != "mode"}
              for label, runs in results.items()}
    print(f"\n{name}: {len(survey['surveys'])} BINX file(s); median of {rounds} round(s)")
    print(f"  {'measurement':<30}{'seconds':>9}{'min-max':>17}{'records/s':>12}{'peak MB':>9}")
    for label, runs in sorted(results.items()):
        times = [run["seconds"] for run in runs]
        peak = median[label]["vmhwm_kb"] - median[label]["baseline_kb"]
        print(f"  {label:<30}{median[label]['seconds']:>9.3f}{f'{min(times):.3f}-{max(times):.3f}':>17}"
              f"{records / median[label]['seconds']:>12,.0f}{peak / 1024:>9.0f}")
    for label in ("ertkit", "ertkit_1_thread"):
        m = median[label]
        reprocess = m["seconds"] - m["open_seconds"]
        print(f"  {label}: BINX read {m['open_seconds']:.3f} s; of reprocess() {reprocess:.3f} s: join "
              f"{m['join_s'] / reprocess:.1%}, reading {m['recordings_read']:.0f} recordings {m['read_s'] / reprocess:.1%},"
              f" computing {m['compute_s'] / reprocess:.1%}")
    n = median["numpy"]
    print(f"  numpy: records table {n['table_s']:.3f} s, decoding {n['decode_s']:.3f} s, join {n['join_s']:.3f} s, "
          f"computing {n['compute_s']:.3f} s")
    best = min(run["seconds"] for run in results["numpy"])
    for label in ("ertkit", "ertkit_1_thread"):
        print(f"  {label} times faster than numpy (numpy time / its time): {n['seconds'] / median[label]['seconds']:.2f}"
              f" (against numpy's best round: {best / median[label]['seconds']:.2f})")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--records", type=int, default=50_000, help="records of the large survey")
    parser.add_argument("--lines", action="store_true",
                        help="also the survey of --records records in lines of 64 electrodes, a folder each")
    parser.add_argument("--tolerance", type=float, default=1e-6, help="largest relative difference allowed")
    parser.add_argument("--probe", type=Path, default=HERE.parent / "build-rel" / "bench" / "reprocess_probe")
    parser.add_argument("--python", type=Path, default=HERE.parent / "build-rel" / "python",
                        help="folder holding the built ertkit package")
    args = parser.parse_args()
    if not args.probe.is_file():
        sys.exit(f"no probe at {args.probe}: build the reprocess_probe target first")
    if not (args.python / "ertkit").is_dir():
        sys.exit(f"no ertkit package in {args.python}: build the ertkit_python target first")
    env = dict(PEER_ENV, PYTHONPATH=f"{args.python}{os.pathsep}{HERE}")

    with tempfile.TemporaryDirectory(prefix="ertkit-reprocess-") as tmp:
        work = Path(tmp)
        surveys = {"sample (16 electrodes)": must([args.probe, "make", work / "sample", 16, 0, "sample"]),
                   f"merged (64 electrodes, {args.records:,} records)":
                       must([args.probe, "make", work / "merged", 64, args.records, "merged"])}
        if args.lines:
            surveys[f"lines (64 electrodes, {args.records:,} records)"] = must(
                [args.probe, "make", work / "lines", 64, args.records, "lines"])
        timings = {}
        for name, survey in surveys.items():
            timings[name] = must([args.probe, "timing", *(pair["binx"] for pair in survey["surveys"])])
            check(name, args.probe, survey, timings[name], env, work, args.tolerance)
        results = {name: {} for name in surveys}
        for round_ in range(args.rounds):
            print(f"round {round_ + 1} of {args.rounds}", file=sys.stderr)
            for name, survey in surveys.items():
                measure_round(args.probe, survey, timings[name], env, results[name], round_)
        for name, survey in surveys.items():
            print_table(name, survey, results[name], args.rounds)


if __name__ == "__main__":
    main()
