#!/usr/bin/python3
"""Reprocessing beyond the meter with ertkit against the same chain written with numpy and scipy.

Writes the sample survey with `ertkit sample` (--noise SETTINGS passed on, for a build whose
tool has it) and, with --records N, a larger one (the 64-electrode sample's BINX merged with
itself to N records, by reprocess_probe). Then it checks that fullwave_processing_numpy_peer.py
gives ertkit's values: `ertkit reprocess` with the whole chain (--drift-order, --spikes,
--mains, --gates, --cole-cole) writes its report, reprocess_probe dumps every gate, and the
peer dumps its own:
- M of every gate, M, Vp and their deviations within --tolerance (relative);
- the Cole-Cole m, tau, c, their deviations and the misfit within --cole-cole-tolerance where
  both fits end inside the bounds, c below 1 by more than the step of the covariance's
  differences. Nearer c = 1 the deviations are reported, not checked: a difference reaches past
  1, where the relaxation no longer changes with c, so they hang on how far below 1 the fit
  ended. There m, tau, c and the misfit may differ by more than the tolerance only where the
  peer's parameters fit the gates better than ertkit's (the cost of both by the peer's model):
  the two searches then stopped at different points of the bound, and the report says where
  and by how much.
Then --rounds interleaved rounds, each measurement in a fresh process: ertkit (the probe
reading the BINX file and reprocessing, two threads and one) and numpy, timed around their
work only. ertkit's steps are the differences between runs of one thread that add them in
turn (the meter's reprocessing; + log gates; + drift, power-line noise and spikes; + the
Cole-Cole fit); the peer times its own. The tables give the medians.

Run with /usr/bin/python3 after building the probe, the tool and the package:
    cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DERTKIT_BUILD_BENCH=ON
    cmake --build build-rel --target reprocess_probe ertkit-cli ertkit_python
    /usr/bin/python3 bench/compare_fullwave_processing.py [--rounds 5] [--records 1000] [--noise [SETTINGS]]
"""
import argparse
import csv
import json
import math
import os
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np

from compare_fullwave import PEER_ENV, must
from compare_reprocess import relative_difference
from cole_cole_numpy import STEP

HERE = Path(__file__).resolve().parent
PEER = HERE / "fullwave_processing_numpy_peer.py"
GATE_VALUES = ("vp", "vp_deviation", "m", "m_deviation", "window_m", "window_m_deviation")
COLE_COLE = ("m", "tau", "c", "m_deviation", "tau_deviation", "c_deviation", "misfit")
# The tool's report columns of the values the probe dumps.
REPORT = {"m": "m_new_mV_V", "m_deviation": "m_std_mV_V", "vp": "vp_new_mV", "cc_m": "cc_m", "cc_tau": "cc_tau_s",
          "cc_c": "cc_c", "cc_m_deviation": "cc_m_std", "cc_tau_deviation": "cc_tau_std_s",
          "cc_c_deviation": "cc_c_std", "cc_misfit": "cc_misfit"}


def tool_arguments(steps):
    args = []
    for key, option in (("drift_order", "--drift-order"), ("spikes", "--spikes"), ("mains", "--mains"), ("gates", "--gates")):
        if key in steps:
            args += [option, steps[key]]
    if steps.get("taper"):
        args += ["--taper", "hann"]
    return args + (["--cole-cole"] if steps.get("cole_cole") else [])


def write_sample(cli, folder, noise):
    command = [cli, "sample", folder]
    if noise is not None:
        helped = subprocess.run([str(cli), "sample", "--help"], capture_output=True, text=True).stdout
        if "--noise" not in helped:
            sys.exit(f"{cli} sample has no --noise in this build: leave --noise out")
        command += ["--noise"] + ([noise] if noise else [])
    subprocess.run([str(c) for c in command], check=True, capture_output=True)
    return {"surveys": [{"binx": str(folder / "line1.binx"), "recordings": str(folder)}]}


def pairs(survey):
    return [path for pair in survey["surveys"] for path in (pair["binx"], pair["recordings"])]


def ertkit_values(probe, cli, survey, steps, work):
    """The probe's dump as arrays, after checking that the tool's report holds the same values."""
    lines = work / "ertkit.jsonl"
    must([probe, "dump", "--beyond", json.dumps(steps), lines, *pairs(survey)])
    rows = [json.loads(line) for line in lines.read_text().splitlines()]
    ours = {name: np.array([r[name] for r in rows], float) for name in GATE_VALUES + ("halves_used", "spikes",
                                                                                        "mains_removed")}
    ours["ok"] = np.array([r["ok"] for r in rows])
    for name in COLE_COLE:
        ours[f"cc_{name}"] = np.array([r["cole_cole"][name] if r["cole_cole"] and r["cole_cole"]["ok"] else np.nan
                                       for r in rows], float)
    if cli is not None and len(survey["surveys"]) == 1:
        report = work / "report.csv"
        subprocess.run([str(cli), "reprocess", survey["surveys"][0]["binx"], "-o", work / "out.binx", "--report",
                        report, *map(str, tool_arguments(steps))], check=True, capture_output=True)
        with open(report, newline="") as f:
            table = list(csv.DictReader(f))
        for name, column in REPORT.items():
            tool = np.array([float(row[column]) if row[column] else np.nan for row in table])
            if relative_difference(np.nan_to_num(tool), np.nan_to_num(ours[name])) > 1e-12:
                sys.exit(f"the tool's report and the probe differ in {column}")
    return ours


def fit_costs(timing, steps, ours, index, parameters):
    """The weighted squared misfit of Cole-Cole parameters (tau s, c) to record `index`'s gates."""
    from fullwave_processing_numpy_peer import make_plan
    from cole_cole_numpy import scale_and_cost
    sampling = make_plan(timing, steps)["cole_cole"]
    y = ours["window_m"][index]
    errors = ours["window_m_deviation"][index] / math.sqrt(ours["halves_used"][index])
    return [float(scale_and_cost(sampling.decay(math.log(1000.0 * tau), c), y, 1.0 / errors ** 2)[1])
            for tau, c in parameters]


def check(name, probe, cli, survey, timing, steps, env, work, tolerance, cc_tolerance):
    """The comparison only counts if both sides compute the same values."""
    ours = ertkit_values(probe, cli, survey, steps, work)
    out = work / "numpy.npz"
    must(["/usr/bin/python3", PEER, "dump", json.dumps(timing), "--steps", json.dumps(steps), out, *pairs(survey)],
         env=env)
    theirs = dict(np.load(out))
    if not ours["ok"].all() or not np.array_equal(ours["ok"], theirs["ok"]):
        sys.exit(f"{name}: records that failed differ, or some failed")
    for what in ("halves_used", "spikes", "mains_removed"):
        if not np.array_equal(ours[what], theirs[what]):
            sys.exit(f"{name}: {what} differs between ertkit and numpy")
    worst = {what: relative_difference(np.nan_to_num(ours[what]), np.nan_to_num(theirs[what])) for what in GATE_VALUES}
    records = len(ours["ok"])
    print(f"{name}: {records} records, {int(ours['spikes'].sum())} spikes, {int(ours['mains_removed'].max())} "
          f"power-line frequencies; largest relative difference ertkit / numpy: "
          + ", ".join(f"{k} {v:.1e}" for k, v in worst.items()), file=sys.stderr)
    if max(worst.values()) > tolerance:
        sys.exit(f"values differ by more than {tolerance} (relative)")
    if not steps.get("cole_cole"):
        return
    if not np.array_equal(np.isfinite(ours["cc_m"]), theirs["cc_ok"]):
        sys.exit(f"{name}: the records whose Cole-Cole fit failed differ")
    bound = (ours["cc_c"] >= 1.0 - STEP) | (theirs["cc_c"] >= 1.0 - STEP)
    inside = {what: relative_difference(np.nan_to_num(ours[f"cc_{what}"][~bound]),
                                        np.nan_to_num(theirs[f"cc_{what}"][~bound])) for what in COLE_COLE}
    print(f"  Cole-Cole, {int((~bound).sum())} fits inside the bounds: largest relative difference "
          + ", ".join(f"{k} {v:.1e}" for k, v in inside.items()), file=sys.stderr)
    if max(inside.values()) > cc_tolerance:
        sys.exit(f"Cole-Cole fits inside the bounds differ by more than {cc_tolerance} (relative)")
    on_bound = {what: relative_difference(np.nan_to_num(ours[f"cc_{what}"][bound]),
                                          np.nan_to_num(theirs[f"cc_{what}"][bound])) for what in COLE_COLE}
    apart = 0
    excess = []
    for k in np.flatnonzero(bound):
        ertkit_cost, numpy_cost = fit_costs(timing, steps, ours, k, [(ours["cc_tau"][k], ours["cc_c"][k]),
                                                                      (theirs["cc_tau"][k], theirs["cc_c"][k])])
        close = all(relative_difference(ours[f"cc_{w}"][k], theirs[f"cc_{w}"][k]) <= cc_tolerance
                    for w in ("m", "tau", "c", "misfit"))
        if close:
            continue
        apart += 1
        if numpy_cost > ertkit_cost * (1.0 + 1e-9):
            sys.exit(f"{name}: record {k}: the Cole-Cole fits differ on the bound c = 1 and ertkit's fits better "
                     f"(cost {ertkit_cost:.6g} against numpy's {numpy_cost:.6g})")
        excess.append(ertkit_cost / numpy_cost - 1.0)
    print(f"  Cole-Cole, {int(bound.sum())} fits ending at or within {STEP} of c = 1: {apart} differ by more than "
          f"{cc_tolerance} in m, tau, c or the misfit, each one where ertkit's fit stopped short (its cost higher by "
          f"{min(excess, default=0):.1%} to {max(excess, default=0):.1%}); largest relative difference "
          + ", ".join(f"{k} {v:.1e}" for k, v in on_bound.items()), file=sys.stderr)


def runs_of(probe, survey, steps, timing, env):
    """Each measurement of a round: label -> command."""
    gates_only = {"gates": steps["gates"], "taper": steps.get("taper", False)}
    cleaned = {k: v for k, v in steps.items() if k != "cole_cole"}
    commands = {"ertkit": [probe, "run", "--beyond", json.dumps(steps), "mean", 0, *pairs(survey)],
                "ertkit_1_thread": [probe, "run", "--beyond", json.dumps(steps), "mean", 1, *pairs(survey)],
                "ertkit_1_thread_no_cole_cole": [probe, "run", "--beyond", json.dumps(cleaned), "mean", 1, *pairs(survey)],
                "ertkit_1_thread_gates_only": [probe, "run", "--beyond", json.dumps(gates_only), "mean", 1, *pairs(survey)],
                "ertkit_1_thread_meter": [probe, "run", "mean", 1, *pairs(survey)],
                "numpy": ["/usr/bin/python3", PEER, "measure", json.dumps(timing), "--steps", json.dumps(steps),
                          *pairs(survey)]}
    return {label: (command, env if label == "numpy" else None) for label, command in commands.items()}


def print_table(name, records, results, rounds):
    median = {label: {key: statistics.median(run[key] for run in runs) for key in runs[0] if key != "mode"}
              for label, runs in results.items()}
    print(f"\n{name}: {records} records; median of {rounds} round(s)")
    print(f"  {'measurement':<32}{'seconds':>9}{'min-max':>17}{'records/s':>12}{'peak MB':>9}")
    for label, runs in results.items():
        times = [run["seconds"] for run in runs]
        peak = median[label]["vmhwm_kb"] - median[label]["baseline_kb"]
        print(f"  {label:<32}{median[label]['seconds']:>9.3f}{f'{min(times):.3f}-{max(times):.3f}':>17}"
              f"{records / median[label]['seconds']:>12,.0f}{peak / 1024:>9.0f}")
    n = median["numpy"]
    best = min(run["seconds"] for run in results["numpy"])
    for label in ("ertkit", "ertkit_1_thread"):
        print(f"  {label} times faster than numpy (numpy's time / its time): {n['seconds'] / median[label]['seconds']:.2f}"
              f" (against numpy's best round: {best / median[label]['seconds']:.2f})")
    # ertkit's steps: the compute phase of one thread, each run adding a step to the one before.
    compute = {label: median[label]["compute_s"] for label in median if label.startswith("ertkit_1_thread")}
    ertkit_steps = {"drift + power line + spikes": compute["ertkit_1_thread_no_cole_cole"] - compute["ertkit_1_thread_gates_only"],
                    "log gates": compute["ertkit_1_thread_gates_only"] - compute["ertkit_1_thread_meter"],
                    "Cole-Cole fit": compute["ertkit_1_thread"] - compute["ertkit_1_thread_no_cole_cole"]}
    numpy_steps = {"drift + power line + spikes": n["drift_mains_s"] + n["spikes_s"], "log gates": n["gates_s"],
                   "Cole-Cole fit": n["cole_cole_s"]}
    print(f"  {'step (one thread)':<32}{'ertkit s':>10}{'numpy s':>10}{'ertkit rec/s':>14}{'numpy rec/s':>13}{'ratio':>8}")
    for step in ertkit_steps:
        e, p = ertkit_steps[step], numpy_steps[step]
        rate = (lambda s: f"{records / s:>14,.0f}" if s > 0 else f"{'-':>14}")
        print(f"  {step:<32}{e:>10.4f}{p:>10.4f}{rate(e)}{rate(p):>13}{(p / e if e > 0 else float('nan')):>8.1f}")
    print(f"  numpy also: records table {n['table_s']:.3f} s, decoding {n['decode_s']:.3f} s, join {n['join_s']:.3f} s; "
          f"ertkit's meter reprocessing (one thread) {median['ertkit_1_thread_meter']['seconds']:.3f} s in all")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--records", type=int, default=0,
                        help="also a survey of this many records (the 64-electrode sample merged with itself)")
    parser.add_argument("--noise", nargs="?", const="", metavar="SETTINGS",
                        help="passed to `ertkit sample --noise` (builds whose tool has it); alone, its defaults")
    parser.add_argument("--steps", default=json.dumps({"drift_order": 3, "spikes": 5.0, "mains": 50.0,
                                                       "gates": "log:10:1900:6", "taper": False, "cole_cole": True}),
                        help="the chain, as reprocess_probe's --beyond takes it")
    parser.add_argument("--tolerance", type=float, default=1e-9, help="largest relative difference of gate values")
    # ertkit's search stops once a step lowers the misfit by 1e-10 of itself or less, which leaves
    # its parameters about sqrt(1e-10) from the minimum along a flat direction.
    parser.add_argument("--cole-cole-tolerance", type=float, default=1e-4,
                        help="largest relative difference of Cole-Cole fits inside the bounds")
    parser.add_argument("--build", type=Path, default=HERE.parent / "build-rel")
    args = parser.parse_args()
    probe, cli, python = args.build / "bench" / "reprocess_probe", args.build / "tools" / "ertkit", args.build / "python"
    for path, target in ((probe, "reprocess_probe"), (cli, "ertkit-cli"), (python / "ertkit", "ertkit_python")):
        if not path.exists():
            sys.exit(f"no {path}: build the {target} target first")
    env = dict(PEER_ENV, PYTHONPATH=f"{python}{os.pathsep}{HERE}")
    steps = json.loads(args.steps)

    with tempfile.TemporaryDirectory(prefix="ertkit-fullwave-processing-") as tmp:
        work = Path(tmp)
        surveys = {"sample (16 electrodes)" + (f", noise {args.noise or 'defaults'}" if args.noise is not None else ""):
                   write_sample(cli, work / "sample", args.noise)}
        if args.records:
            surveys[f"merged (64 electrodes, {args.records:,} records)"] = must(
                [probe, "make", work / "merged", 64, args.records, "merged"])
        timings, records = {}, {}
        for name, survey in surveys.items():
            timings[name] = must([probe, "timing", *(pair["binx"] for pair in survey["surveys"])])
            check(name, probe, cli if name.startswith("sample") else None, survey, timings[name], steps, env, work,
                  args.tolerance, args.cole_cole_tolerance)
        results = {name: {} for name in surveys}
        for round_ in range(args.rounds):
            print(f"round {round_ + 1} of {args.rounds}", file=sys.stderr)
            for name, survey in surveys.items():
                runs = runs_of(probe, survey, steps, timings[name], env)
                labels = list(runs)
                shift = round_ % len(labels)  # each in turn goes first
                for label in labels[shift:] + labels[:shift]:
                    command, run_env = runs[label]
                    out = must(command, env=run_env)
                    records[name] = out["records"]
                    results[name].setdefault(label, []).append(out)
        for name in surveys if args.rounds > 0 else ():
            print_table(name, records[name], results[name], args.rounds)


if __name__ == "__main__":
    main()
