#!/usr/bin/python3
"""Full-wave processing measured against a known truth.

Writes a noisy synthetic survey (`ertkit sample --noise`), whose true decays the generator
writes beside it (the Cole-Cole parameters of every reading and its clean stacked half cycle),
then compares with that truth, reading by reading:
  (a) the meter's stored values (the BINX file as written),
  (b) `ertkit reprocess` with its defaults (the meter's way, from the recordings),
  (c) `ertkit reprocess` with the processing beyond the meter (--full options below).
For each: the median relative error of the gate values and of M, per gate and over all of
them; the earliest gate whose median error is under 10 %, the earliest from which every later gate
stays under 10 %, and the decades from its start to the last gate's end; the time per
record of the command; for (c) the errors of the fitted Cole-Cole m, tau and c.

Run with /usr/bin/python3 after building the tool and the Python package:
    /usr/bin/python3 bench/truth_benchmark.py --tool build/tools/ertkit [--noise level=0.3,spikes=2,drift=20,mains=2]
        [--electrodes 32] [--seed 1] [--full "--gates log:10:1900:5 --spikes 4 --drift-order 5 --mains 50 --cole-cole"]
Prints a markdown table (bench/README.md keeps the one measured last).
"""
import argparse
import csv
import os
import shlex
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
USABLE = 0.10
STEP_MS = 10.0
PULSE = 200          # samples of the 2 s pulse at 10 ms
ON = (100, 200)      # the meter's on-time window, samples of the half cycle


def run(args):
    started = time.perf_counter()
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(map(str, args))} failed:\n{done.stderr}")
    return time.perf_counter() - started


def table_of(path):
    import ertkit
    return ertkit.open(str(path)).to_numpy()


def windows_of(table):
    """Each record's window bounds (ms) and chargeabilities (mV/V), NaN-padded."""
    n = 1
    while f"t{n}_ms" in table.dtype.names:
        n += 1
    bounds = np.stack([table[f"t{w}_ms"] for w in range(n)], axis=1).astype(float)
    m = np.stack([table[f"m{w}_mV_V"] for w in range(1, n)], axis=1).astype(float)
    return bounds, m


def read_truth(folder):
    truth = next(folder.glob("*-decay-truth.csv"))
    stacks = next(folder.glob("*-clean-stacks.csv"))
    with truth.open() as f:
        rows = list(csv.DictReader(row for row in f if not row.startswith("#")))
    parameters = {name: np.array([float(r[name]) for r in rows]) for name in ("m", "tau_s", "c")}
    clean = np.loadtxt(stacks, delimiter=",", skiprows=1, comments="#")[:, 1:]
    return parameters, clean


def true_gates(clean, bounds_ms, tapered):
    """The clean gate values (mV/V) of windows `bounds_ms` (records x bounds), read as the
    processing reads a stack: the weighted mean over the gate's samples, over the mean of the
    on-time window."""
    vp = clean[:, ON[0]:ON[1]].mean(axis=1)
    edges = PULSE + np.floor(np.nan_to_num(bounds_ms) / STEP_MS + 0.5).astype(int)
    out = np.full((len(clean), bounds_ms.shape[1] - 1), np.nan)
    for r in range(len(clean)):
        for w in range(bounds_ms.shape[1] - 1):
            if np.isnan(bounds_ms[r, w + 1]):
                continue
            a, b = edges[r, w], edges[r, w + 1]
            n = b - a
            weights = 0.5 - 0.5 * np.cos(2 * np.pi * (np.arange(n) + 0.5) / n) if tapered else np.ones(n)
            out[r, w] = 1000.0 * (weights * clean[r, a:b]).sum() / weights.sum() / vp[r]
    return out


def total_m(gates, bounds_ms):
    width = np.diff(bounds_ms, axis=1)
    finite = np.isfinite(gates)
    return np.where(finite, gates * width, 0).sum(axis=1) / np.where(finite, width, 0).sum(axis=1)


def relative_error(estimate, truth):
    with np.errstate(all="ignore"):
        return np.abs(estimate - truth) / np.abs(truth)


def summary(name, table, truth_clean, tapered, seconds):
    bounds, m = windows_of(table)
    truth = true_gates(truth_clean, bounds, tapered)
    errors = relative_error(m, truth)
    per_gate = np.nanmedian(errors, axis=0)
    starts, ends = np.nanmedian(bounds[:, :-1], axis=0), np.nanmedian(bounds[:, 1:], axis=0)
    usable = per_gate < USABLE
    # The earliest gate from which every later gate stays under the limit, and the decades
    # from its start to the end of the last.
    first_usable = None
    if len(usable) and usable[-1]:
        first_usable = len(usable) - 1
        while first_usable > 0 and usable[first_usable - 1]:
            first_usable -= 1
    earliest = np.flatnonzero(usable)
    m_error = np.nanmedian(relative_error(total_m(m, bounds), total_m(truth, bounds)))
    return {
        "name": name,
        "gates": np.nanmedian(errors),
        "m": m_error,
        "earliest": None if not len(earliest) else (starts[earliest[0]], ends[earliest[0]]),
        "first": None if first_usable is None else (starts[first_usable], ends[first_usable]),
        "decades": None if first_usable is None else np.log10(ends[-1] / max(starts[first_usable], STEP_MS / 2)),
        "per_gate": list(zip(starts, ends, per_gate)),
        "ms_per_record": None if seconds is None else 1000.0 * seconds / len(table),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tool", default=str(HERE.parent / "build" / "tools" / "ertkit"))
    parser.add_argument("--noise", default="level=0.3,spikes=2,drift=20,mains=2")
    parser.add_argument("--electrodes", type=int, default=32)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--full", default="--gates log:10:1900:5 --spikes 4 --drift-order 5 --mains 50 --cole-cole")
    parser.add_argument("--rounds", type=int, default=3, help="timings: the median of this many runs")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        folder = work / "survey"
        run([args.tool, "sample", folder, "--seed", args.seed, "--electrodes", args.electrodes, "--noise", args.noise])
        binx = folder / "line1.binx"
        parameters, clean = read_truth(folder)
        full = shlex.split(args.full)

        def timed(options, out):
            return sorted(run([args.tool, "reprocess", binx, "-o", out, *options]) for _ in range(args.rounds))[args.rounds // 2]

        t_default = timed([], work / "default.binx")
        t_full = timed(full + ["--report", work / "full.csv"], work / "full.binx")
        rows = [
            summary("(a) stored by the meter", table_of(binx), clean, False, None),
            summary("(b) reprocess, defaults", table_of(work / "default.binx"), clean, False, t_default),
            summary("(c) reprocess " + args.full, table_of(work / "full.binx"), clean, "hann" in full, t_full),
        ]
        with open(work / "full.csv") as f:
            report = list(csv.DictReader(f))
    print(f"Survey: `ertkit sample --seed {args.seed} --electrodes {args.electrodes} --noise {args.noise}`, "
          f"{len(clean)} readings.\n")
    print("| processing | median error of the gates | of M | earliest gate under 10 % (ms) | from which all stay under | their decades | ms per record |")
    print("|---|---|---|---|---|---|---|")
    for r in rows:
        first = "none" if r["first"] is None else f"{r['first'][0]:g}-{r['first'][1]:g}"
        earliest = "none" if r["earliest"] is None else f"{r['earliest'][0]:g}-{r['earliest'][1]:g}"
        decades = "-" if r["decades"] is None else f"{r['decades']:.1f}"
        ms = "-" if r["ms_per_record"] is None else f"{r['ms_per_record']:.2f}"
        print(f"| {r['name']} | {100 * r['gates']:.1f} % | {100 * r['m']:.1f} % | {earliest} | {first} | {decades} | {ms} |")
    meter = rows[0]
    for r in rows[1:]:
        print(f"\n{r['name']}: gate errors {meter['gates'] / r['gates']:.1f}x smaller than the meter's, M {meter['m'] / r['m']:.1f}x")
    fitted = [r for r in report if r.get("cc_m")]
    if fitted:
        index = np.array([int(r["index"]) for r in fitted])
        for name, column, true in (("m", "cc_m", parameters["m"]), ("tau", "cc_tau_s", parameters["tau_s"]), ("c", "cc_c", parameters["c"])):
            estimate = np.array([float(r[column]) for r in fitted])
            print(f"Cole-Cole {name}: median relative error {100 * np.median(relative_error(estimate, true[index])):.1f} % "
                  f"over {len(fitted)} fitted readings of {len(report)}")
    print("\nPer gate, median relative error (start-end ms: error):")
    for r in rows:
        print(f"- {r['name']}: " + ", ".join(f"{a:g}-{b:g}: {100 * e:.0f} %" for a, b, e in r["per_gate"]))


if __name__ == "__main__":
    main()
