"""Reprocessing results from their recordings with numpy alone, the way a numpy user would.

It is the yardstick ertkit's reprocessing is compared with (compare_reprocess.py). The records
come from the ertkit package (``to_numpy``: start time, receiver serials, M and N positions,
stack count, window times); the recordings are decoded by fullwave_numpy_peer's decoder; the
rest is whole-array numpy over all the records at once, in chunks: each record's injection
gathered from the concatenated samples, cut into half cycles with reshapes, the linear
self-potential drift fitted through the cycles' pair means, half cycles holding an overloaded
sample dropped, the used halves stacked, Vp and I read over the on-time window, chargeabilities
over the record's windows, each with its deviation across half cycles.

Every record is computed on its own, as ertkit does: records that share an injection (as the
copies of a merged file do) are not computed once and shared.

What the package does not give (the injection cycle, the sample period, the voltage window's
delay and end) is the acquisition set-up a user knows for the survey: passed as a JSON object
(reprocess_probe's `timing`). The common case only, refused with ValueError otherwise: one
start per configuration page, recordings named by the receivers' grammar (user serial, '-',
serial, '@'), one current channel, the voltage channel found from M and N in the start's
electrode layout, current and voltage sides at the voltage start time. Estimators: mean and
median.

    /usr/bin/python3 reprocess_numpy_peer.py measure TIMING_JSON ESTIMATOR BINX RECORDINGS [BINX RECORDINGS...]
times the whole reprocessing of each pair of a BINX file and its recordings' folder, in turn,
in this process and prints one JSON line like reprocess_probe's;
    /usr/bin/python3 reprocess_numpy_peer.py dump TIMING_JSON OUT.npz BINX RECORDINGS [...]
writes its values (mean stacking) for compare_reprocess.py's check.
"""
import json
import re
import sys
import time
from pathlib import Path

import numpy as np

import fullwave_numpy_peer

PAGE_WORDS = 132
FULL_RANGE, HALF_RANGE = 14980.0, 4980.0
ROWS = 13
CHUNK = 2048  # records computed at once: bounds the gathered samples to tens of MB
SERIALS = re.compile(r"(\d+)-(\d+)@")
SECOND_NS = 1_000_000_000


def decode_recording(path):
    """The recording's starts: begin times (ns), sample counts, layouts, channel counts, and
    the samples and overload flags of every start, flattened one after another."""
    starts = fullwave_numpy_peer.read_fullwave(path)
    pages = np.memmap(path, dtype="<u4", mode="r").reshape(-1, PAGE_WORDS)
    is_config = (np.asarray(pages[:, 0]) & 0xFF) == ord("C")
    configs = np.flatnonzero(is_config)
    if len(configs) != len(starts):
        raise ValueError(f"{path}: a start split by a jump in sample numbers")
    config = np.asarray(pages[configs])
    if (configs + 1 >= len(pages)).any() or is_config[configs + 1].any():
        raise ValueError(f"{path}: a configuration page without data")
    first_number = np.asarray(pages[configs + 1, 4]) >> 8
    date = config[:, 3].view(np.int32).astype(np.int64)
    gmt = np.trunc((config[:, 35].view(np.float32) * np.float32(3600))).astype(np.int64)
    period_ns = 10_000_000
    begins = (date - gmt - 1) * SECOND_NS + first_number.astype(np.int64) * period_ns
    layouts = config[:, 4:4 + 2 * ROWS].view(np.float32).reshape(-1, ROWS, 2)
    max_rx = np.where(config[:, 34].view(np.int32) != 0, FULL_RANGE, HALF_RANGE)
    values, overloads = [], []
    for (v, _), limit in zip(starts, max_rx):
        over = np.abs(v) >= limit
        if v.shape[1] > 1:
            over[:, 1:] |= (np.abs(v[:, 1:].sum(axis=1)) >= FULL_RANGE)[:, None]
        values.append(v.ravel())
        overloads.append(over.ravel())
    return {"begins": begins, "samples": np.array([len(v) for v, _ in starts]), "layouts": layouts,
            "channels": np.array([v.shape[1] for v, _ in starts]), "values": values, "overloads": overloads}


class Side:
    """Every start of one kind of recording (voltage or current), with its samples concatenated."""

    def __init__(self, recordings):
        parts = [(serial, decode_recording(path)) for serial, path in recordings]
        self.serial = np.concatenate([np.full(len(r["begins"]), s) for s, r in parts] or [np.zeros(0, int)])
        self.begins = np.concatenate([r["begins"] for _, r in parts] or [np.zeros(0, np.int64)])
        self.samples = np.concatenate([r["samples"] for _, r in parts] or [np.zeros(0, int)])
        self.channels = np.concatenate([r["channels"] for _, r in parts] or [np.zeros(0, int)])
        self.layouts = np.concatenate([r["layouts"] for _, r in parts] or [np.zeros((0, ROWS, 2), np.float32)])
        # Where each start comes from: its file's name and its index in that file.
        self.names = np.array([Path(path).name for _, path in recordings] or [""])
        self.file = np.concatenate([np.full(len(r["begins"]), f) for f, (_, r) in enumerate(parts)] or [np.zeros(0, int)])
        self.index = np.concatenate([np.arange(len(r["begins"])) for _, r in parts] or [np.zeros(0, int)])
        values = [v for _, r in parts for v in r["values"]]
        self.base = np.concatenate([[0], np.cumsum([len(v) for v in values])])[:-1].astype(np.int64)
        self.values = np.concatenate(values or [np.zeros(0)])
        self.overloads = np.concatenate([o for _, r in parts for o in r["overloads"]] or [np.zeros(0, bool)])
        order = np.lexsort((self.begins, self.serial))
        self.sorted_serial, self.sorted_begins, self.order = self.serial[order], self.begins[order], order

    def join(self, serial, times, period_ns):
        """For each record: its start (or -1) and the sample of the start its time falls on."""
        start = np.full(len(times), -1)
        offset = np.zeros(len(times), np.int64)
        for s in np.unique(serial):
            mine = np.flatnonzero(serial == s)
            lo, hi = np.searchsorted(self.sorted_serial, [s, s + 1])
            if lo == hi:
                continue
            begins = self.sorted_begins[lo:hi]
            at = np.searchsorted(begins, times[mine] + SECOND_NS, side="right") - 1
            found = at >= 0
            candidate = self.order[lo + np.maximum(at, 0)]
            late = times[mine] - self.begins[candidate]
            into = np.where(np.abs(late) <= SECOND_NS, 0, late // period_ns)
            found &= into < self.samples[candidate]
            start[mine[found]] = candidate[found]
            offset[mine[found]] = into[found]
        return start, offset

    def gather(self, start, channel, offset, count):
        """(records, count) samples and overload flags of each record's channel from its offset."""
        flat = (self.base[start][:, None] + (offset[:, None] + np.arange(count)) * self.channels[start][:, None]
                + channel[:, None])
        return self.values[flat], self.overloads[flat]


def receivers(folder, extension):
    found = []
    for path in sorted(Path(folder).iterdir()):
        if path.suffix.lower() == extension:
            match = SERIALS.search(path.name)
            if match:
                found.append((int(match.group(2)), str(path)))
    return found


def dipole_channels(side, start, table):
    """The channel of each record's M-N dipole: the one whose layout rows hold M and N."""
    layouts = side.layouts[start].astype(np.float64)                                   # (R, 13, 2)
    m = np.stack([table["mx"], table["my"]], axis=1)[:, None, :]
    n = np.stack([table["nx"], table["ny"]], axis=1)[:, None, :]
    at_m = (np.abs(layouts[:, 2:ROWS - 1] - m) < 0.01).all(axis=2)                     # rows c + 2
    at_n = (np.abs(layouts[:, 3:ROWS] - n) < 0.01).all(axis=2)                         # rows c + 3
    matches = at_m & at_n & (np.arange(ROWS - 3) < side.channels[start][:, None])
    if (matches.sum(axis=1) != 1).any():
        raise ValueError("a record's M-N dipole is not exactly one channel of its start's layout")
    return matches.argmax(axis=1)


def estimate(values, used, estimator, axis):
    """Mean or median of `values` over `axis`, counting only where `used`."""
    if estimator == "median":
        with np.errstate(all="ignore"):
            return np.nanmedian(np.where(used, values, np.nan), axis=axis)
    with np.errstate(all="ignore"):
        return (values * used).sum(axis=axis) / used.sum(axis=axis)


def half_cycles(samples, overloads, cycle, cycles, estimator):
    """Drift removed, sign corrected half cycles (R, 2 * cycles, half) and which are used."""
    half = cycle // 2
    r = len(samples)
    pairs = samples.reshape(r, cycles, 2, half)
    flags = overloads.reshape(r, cycles, 2, half)
    valid = ~(flags[:, :, 0] | flags[:, :, 1])
    y = estimate((pairs[:, :, 0] + pairs[:, :, 1]) / 2.0, valid, estimator, axis=2)  # (R, cycles)
    has = valid.any(axis=2)
    x = np.arange(cycles) * cycle + (cycle - 1) / 2.0
    count = has.sum(axis=1)
    with np.errstate(all="ignore"):
        mean_x = (has * x).sum(axis=1) / count
        mean_y = np.where(has, y, 0.0).sum(axis=1) / count
        dx = np.where(has, x - mean_x[:, None], 0.0)
        sxx = (dx * dx).sum(axis=1)
        sxy = (dx * np.where(has, y - mean_y[:, None], 0.0)).sum(axis=1)
        slope = np.where(sxx > 0, sxy / np.where(sxx > 0, sxx, 1.0), 0.0)
    offset = np.where(count > 0, mean_y - slope * mean_x, 0.0)
    slope = np.where(count > 0, slope, 0.0)
    k = np.arange(cycles * cycle).reshape(2 * cycles, half)
    sign = np.where(np.arange(2 * cycles) % 2 == 0, 1.0, -1.0)[:, None]
    halves = sign * (samples.reshape(r, 2 * cycles, half) - (offset[:, None, None] + slope[:, None, None] * k))
    used = ~overloads.reshape(r, 2 * cycles, half).any(axis=2)
    return halves, used


def running_sums(halves, stack):
    """Cumulative sums along the samples of the half cycles and of the stack, from a leading 0,
    so that any window's mean is a difference of two of them."""
    zero = np.zeros(halves.shape[:2] + (1,))
    return np.concatenate([zero, np.cumsum(halves, axis=2)], axis=2), np.concatenate([zero[:, 0], np.cumsum(stack, axis=1)], axis=1)


def window_values(sums, first, last):
    """The mean over samples first..last - 1 of the stack (NaN where that is empty), the same in
    every half cycle, and where it is empty."""
    per, total = sums
    last = np.minimum(last, total.shape[1] - 1)
    empty = first >= last
    first = np.where(empty, 0, first)
    last = np.where(empty, 1, last)
    rows = np.arange(len(total))
    width = (last - first).astype(np.float64)
    value = np.where(empty, np.nan, (total[rows, last] - total[rows, first]) / width)
    per_half = (per[rows, :, last] - per[rows, :, first]) / width[:, None]             # (R, halves)
    return value, per_half, empty


def deviation(per_half, used):
    n = used.sum(axis=1)
    with np.errstate(all="ignore"):
        mean = (per_half * used).sum(axis=1) / n
        spread = (((per_half - mean[:, None]) ** 2) * used).sum(axis=1) / (n - 1)
    return np.where(n >= 2, np.sqrt(spread), 0.0)


def compute(v, v_flags, i, i_flags, times_ms, timing, cycles, estimator):
    cycle = timing["cycle"]
    v_halves, v_used = half_cycles(v, v_flags, cycle, cycles, estimator)
    i_halves, i_used = half_cycles(i, i_flags, cycle, cycles, estimator)
    v_stack = estimate(v_halves, v_used[:, :, None], estimator, axis=1)
    i_stack = estimate(i_halves, i_used[:, :, None], estimator, axis=1)
    half = cycle // 2
    pulse = half // 2 if timing["off_time"] else half
    last = min(timing["v_end"], pulse) or pulse
    first = min(timing["v_delay"], last)
    first = last // 2 if first >= last else first
    r = len(v)
    on_first, on_last = np.full(r, first), np.full(r, last)
    v_sums = running_sums(v_halves, v_stack)
    vp, vp_half, _ = window_values(v_sums, on_first, on_last)
    current, i_half, _ = window_values(running_sums(i_halves, i_stack), on_first, on_last)
    vp_dev, current_dev = deviation(vp_half, v_used), deviation(i_half, i_used)
    known = np.nan_to_num(times_ms)
    bounds = pulse + np.maximum(0, np.floor(known / timing["step_ms"] + 0.5)).astype(np.int64)
    windows = times_ms.shape[1] - 1
    m = np.full((r, windows), np.nan)
    m_dev = np.full((r, windows), np.nan)
    weighted = np.zeros(r)
    width = np.zeros(r)
    total_half = np.zeros(vp_half.shape)
    for w in range(windows):
        defined = ~np.isnan(times_ms[:, w + 1])
        value, per_half, empty = window_values(v_sums, bounds[:, w], np.where(defined, bounds[:, w + 1], 0))
        with np.errstate(all="ignore"):
            m[:, w] = np.where(defined, 1000.0 * value / vp, np.nan)
            m_half = 1000.0 * per_half / vp_half
        # An empty window has no value in any half cycle, and so no spread.
        m_dev[:, w] = np.where(defined, np.where(empty, 0.0, deviation(m_half, v_used)), np.nan)
        w_width = times_ms[:, w + 1] - times_ms[:, w]
        finite = np.isfinite(m[:, w])
        weighted += np.where(finite, m[:, w] * w_width, 0.0)
        width += np.where(finite, w_width, 0.0)
        total_half += np.where(finite[:, None], m_half * w_width[:, None], 0.0)
    with np.errstate(all="ignore"):
        m_total = np.where(width > 0, weighted / width, 0.0)
        m_total_dev = np.where(width > 0, deviation(total_half / width[:, None], v_used), 0.0)
    ok = v_used.any(axis=1) & i_used.any(axis=1) & np.isfinite(vp) & np.isfinite(current)
    return {"vp": vp, "vp_deviation": vp_dev, "current": current, "current_deviation": current_dev,
            "m": m_total, "m_deviation": m_total_dev, "window_m": m, "window_m_deviation": m_dev, "ok": ok,
            "halves_used": v_used.sum(axis=1)}


def prepare(binx, recordings, timing):
    """The records joined to their recordings: the records table, both sides, each record's
    voltage and current start (-1: none) and offset, its voltage channel, its whole cycles,
    whether it can be computed, its window times (ms, NaN past its last) and their names, and
    the times (perf_counter) the table was read, the recordings decoded and the join done."""
    import ertkit
    clock = time.perf_counter()
    table = ertkit.open(binx).to_numpy()
    t_table = time.perf_counter()
    voltage = Side(receivers(recordings, ".vmn"))
    current = Side(receivers(recordings, ".iab"))
    t_decode = time.perf_counter()
    period_ns = int(round(timing["step_ms"] * 1e6))
    times = table["start_time"].astype("datetime64[ns]").astype(np.int64)
    v_start, v_offset = voltage.join(table["serial_v"], times, period_ns)
    i_start, i_offset = current.join(table["serial_i"], times, period_ns)
    joined = (v_start >= 0) & (i_start >= 0)
    if (current.channels[i_start[joined]] != 1).any():
        raise ValueError("a current recording of more than one channel")
    v_channel = np.zeros(len(table), np.int64)
    v_channel[joined] = dipole_channels(voltage, v_start[joined], table[joined])
    cycle = timing["cycle"]
    cycles = np.minimum((voltage.samples[v_start] - v_offset) // cycle, (current.samples[i_start] - i_offset) // cycle)
    stacks = table["stacks"].astype(np.int64)
    cycles = np.where(stacks > 0, np.minimum(cycles, (stacks + 1) // 2), cycles)
    joined &= cycles > 0
    window_names = ["t0_ms"] + [f"t{w}_ms" for w in range(1, 21) if f"t{w}_ms" in table.dtype.names]
    times_ms = np.stack([table[name] for name in window_names], axis=1)
    t_join = time.perf_counter()
    return {"table": table, "voltage": voltage, "current": current, "v_start": v_start, "v_offset": v_offset,
            "i_start": i_start, "i_offset": i_offset, "v_channel": v_channel, "cycles": cycles, "joined": joined,
            "times_ms": times_ms, "window_names": window_names, "clock": clock, "t_table": t_table,
            "t_decode": t_decode, "t_join": t_join}


def reprocess(binx, recordings, timing, estimator="mean", phases=None):
    """Every record's values, as arrays over the records; `phases` gets the time of each step."""
    p = prepare(binx, recordings, timing)
    table, voltage, current, joined, cycles = p["table"], p["voltage"], p["current"], p["joined"], p["cycles"]
    v_start, v_offset, i_start, i_offset, v_channel = p["v_start"], p["v_offset"], p["i_start"], p["i_offset"], p["v_channel"]
    times_ms, window_names, cycle = p["times_ms"], p["window_names"], timing["cycle"]
    clock, t_table, t_decode, t_join = p["clock"], p["t_table"], p["t_decode"], p["t_join"]

    out = {name: np.full(len(table), np.nan) for name in ("vp", "vp_deviation", "current", "current_deviation", "m",
                                                          "m_deviation")}
    out["window_m"] = np.full((len(table), len(window_names) - 1), np.nan)
    out["window_m_deviation"] = np.full_like(out["window_m"], np.nan)
    out["ok"] = np.zeros(len(table), bool)
    out["halves_used"] = np.zeros(len(table), np.int64)
    out["voltage_channel"] = v_channel
    out["voltage_recording"] = voltage.names[voltage.file[v_start]]
    out["voltage_start"] = voltage.index[v_start]
    for c in np.unique(cycles[joined]):
        group = np.flatnonzero(joined & (cycles == c))
        for chunk in np.array_split(group, -(-len(group) // CHUNK)):
            count = int(c) * cycle
            v, v_flags = voltage.gather(v_start[chunk], v_channel[chunk], v_offset[chunk], count)
            i, i_flags = current.gather(i_start[chunk], np.zeros(len(chunk), np.int64), i_offset[chunk], count)
            for name, values in compute(v, v_flags, i, i_flags, times_ms[chunk], timing, int(c), estimator).items():
                out[name][chunk] = values
    if phases is not None:
        end = time.perf_counter()
        phases.update(table_s=t_table - clock, decode_s=t_decode - t_table, join_s=t_join - t_decode,
                      compute_s=end - t_join, seconds=end - clock)
    return out


def reprocess_all(pairs, timing, estimator="mean", phases=None):
    """reprocess() of each (BINX, recordings folder) pair in turn, the records one after another."""
    outs = []
    for binx, recordings in pairs:
        mine = {}
        outs.append(reprocess(binx, recordings, timing, estimator, mine))
        if phases is not None:
            for key, value in mine.items():
                phases[key] = phases.get(key, 0.0) + value
    windows = max(out["window_m"].shape[1] for out in outs)
    for out in outs:  # lines whose records have fewer windows: NaN in the others
        for name in ("window_m", "window_m_deviation"):
            out[name] = np.pad(out[name], ((0, 0), (0, windows - out[name].shape[1])), constant_values=np.nan)
    return {name: np.concatenate([out[name] for out in outs]) for name in outs[0]}


def pairs_of(args):
    if not args or len(args) % 2:
        sys.exit(__doc__)
    return list(zip(args[0::2], args[1::2]))


def main(argv):
    if len(argv) >= 5 and argv[0] == "measure":
        timing = json.loads(argv[1])
        baseline = fullwave_numpy_peer.peak_memory_kb()
        phases = {}
        out = reprocess_all(pairs_of(argv[3:]), timing, argv[2], phases)
        print(json.dumps({"mode": "numpy", **phases, "records": int(len(out["ok"])), "failed": int((~out["ok"]).sum()),
                          "vmhwm_kb": fullwave_numpy_peer.peak_memory_kb(), "baseline_kb": baseline}))
    elif len(argv) >= 5 and argv[0] == "dump":
        out = reprocess_all(pairs_of(argv[3:]), json.loads(argv[1]))
        np.savez(argv[2], **out)
        print(json.dumps({"records": int(len(out["ok"]))}))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
