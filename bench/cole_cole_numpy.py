"""The Cole-Cole decay of the periodic injection and its fit to gate chargeabilities, in numpy
and scipy, for fullwave_processing_numpy_peer.py.

The relaxation E_c(-s^c) is the Laplace transform of its Debye spectrum; against v = ln s a
row of the table (one exponent) is a correlation of the spectrum with exp(-e^w) on one grid,
sums of products the trapezoid rule makes converge geometrically once the step is a few times
smaller than the spectrum's poles' distance from the real axis. The table is read with
Catmull-Rom cubics in c, then in v. The model's history is 2 x PERIODS half periods of the
injection (+ pulse, off, - pulse, off), each a switching on and off.
"""
import math

import numpy as np
from numpy.lib.stride_tricks import sliding_window_view
from scipy.optimize import least_squares
from scipy.special import rgamma

PERIODS = 4
V_MIN, V_MAX, DV, NV = -16.0, 14.0, 0.05, 601
C_MIN, DC, NC = 0.05, 0.025, 39
FIT_C_MIN = 0.05
GRID_TAU = 10
GRID_C = (0.15, 0.35, 0.55, 0.75, 0.95)
STEP = 1e-4

_table = None


def table_row(c):
    """E_c(-e^v) on the v grid."""
    v = V_MIN + DV * np.arange(NV)
    if c >= 1.0:
        return np.exp(-np.exp(v))
    distance = np.pi * (1.0 - c) / c
    q = int(math.ceil(DV / min(DV, distance / 7.0)))
    h = DV / q
    u_lo, u_hi = -V_MAX - 21.0, -V_MIN + 4.0
    nu = int(math.ceil((u_hi - u_lo) / h)) + 1
    sin_c, cos_c = math.sin(c * np.pi), math.cos(c * np.pi)
    y = np.exp(c * (u_lo + h * np.arange(nu)))
    g = h * sin_c * y / (np.pi * (y * y + 2.0 * y * cos_c + 1.0))
    g[0] /= 2.0
    phi = np.exp(-np.exp(u_lo + V_MIN + h * np.arange(nu + (NV - 1) * q)))
    y_lo = math.exp(c * u_lo)
    below = (math.atan((y_lo + cos_c) / sin_c) - (np.pi / 2.0 - c * np.pi)) / (np.pi * c)
    return below + sliding_window_view(phi, nu)[::q][:NV] @ g


def table():
    """The rows of every tabulated exponent, with one extrapolated row either side."""
    global _table
    if _table is None:
        rows = np.array([table_row(C_MIN + DC * i) for i in range(NC)])
        _table = np.vstack([3.0 * rows[0] - 3.0 * rows[1] + rows[2], rows, 3.0 * rows[-1] - 3.0 * rows[-2] + rows[-3]])
    return _table


def cubic_weights(f):
    f2, f3 = f * f, f * f * f
    return np.array([(-f3 + 2.0 * f2 - f) / 2.0, (3.0 * f3 - 5.0 * f2 + 2.0) / 2.0, (-3.0 * f3 + 4.0 * f2 + f) / 2.0,
                     (f3 - f2) / 2.0])


def cell(x, x0, dx, n):
    position = min(max((x - x0) / dx, 0.0), n - 1.0)
    i = min(int(math.floor(position)), n - 2)
    return i, position - i


def series(c, s):
    x = s ** c
    total, power = 0.0, 1.0
    for k in range(200):
        term = power / math.gamma(1.0 + c * k)
        total += term
        if abs(term) < 1e-17:
            break
        power *= -x
    return total


def asymptotic(c, s):
    if c >= 1.0:
        return math.exp(-s)
    x = s ** c
    k = np.arange(1, 5)
    return float(np.sum(np.where(k % 2 == 1, 1.0, -1.0) * x ** -k * rgamma(1.0 - c * k)))


class Row:
    """The table interpolated to one exponent: a cubic per cell of the v grid."""

    def __init__(self, c):
        self.c = min(max(c, C_MIN), 1.0)
        i, f = cell(self.c, C_MIN, DC, NC)
        values = cubic_weights(f) @ table()[i:i + 4]
        p = np.concatenate([[3.0 * values[0] - 3.0 * values[1] + values[2]], values,
                            [3.0 * values[-1] - 3.0 * values[-2] + values[-3]]])
        p0, p1, p2, p3 = p[:-3], p[1:-2], p[2:-1], p[3:]
        self.cells = np.stack([p1, (p2 - p0) / 2.0, p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3,
                               (-p0 + 3.0 * p1 - 3.0 * p2 + p3) / 2.0], axis=-1)[:NV - 1]

    def at(self, v):
        position = (v - V_MIN) / DV
        j = np.minimum(np.clip(position, 0, None).astype(np.int64), NV - 2)
        f = position - j
        a = self.cells[j]
        out = ((a[..., 3] * f + a[..., 2]) * f + a[..., 1]) * f + a[..., 0]
        outside = (v < V_MIN) | (v > V_MAX)
        if outside.any():
            for at in zip(*np.nonzero(outside)):
                s = math.exp(v[at])
                out[at] = series(self.c, s) if v[at] < V_MIN else asymptotic(self.c, s)
        return out


class Polarisation:
    """The sum of the switchings' relaxations (before the factor m) at samples of the half
    cycle: the logs of the elapsed times and their signs, taken once."""

    def __init__(self, step_ms, pulse, samples):
        pulse_ms = pulse * step_ms
        u = np.asarray(samples, float) * step_ms
        ln, sign, self.now = [], [], np.zeros(len(u))
        for n in range(2 * PERIODS):
            s = 1.0 if n % 2 == 0 else -1.0
            on = u + 2.0 * pulse_ms * n
            off = on - pulse_ms
            for elapsed, signed in ((on, s), (off, -s)):
                ln.append(np.log(np.where(elapsed > 0, elapsed, 1.0)))
                sign.append(np.where(elapsed > 0, signed, 0.0))
            self.now += np.where(on > 0, 0.0, s) - np.where(off == 0, s, 0.0)
        self.ln, self.sign = np.stack(ln, axis=1), np.stack(sign, axis=1)

    def evaluate(self, ln_tau_ms, c):
        return self.now + (self.sign * Row(c).at(self.ln - ln_tau_ms)).sum(axis=1)


class ColeColeSampling:
    """Where the decay is read: the primary voltage over samples [on_first, on_last), each gate
    a weighted mean of its samples, sample k at k x step_ms from the pulse's start."""

    def __init__(self, step_ms, pulse, on_first, on_last, gates, tapered):
        self.gates = len(gates)
        samples = np.unique(np.concatenate([np.arange(a, b) for a, b in gates]))
        self.weights = np.zeros((len(gates), len(samples)))
        for g, (a, b) in enumerate(gates):
            n = b - a
            w = np.ones(n) if not tapered else 0.5 - 0.5 * np.cos(2.0 * np.pi * (np.arange(n) + 0.5) / n)
            self.weights[g, np.searchsorted(samples, np.arange(a, b))] = w / w.sum()
        self.off = Polarisation(step_ms, pulse, samples)
        self.on = Polarisation(step_ms, pulse, np.arange(on_first, on_last))

        def after(k):
            return (k - pulse) * step_ms if k > pulse else 0.0
        t_first = max(step_ms / 2.0, after(gates[0][0]))
        t_last = max(t_first, after(gates[-1][1]))
        self.ln_tau_min, self.ln_tau_max = math.log(max(t_first / 10.0, 0.2)), math.log(max(10.0 * t_last, 1.0))
        self.grid = [(self.ln_tau_min + (self.ln_tau_max - self.ln_tau_min) * i / (GRID_TAU - 1), c)
                     for i in range(GRID_TAU) for c in GRID_C]
        self._grid_decays = None

    def decay(self, ln_tau_ms, c):
        """Each gate's weighted mean of -polarisation: the decay per unit of m."""
        return -(self.weights @ self.off.evaluate(ln_tau_ms, c))

    def primary(self, ln_tau_ms, c):
        return self.on.evaluate(ln_tau_ms, c).mean()

    def values(self, m, ln_tau_ms, c):
        return 1000.0 * m * self.decay(ln_tau_ms, c) / (1.0 - m * self.primary(ln_tau_ms, c))

    def grid_decays(self):
        if self._grid_decays is None:
            self._grid_decays = np.array([self.decay(t, c) for t, c in self.grid])       # (points, gates)
        return self._grid_decays


def scale_and_cost(d, y, w):
    """The best scale mu >= 0 of the decays d for values y, and the weighted squared misfit:
    broadcast over leading axes."""
    sdy, sdd = (w * d * y).sum(axis=-1), (w * d * d).sum(axis=-1)
    with np.errstate(all="ignore"):
        mu = np.where(sdd > 0, np.maximum(0.0, sdy / np.where(sdd > 0, sdd, 1.0)), 0.0)
    return mu, (w * (y - mu[..., None] * d) ** 2).sum(axis=-1)


def fit_cole_cole(sampling, values, deviations):
    """The model fitted to each record's gate chargeabilities (R, gates) with their standard
    deviations: arrays over the records of ok, m, tau (s), c, their deviations and the misfit."""
    r, n = values.shape
    out = {name: np.full(r, np.nan) for name in ("m", "tau", "c", "m_deviation", "tau_deviation", "c_deviation",
                                                 "misfit")}
    out["ok"] = np.zeros(r, bool)
    if n < 4:
        return out
    good = np.isfinite(values).all(axis=1)
    given = (deviations > 0) & np.isfinite(deviations)
    smallest = np.where(given, deviations, np.inf).min(axis=1)
    with np.errstate(all="ignore"):
        d = np.where(given, deviations, smallest[:, None])
        weights = np.where(np.isfinite(smallest)[:, None], 1.0 / (d * d), 1.0)
    y = np.where(good[:, None], values, 0.0)
    _, costs = scale_and_cost(sampling.grid_decays()[None], y[:, None, :], weights[:, None, :])  # (R, points)
    start = np.argmin(np.where(np.isnan(costs), np.inf, costs), axis=1)
    lower, upper = [sampling.ln_tau_min, FIT_C_MIN], [sampling.ln_tau_max, 1.0]
    for k in np.flatnonzero(good):
        yk, wk, root_w = y[k], weights[k], np.sqrt(weights[k])

        def residuals(p):
            decay = sampling.decay(p[0], p[1])
            mu, _ = scale_and_cost(decay, yk, wk)
            return root_w * (yk - mu * decay)

        x0 = np.clip(sampling.grid[start[k]], lower, upper)
        ln_tau, c = least_squares(residuals, x0, bounds=(lower, upper), method="trf", xtol=1e-12, ftol=1e-12,
                                  gtol=1e-12).x
        decay = sampling.decay(ln_tau, c)
        mu, cost = scale_and_cost(decay, yk, wk)
        if not mu > 0:
            continue
        b = sampling.primary(ln_tau, c)
        m_prime = mu / 1000.0
        m = m_prime / (1.0 + m_prime * b)
        # Covariance of (m, ln tau, c) from the model by central differences, scaled by the misfit.
        at = np.array([m, ln_tau, c])
        jac = np.empty((3, n))
        for p in range(3):
            h = max(1e-6, 1e-4 * m) if p == 0 else STEP
            hi, lo = at.copy(), at.copy()
            hi[p] += h
            lo[p] -= h
            jac[p] = (sampling.values(*hi) - sampling.values(*lo)) / (2.0 * h)
        jtj = (jac * wk) @ jac.T
        try:
            variance = np.maximum(0.0, np.diag(np.linalg.inv(jtj)) * cost / (n - 3))
        except np.linalg.LinAlgError:
            variance = np.full(3, np.inf)
        tau = math.exp(ln_tau) / 1000.0
        out["m"][k], out["tau"][k], out["c"][k] = m, tau, c
        out["m_deviation"][k], out["tau_deviation"][k] = math.sqrt(variance[0]), tau * math.sqrt(variance[1])
        out["c_deviation"][k], out["misfit"][k] = math.sqrt(variance[2]), math.sqrt(cost / n)
        out["ok"][k] = np.isfinite(m) and m > 0
    return out

