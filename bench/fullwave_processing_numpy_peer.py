"""Reprocessing beyond the meter with numpy and scipy, the way a numpy user would.

The yardstick of ertkit's full-wave processing (compare_fullwave_processing.py). Records,
recordings, joins and half cycles come from reprocess_numpy_peer; this adds, vectorised over
the records of a chunk where numpy allows:
- the drift: a polynomial through the pair means (a sample and the one half a cycle later),
  fitted on the pair-averaged powers of t = (k - centre) / scale by batched normal equations,
  then again without the pair means beyond 4 x 1.4826 x the median absolute residual; its
  covariance is the residual variance times the inverse normal matrix;
- power-line noise: the aliases of the line's harmonics that neither the drift nor the
  injection's odd harmonics hide, a cosine and a sine each (one (-1)^k column at half the
  rate), fitted to samples - drift - sign x median stack and subtracted, the drift then fitted
  again and the half cycles cut again;
- spikes: per sample of the half cycle, the median and 1.4826 x MAD across half cycles (never
  under the median of those deviations), beyond the threshold left out of the stack;
- log-spaced gates read by a weight matrix (Hann weights when tapered), each gate's value per
  half cycle with spikes replaced by the stack's value, the drift's share of its variance
  a^T C a, and the gates' chargeabilities, deviations and their width-weighted total;
- the Cole-Cole decay (relaxation tabulated from its Debye spectrum, Catmull-Rom interpolated),
  whose decay per unit chargeability does not depend on the record: the 10 x 5 grid is
  evaluated once for every record, then scipy.optimize.least_squares refines (ln tau, c) for
  each record, the chargeability solved exactly at each point, and the covariance is the
  model's, scaled by the misfit.

What it supports is the common case the comparison needs: a polynomial drift (drift_order >= 0),
log gates, every record sharing the survey's timing (reprocess_probe `timing`), mean or median
stacking. Anything else is refused with ValueError.

    /usr/bin/python3 fullwave_processing_numpy_peer.py measure TIMING_JSON [--steps STEPS_JSON] BINX RECORDINGS [...]
times the reprocessing of each pair of a BINX file and its recordings' folder and prints one
JSON line (seconds, records, and the time of each step);
    /usr/bin/python3 fullwave_processing_numpy_peer.py dump TIMING_JSON [--steps STEPS_JSON] OUT.npz BINX RECORDINGS [...]
writes its values. STEPS_JSON holds the options reprocess_probe's --beyond takes (drift_order,
spikes, mains, gates, taper, cole_cole); by default those of DEFAULT_STEPS.
"""
import json
import sys
import time
import warnings

import numpy as np

import fullwave_numpy_peer
import reprocess_numpy_peer as peer
from cole_cole_numpy import ColeColeSampling, fit_cole_cole

DEFAULT_STEPS = {"drift_order": 3, "spikes": 5.0, "mains": 50.0, "gates": "log:10:1900:6", "taper": False,
                 "cole_cole": True}
MAD_SIGMA = 1.4826          # a median absolute deviation as a normal standard deviation
DRIFT_OUTLIER = 4.0         # pair means beyond this many deviations leave the drift's second fit
MAINS_HARMONICS = 9


def powers(t, terms):
    """t^0 .. t^(terms-1) along a new last axis, by repeated products."""
    p = np.ones(t.shape + (terms,))
    for i in range(1, terms):
        p[..., i] = p[..., i - 1] * t
    return p


def horner(coefficients, t):
    """(R, T) polynomials at the points t (N,): (R, N)."""
    value = np.zeros((len(coefficients), len(t)))
    for i in range(coefficients.shape[1] - 1, -1, -1):
        value = value * t + coefficients[:, i, None]
    return value


def batched_solve(a, b):
    """Solutions of a x = b for a stack of systems, and which were not singular."""
    try:
        return np.linalg.solve(a, b[..., None])[..., 0], np.ones(len(a), bool)
    except np.linalg.LinAlgError:
        x, ok = np.zeros_like(b), np.ones(len(a), bool)
        for r in range(len(a)):
            try:
                x[r] = np.linalg.solve(a[r], b[r])
            except np.linalg.LinAlgError:
                ok[r] = False
        return x, ok


def batched_inverse(a):
    try:
        return np.linalg.inv(a)
    except np.linalg.LinAlgError:
        out = np.zeros_like(a)
        for r in range(len(a)):
            try:
                out[r] = np.linalg.inv(a[r])
            except np.linalg.LinAlgError:
                pass
        return out


def median(values, axis, present=None):
    """Median along `axis` of the values where `present` (all when None)."""
    if present is None or present.all():
        return np.median(values, axis=axis)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)
        return np.nanmedian(np.where(present, values, np.nan), axis=axis)


class Drift:
    """The polynomial drift of records of n samples, half cycles of `half`: its pair basis."""

    def __init__(self, n, half, order):
        self.terms = order + 1
        self.centre, self.scale = (n - 1) / 2.0, max(1.0, n / 2.0)
        self.t = (np.arange(n) - self.centre) / self.scale
        pairs = n - half
        self.half = half
        self.basis = (powers(self.t[:pairs], self.terms) + powers(self.t[half:], self.terms)) / 2.0   # (pairs, T)
        self.outer = (self.basis[:, :, None] * self.basis[:, None, :]).reshape(pairs, -1)

    def fit(self, x, overloads):
        """Coefficients (R, T) and their covariance (R, T, T), 0 where the fit failed."""
        r, terms, half = len(x), self.terms, self.half
        y = (x[:, :-half] + x[:, half:]) / 2.0
        valid = ~(overloads[:, :-half] | overloads[:, half:])

        def solve(mask):
            w = mask.astype(float)
            a = (w @ self.outer).reshape(r, terms, terms)
            coefficients, ok = batched_solve(a, (w * y) @ self.basis)
            return a, coefficients, ok & (w.sum(axis=1) > terms)

        with np.errstate(all="ignore"):
            _, first, ok = solve(valid)
            residual = y - first @ self.basis.T
            limit = DRIFT_OUTLIER * MAD_SIGMA * median(np.abs(residual), 1, valid)
            limit = np.where(limit > 0, limit, np.inf)
            fitted = valid & (np.abs(residual) <= limit[:, None])
            a, coefficients, ok_second = solve(fitted)
            ok &= ok_second
            residual = y - coefficients @ self.basis.T
            variance = np.where(fitted, residual * residual, 0.0).sum(axis=1) / (fitted.sum(axis=1) - terms)
            covariance = variance[:, None, None] * batched_inverse(np.where(ok[:, None, None], a, np.eye(terms)))
        return np.where(ok[:, None], coefficients, 0.0), np.where(ok[:, None, None], covariance, 0.0)


def mains_aliases(mains_hz, step_ms, cycle):
    """The aliases of the line's harmonics at the sampling rate, but 0 Hz and the injection's odd
    harmonics, each once."""
    rate = 1000.0 / step_ms
    injection = rate / cycle
    aliases = []
    for h in range(1, MAINS_HARMONICS + 1):
        alias = np.fmod(mains_hz * h, rate)
        if alias > rate / 2.0:
            alias = rate - alias
        if alias < 1e-9 * rate:
            continue
        harmonic = alias / injection
        nearest = np.round(harmonic)
        if abs(harmonic - nearest) < 1e-6 and np.fmod(nearest, 2.0) == 1.0:
            continue
        if all(abs(a - alias) >= 1e-9 * rate for a in aliases):
            aliases.append(alias)
    return aliases


def mains_basis(aliases, step_ms, n):
    rate = 1000.0 / step_ms
    k = np.arange(n, dtype=float)
    columns = []
    for a in aliases:
        columns.append(np.cos(2.0 * np.pi * a * k / rate))
        if abs(a - rate / 2.0) > 1e-9 * rate:
            columns.append(np.sin(2.0 * np.pi * a * k / rate))
    return np.stack(columns, axis=1)                                               # (N, n)


def cut(x, overloads, drift, coefficients, cycles, half):
    """Drift removed, sign corrected half cycles (R, 2 cycles, half) and which are used."""
    r = len(x)
    sign = np.where(np.arange(2 * cycles) % 2 == 0, 1.0, -1.0)
    halves = sign[None, :, None] * (x - horner(coefficients, drift.t)).reshape(r, 2 * cycles, half)
    return halves, ~overloads.reshape(r, 2 * cycles, half).any(axis=2), sign


def flag_spikes(halves, used, threshold):
    present = np.broadcast_to(used[:, :, None], halves.shape)
    with np.errstate(all="ignore"):
        centre = median(halves, 1, present)                                        # (R, half)
        distance = np.abs(halves - centre[:, None, :])
        sigma = MAD_SIGMA * median(distance, 1, present)
        floor = np.median(sigma, axis=1)
        limit = threshold * np.maximum(sigma, floor[:, None])
        spike = present & (distance > limit[:, None, :]) & (limit > 0)[:, None, :]
    return spike & (used.sum(axis=1) >= 3)[:, None, None]


def stack_of(halves, keep, used, estimator):
    """The stack over the kept values of each sample, over every used half where none is kept."""
    keep = np.where(keep.any(axis=1, keepdims=True), keep, used[:, :, None])
    return peer.estimate(halves, keep, estimator, axis=1)


def deviation(values, used):
    """Standard deviation over the used half cycles (axis 1) of values (R, halves, ...)."""
    u = used.reshape(used.shape + (1,) * (values.ndim - 2))
    n = used.sum(axis=1).reshape((-1,) + (1,) * (values.ndim - 2))
    with np.errstate(all="ignore"):
        mean = np.where(u, values, 0.0).sum(axis=1) / n
        spread = np.where(u, (values - mean[:, None]) ** 2, 0.0).sum(axis=1) / (n - 1)
    return np.where(n >= 2, np.sqrt(spread), 0.0)


def hann(first, last, tapered):
    n = last - first
    if not tapered:
        return np.ones(n)
    return 0.5 - 0.5 * np.cos(2.0 * np.pi * (np.arange(n) + 0.5) / n)


def log_gate_bounds(text):
    """The gates' bounds in ms, as `ertkit reprocess --gates log:FIRST:LAST:PER_DECADE` has them."""
    kind, first, last, per_decade = text.split(":")
    if kind != "log":
        raise ValueError(f"gates {text}: only log:FIRST:LAST:PER_DECADE")
    first, last, per_decade = float(first), float(last), float(per_decade)
    n = max(1, int(np.ceil(per_decade * np.log10(last / first) - 1e-9)))
    return [first] + [first * (last / first) ** (g / n) for g in range(1, n)] + [last]


def plan_gates(steps, step_ms, pulse, half):
    """(first, last) samples of each gate in the half cycle, and the gates' times in ms."""
    def sample_at(ms):
        return pulse + int(max(0.0, np.floor(ms / step_ms + 0.5)))   # rounded half away from 0
    bounds = []
    for ms in log_gate_bounds(steps["gates"]):
        k = sample_at(ms)
        if not bounds or k > bounds[-1]:
            bounds.append(k)
    if len(bounds) < 2:
        bounds.append(bounds[-1] + 1)
    times = [(k - pulse) * step_ms for k in bounds]
    gates = [(sample_at(times[w]), sample_at(times[w + 1])) for w in range(len(times) - 1)]
    if bounds[-1] > half or (steps.get("taper") and any(b - a < 2 for a, b in gates)):
        raise ValueError("gates that do not fit the recorded decay")
    return gates, np.array(times)


def gate_matrix(gates, half, tapered):
    """Each gate's weights over the samples of the half cycle, summing to 1."""
    weights = np.zeros((len(gates), half))
    for g, (first, last) in enumerate(gates):
        w = hann(first, last, tapered)
        weights[g, first:last] = w / w.sum()
    return weights


def clean(v, v_flags, drift, steps, timing, cycles, estimator, clock):
    """Drift, power-line noise and spikes: the half cycles, which are used, spikes, the stack,
    the drift's coefficients and covariance, and the power-line frequencies removed."""
    cycle, half = timing["cycle"], timing["cycle"] // 2
    coefficients, covariance = drift.fit(v, v_flags)
    halves, used, sign = cut(v, v_flags, drift, coefficients, cycles, half)
    removed = np.zeros(len(v), np.int64)
    if steps.get("mains", 0.0) > 0:
        aliases = mains_aliases(steps["mains"], timing["step_ms"], cycle)
        any_used = used.any(axis=1)
        if aliases and any_used.any():
            basis = mains_basis(aliases, timing["step_ms"], cycle * cycles)
            stack = median(halves, 1, np.broadcast_to(used[:, :, None], halves.shape))
            mask = np.repeat(used, half, axis=1).astype(float)                     # (R, N)
            residual = (sign[None, :, None] * (halves - stack[:, None, :])).reshape(len(v), -1)
            outer = (basis[:, :, None] * basis[:, None, :]).reshape(len(basis), -1)
            n = basis.shape[1]
            fit, ok = batched_solve((mask @ outer).reshape(len(v), n, n), np.nan_to_num(mask * residual) @ basis)
            ok &= any_used
            v = np.where(ok[:, None], v - fit @ basis.T, v)
            removed = np.where(ok, len(aliases), 0)
            coefficients, covariance = drift.fit(v, v_flags)
            halves, used, sign = cut(v, v_flags, drift, coefficients, cycles, half)
    clock["drift_mains"] += time.perf_counter() - clock["t"]
    clock["t"] = time.perf_counter()
    if steps.get("spikes", 0.0) > 0:
        spike = flag_spikes(halves, used, steps["spikes"])
    else:
        spike = np.zeros(halves.shape, bool)
    stack = stack_of(halves, used[:, :, None] & ~spike, used, estimator)
    clock["spikes"] += time.perf_counter() - clock["t"]
    clock["t"] = time.perf_counter()
    return halves, used, spike, stack, coefficients, covariance, removed, sign


def compute(v, v_flags, i, i_flags, timing, steps, cycles, estimator, plan, clock):
    """The values of a chunk of records sharing their cycles."""
    cycle = timing["cycle"]
    half = cycle // 2
    r = len(v)
    drift = Drift(cycle * cycles, half, steps["drift_order"])
    halves, used, spike, stack, coefficients, covariance, removed, sign = clean(v, v_flags, drift, steps, timing, cycles,
                                                                                estimator, clock)
    # The current is stacked the meter's way.
    i_halves, i_used = peer.half_cycles(i, i_flags, cycle, cycles, estimator)
    i_stack = peer.estimate(i_halves, i_used[:, :, None], estimator, axis=1)
    first, last, gates, times, weights = plan["on_first"], plan["on_last"], plan["gates"], plan["times"], plan["weights"]
    with np.errstate(all="ignore"):
        current = i_stack[:, first:last].mean(axis=1)
        current_dev = deviation(i_halves[:, :, first:last].mean(axis=2), i_used)
        filled = np.where(spike, stack[:, None, :], halves)                           # spikes take the stack's value
        vp = stack[:, first:last].mean(axis=1)
        vp_half = filled[:, :, first:last].mean(axis=2)                              # (R, halves)
        vp_dev = deviation(vp_half, used)
        value = stack @ weights.T                                                    # (R, gates)
        per_half = filled @ weights.T                                                # (R, halves, gates)
        m = 1000.0 * value / vp[:, None]
        m_half = 1000.0 * per_half / vp_half[:, :, None]
        spread = deviation(m_half, used)
        # The drift's error moves a stacked gate by the mean over half cycles of -sign x it.
        count = used.sum(axis=1)
        share = used * sign[None, :] / count[:, None]                                  # (R, halves)
        form = (share @ plan["gate_powers"][len(sign)].reshape(len(sign), -1)).reshape(r, len(gates), -1)
        drift_variance = np.einsum("rgi,rij,rgj->rg", form, covariance, form)
        drift_dev = 1000.0 * np.sqrt(drift_variance) / np.abs(vp)[:, None]
        m_dev = np.sqrt(spread ** 2 + count[:, None] * drift_dev ** 2)
        widths = np.diff(times)
        finite = np.isfinite(m)
        width = (finite * widths).sum(axis=1)
        m_total = np.where(width > 0, np.where(finite, m * widths, 0.0).sum(axis=1) / width, 0.0)
        total_half = np.where(finite[:, None, :], m_half * widths, 0.0).sum(axis=2) / width[:, None]
        total_drift = np.where(finite, drift_dev * widths, 0.0).sum(axis=1) / width
        m_total_dev = np.where(width > 0, np.sqrt(deviation(total_half, used) ** 2 + count * total_drift ** 2), 0.0)
    ok = used.any(axis=1) & i_used.any(axis=1) & np.isfinite(vp) & np.isfinite(current)
    clock["gates"] += time.perf_counter() - clock["t"]
    clock["t"] = time.perf_counter()
    out = {"vp": vp, "vp_deviation": vp_dev, "current": current, "current_deviation": current_dev, "m": m_total,
           "m_deviation": m_total_dev, "window_m": m, "window_m_deviation": m_dev, "ok": ok, "halves_used": count,
           "spikes": spike.sum(axis=(1, 2)), "mains_removed": removed}
    if steps.get("cole_cole"):
        fits = fit_cole_cole(plan["cole_cole"], np.where(ok[:, None], m, np.nan), m_dev / np.sqrt(count)[:, None])
        out.update({f"cc_{name}": values for name, values in fits.items()})
        clock["cole_cole"] += time.perf_counter() - clock["t"]
        clock["t"] = time.perf_counter()
    return out


def make_plan(timing, steps):
    """What every record of the survey shares: its windows, gates and the decay model's sampling."""
    if steps.get("drift_order", -1) < 0 or "gates" not in steps:
        raise ValueError("only a polynomial drift (drift_order >= 0) and log gates")
    if not timing["off_time"]:
        raise ValueError("only an injection with an off time")
    half = timing["cycle"] // 2
    pulse = half // 2
    last = min(timing["v_end"], pulse) or pulse
    first = min(timing["v_delay"], last)
    first = last // 2 if first >= last else first
    gates, times = plan_gates(steps, timing["step_ms"], pulse, half)
    weights = gate_matrix(gates, half, steps.get("taper", False))
    plan = {"on_first": first, "on_last": last, "gates": gates, "times": times, "weights": weights,
            "gate_powers": GatePowers(weights, timing["cycle"], steps["drift_order"] + 1)}
    if steps.get("cole_cole"):
        plan["cole_cole"] = ColeColeSampling(timing["step_ms"], pulse, first, last, gates, steps.get("taper", False))
    return plan


class GatePowers(dict):
    """Per number of half cycles: sum over the gate's samples of its weight x t^i, for each half
    cycle (halves, gates, terms), t the drift's variable at that sample of the injection."""

    def __init__(self, weights, cycle, terms):
        super().__init__()
        self.weights, self.cycle, self.terms = weights, cycle, terms

    def __missing__(self, halves):
        half = self.cycle // 2
        n = half * halves
        t = (np.arange(n) - (n - 1) / 2.0) / max(1.0, n / 2.0)
        p = powers(t, self.terms).reshape(halves, half, self.terms)
        self[halves] = np.einsum("gk,hki->hgi", self.weights, p)
        return self[halves]


def reprocess(binx, recordings, timing, steps, estimator="mean", phases=None):
    """Every record's values as arrays over the records; `phases` gets the time of each step."""
    p = peer.prepare(binx, recordings, timing)
    voltage, current, joined, cycles = p["voltage"], p["current"], p["joined"], p["cycles"]
    plan = make_plan(timing, steps)
    records, gates = len(p["table"]), len(plan["gates"])
    out = {name: np.full(records, np.nan) for name in ("vp", "vp_deviation", "current", "current_deviation", "m",
                                                       "m_deviation")}
    out["window_m"] = np.full((records, gates), np.nan)
    out["window_m_deviation"] = np.full((records, gates), np.nan)
    for name in ("ok", "halves_used", "spikes", "mains_removed"):
        out[name] = np.zeros(records, bool if name == "ok" else np.int64)
    if steps.get("cole_cole"):
        for name in ("m", "tau", "c", "m_deviation", "tau_deviation", "c_deviation", "misfit"):
            out[f"cc_{name}"] = np.full(records, np.nan)
        out["cc_ok"] = np.zeros(records, bool)
    out["voltage_channel"] = p["v_channel"]
    out["voltage_start"] = voltage.index[p["v_start"]]
    clock = {"drift_mains": 0.0, "spikes": 0.0, "gates": 0.0, "cole_cole": 0.0, "t": time.perf_counter()}
    cycle = timing["cycle"]
    for c in np.unique(cycles[joined]):
        group = np.flatnonzero(joined & (cycles == c))
        for chunk in np.array_split(group, -(-len(group) // peer.CHUNK)):
            count = int(c) * cycle
            v, v_flags = voltage.gather(p["v_start"][chunk], p["v_channel"][chunk], p["v_offset"][chunk], count)
            i, i_flags = current.gather(p["i_start"][chunk], np.zeros(len(chunk), np.int64), p["i_offset"][chunk], count)
            clock["t"] = time.perf_counter()
            for name, values in compute(v, v_flags, i, i_flags, timing, steps, int(c), estimator, plan, clock).items():
                out[name][chunk] = values
    if phases is not None:
        end = time.perf_counter()
        for key in ("drift_mains", "spikes", "gates", "cole_cole"):
            phases[f"{key}_s"] = phases.get(f"{key}_s", 0.0) + clock[key]
        for key, value in (("table_s", p["t_table"] - p["clock"]), ("decode_s", p["t_decode"] - p["t_table"]),
                           ("join_s", p["t_join"] - p["t_decode"]), ("compute_s", end - p["t_join"]),
                           ("seconds", end - p["clock"])):
            phases[key] = phases.get(key, 0.0) + value
    return out


def reprocess_all(pairs, timing, steps, estimator="mean", phases=None):
    outs = [reprocess(binx, recordings, timing, steps, estimator, phases) for binx, recordings in pairs]
    return {name: np.concatenate([out[name] for out in outs]) for name in outs[0]}


def main(argv):
    if len(argv) < 4 or argv[0] not in ("measure", "dump"):
        sys.exit(__doc__)
    mode, timing, rest = argv[0], json.loads(argv[1]), argv[2:]
    steps = dict(DEFAULT_STEPS)
    if rest[0] == "--steps":
        steps, rest = json.loads(rest[1]), rest[2:]
    if mode == "measure":
        baseline = fullwave_numpy_peer.peak_memory_kb()
        phases = {}
        out = reprocess_all(peer.pairs_of(rest), timing, steps, "mean", phases)
        print(json.dumps({"mode": "numpy", **phases, "records": int(len(out["ok"])), "failed": int((~out["ok"]).sum()),
                          "vmhwm_kb": fullwave_numpy_peer.peak_memory_kb(), "baseline_kb": baseline}))
    else:
        out = reprocess_all(peer.pairs_of(rest[1:]), timing, steps)
        np.savez(rest[0], **out)
        print(json.dumps({"records": int(len(out["ok"]))}))


if __name__ == "__main__":
    main(sys.argv[1:])
