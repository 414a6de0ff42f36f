"""Quality control of a 50,000-record survey with reciprocals: ertkit.qc against a pandas
script that applies the same rules and pairs the readings with a merge, in one run.

    PYTHONPATH=build/python /usr/bin/python3 bench/compare_qc.py build/bench/qc_probe

Both start from the readings in memory (the probe's records for ertkit's shared quality
control, the frame of to_pandas for the peer, neither timed) and end with every reading's
reasons and errors and the fitted model. Prints the median of five rounds of the peer, the
probe's time in the same run, their ratio, and the time of ertkit.qc from Python, which also
copies the file and builds the report frame.
"""

import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas as pd

import ertkit

STACK, FLOOR_MV, RATIO, K_MAX, RECIPROCAL, M_MIN, M_MAX, CURRENT, FLOOR = 2.0, 0.1, 10.0, 20000.0, 10.0, 0.0, 500.0, 1.0, 0.02


def pandas_qc(frame):
    """The same rules, pairing and model as ertkit's, written as a pandas user would."""
    vp, i = frame["vp_mV"].abs(), frame["i_mA"]
    stack = frame["vp_error_mV"] / vp * 100 / np.sqrt(2)
    reasons = pd.DataFrame(index=frame.index)
    reasons["ignored"] = frame["ignore"].astype(bool)
    reasons["current"] = ~(i > 0) | (i < CURRENT)
    reasons["voltage"] = ~(vp >= FLOOR_MV) | ((frame["vp_error_mV"] > 0) & (vp < RATIO * frame["vp_error_mV"] / np.sqrt(2)))
    reasons["stack"] = stack > STACK
    reasons["geometry"] = ~(frame["k_m"].abs() <= K_MAX)
    reasons["negative"] = frame["rhoa_ohm_m"] <= 0
    windows = frame[[c for c in frame.columns if c.startswith("m") and c.endswith("_mV_V") and c[1:-5].isdigit()]].to_numpy()
    largest = np.nanmax(np.abs(windows), axis=1)
    noise = 3 * frame["m_error"].abs().to_numpy() + 0.05 * largest
    rising = np.nan_to_num(np.diff(windows, axis=1) > noise[:, None]).any(axis=1)
    reasons["decay"] = rising | (windows < -noise[:, None]).any(axis=1)
    reasons["chargeability"] = ~frame["m_mV_V"].between(M_MIN, M_MAX)
    # Pairing: each dipole as its two positions in order, rounded to the tolerance; a reading's
    # reciprocal has the dipoles exchanged.
    pos = {e: frame[[e + "x", e + "y", e + "z"]].round(2).astype(str).agg(",".join, axis=1) for e in "abmn"}
    lo = lambda p, q: np.where(p < q, p, q)
    hi = lambda p, q: np.where(p < q, q, p)
    keys = pd.DataFrame({"c1": lo(pos["a"], pos["b"]), "c2": hi(pos["a"], pos["b"]), "p1": lo(pos["m"], pos["n"]), "p2": hi(pos["m"], pos["n"]),
                         "r": frame["r_ohm"].abs(), "index": frame["index"]})
    other = keys.rename(columns={"c1": "p1", "c2": "p2", "p1": "c1", "p2": "c2", "r": "r_rec", "index": "rec"})
    pairs = keys.merge(other, on=["c1", "c2", "p1", "p2"], how="left").drop_duplicates("index")
    diff = (pairs["r"] - pairs["r_rec"]).abs() / (0.5 * (pairs["r"] + pairs["r_rec"]))
    reasons["reciprocal"] = (diff * 100 > RECIPROCAL).to_numpy()
    rejected = reasons.any(axis=1)
    other_reason = reasons.drop(columns="reciprocal").any(axis=1).to_numpy()
    both = pairs.dropna(subset=["rec"])
    both = both[both["index"] < both["rec"]]
    keep = ~(other_reason[both["index"].to_numpy()] | other_reason[both["rec"].astype(int).to_numpy()])
    level = (0.5 * (both["r"] + both["r_rec"]))[keep].to_numpy()
    d = (both["r"] - both["r_rec"])[keep].abs().to_numpy()
    order = np.argsort(level)
    bins = np.array_split(order, min(20, max(1, len(order) // 15)))
    x = np.array([np.median(level[b]) for b in bins])
    y = np.array([1.4826 * np.median(d[b]) / np.sqrt(2) for b in bins])
    b_slope, a = np.polyfit(x, y, 1, w=np.sqrt([len(b) for b in bins]) / y)
    r = frame["r_ohm"].abs()
    err = np.maximum((a + b_slope * r) / r, FLOOR)
    return rejected, err, (a, b_slope)


def median_time(work, rounds=5):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    probe = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        path = f"{folder}/survey.binx"
        probe_times = []
        for _ in range(5):
            out = subprocess.run([probe, path, "2500", "time"], check=True, capture_output=True, text=True).stdout
            probe_times.append(float(out.split("runQualityControl: ")[1].split(" ms")[0]) / 1000)
        print(out.splitlines()[0])
        shared = statistics.median(probe_times)
        results = ertkit.open(path)
        frame = results.to_pandas()
        ours = median_time(lambda: ertkit.qc(results))
        peer = median_time(lambda: pandas_qc(frame))
        _, report, model = ertkit.qc(results)
        rejected, _, (a, b) = pandas_qc(frame)
        print(f"records: {len(frame)}; reciprocal pairs: {model['reciprocal_pairs']}")
        print(f"ertkit quality control: {shared * 1000:.1f} ms; pandas: {peer * 1000:.1f} ms; ertkit {peer / shared:.1f}x faster")
        print(f"ertkit.qc from Python (file copy and report frame included): {ours * 1000:.1f} ms")
        print(f"rejected: ertkit {int((report['reasons'] != '').sum())}, pandas {int(rejected.sum())}; "
              f"b: ertkit {model['resistance']['b']:.4f}, pandas {b:.4f} (truth 0.02)")


if __name__ == "__main__":
    main()
