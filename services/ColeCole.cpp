#include <services/ColeCole.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <numbers>

namespace ertkit {

namespace {

// E_c(-s^c) tabulated against v = ln s, one row per exponent. E_c(-s^c) is the Laplace
// transform of a positive spectrum (the relaxation is a sum of Debye decays):
//   E_c(-s^c) = integral over u of g(u) exp(-e^(u + ln s)) du,
//   g(u) = sin(c pi) e^(c u) / (pi (e^(2 c u) + 2 e^(c u) cos(c pi) + 1)),
// so with u and v on one grid a row is a correlation of g with exp(-e^w), sums of products
// with no function called inside. g's poles lie pi (1 - c) / c off the real axis, so the
// trapezoid rule converges geometrically once the step is a few times smaller than that.
constexpr double s_v_min = -16.0, s_v_max = 14.0, s_dv = 0.05;
constexpr std::size_t s_nv = 601; // (v_max - v_min) / dv + 1
constexpr double s_c_min = 0.05, s_dc = 0.025;
constexpr std::size_t s_nc = 39; // c from 0.05 to 1.0

struct RelaxationTable {
    std::array<std::array<double, s_nv>, s_nc> rows{};
};

void fillRow(double c, std::array<double, s_nv>& row)
{
    if (c >= 1.0) {
        for (std::size_t j = 0; j < s_nv; ++j) row[j] = std::exp(-std::exp(s_v_min + s_dv * static_cast<double>(j)));
        return;
    }
    const double pi = std::numbers::pi;
    const double distance = pi * (1.0 - c) / c;
    const std::size_t q = static_cast<std::size_t>(std::ceil(s_dv / std::min(s_dv, distance / 7.0)));
    const double h = s_dv / static_cast<double>(q);
    // u runs far enough below that exp(-e^(u + v)) is 1 to 1e-9 for every v (the rest of the
    // spectrum below is integrated exactly), and far enough above that it is 0.
    const double u_lo = -s_v_max - 21.0, u_hi = -s_v_min + 4.0;
    const std::size_t nu = static_cast<std::size_t>(std::ceil((u_hi - u_lo) / h)) + 1;
    std::vector<double> g(nu), phi(nu + (s_nv - 1) * q);
    const double sin_c = std::sin(c * pi), cos_c = std::cos(c * pi);
    for (std::size_t i = 0; i < nu; ++i) {
        const double y = std::exp(c * (u_lo + h * static_cast<double>(i)));
        g[i] = h * sin_c * y / (pi * (y * y + 2.0 * y * cos_c + 1.0));
    }
    g[0] /= 2.0;
    for (std::size_t n = 0; n < phi.size(); ++n) phi[n] = std::exp(-std::exp(u_lo + s_v_min + h * static_cast<double>(n)));
    const double y_lo = std::exp(c * u_lo);
    const double below = (std::atan((y_lo + cos_c) / sin_c) - (pi / 2.0 - c * pi)) / (pi * c);
    for (std::size_t j = 0; j < s_nv; ++j) {
        double sum = below;
        const double* const p = phi.data() + j * q;
        for (std::size_t i = 0; i < nu; ++i) sum += g[i] * p[i];
        row[j] = sum;
    }
}

const RelaxationTable& table()
{
    static const RelaxationTable* const built = [] {
        auto* t = new RelaxationTable;
        for (std::size_t i = 0; i < s_nc; ++i) fillRow(s_c_min + s_dc * static_cast<double>(i), t->rows[i]);
        return t;
    }();
    return *built;
}

// Catmull-Rom weights at fraction f between the 2nd and 3rd of four points.
std::array<double, 4> cubicWeights(double f)
{
    const double f2 = f * f, f3 = f2 * f;
    return {(-f3 + 2.0 * f2 - f) / 2.0, (3.0 * f3 - 5.0 * f2 + 2.0) / 2.0, (-3.0 * f3 + 4.0 * f2 + f) / 2.0, (f3 - f2) / 2.0};
}

// Four neighbours of a point on a grid of n, the outer ones extrapolated at the edges.
template <typename At> std::array<double, 4> neighbours(std::ptrdiff_t i, std::size_t n, const At& at)
{
    std::array<double, 4> out{};
    const auto last = static_cast<std::ptrdiff_t>(n) - 1;
    for (int d = 0; d < 4; ++d) {
        const std::ptrdiff_t k = i - 1 + d;
        if (k < 0) out[static_cast<std::size_t>(d)] = 3.0 * at(0) - 3.0 * at(1) + at(2);
        else if (k > last) out[static_cast<std::size_t>(d)] = 3.0 * at(last) - 3.0 * at(last - 1) + at(last - 2);
        else out[static_cast<std::size_t>(d)] = at(k);
    }
    return out;
}

std::pair<std::ptrdiff_t, double> cell(double x, double x0, double dx, std::size_t n)
{
    const double position = std::clamp((x - x0) / dx, 0.0, static_cast<double>(n - 1));
    auto i = static_cast<std::ptrdiff_t>(std::floor(position));
    i = std::min<std::ptrdiff_t>(i, static_cast<std::ptrdiff_t>(n) - 2);
    return {i, position - static_cast<double>(i)};
}

double series(double c, double s)
{
    // Small s: the defining power series, terms falling fast.
    const double x = std::pow(s, c);
    double sum = 0.0, power = 1.0;
    for (int k = 0; k < 200; ++k) {
        const double term = power / std::tgamma(1.0 + c * k);
        sum += term;
        if (std::abs(term) < 1e-17) break;
        power *= -x;
    }
    return sum;
}

double asymptotic(double c, double s)
{
    if (c >= 1.0) return std::exp(-s);
    const double x = std::pow(s, c);
    double sum = 0.0, power = 1.0;
    for (int k = 1; k <= 4; ++k) {
        power /= x;
        const double a = 1.0 - c * k;
        if (a <= 0.0 && a == std::floor(a)) continue; // 1 / Gamma is 0 there
        sum += (k % 2 == 1 ? 1.0 : -1.0) * power / std::tgamma(a);
    }
    return sum;
}

// One row of the table interpolated to an exponent, for many lookups at that exponent: a
// cubic per cell of the v grid (Catmull-Rom, as coleColeRelaxation interpolates).
class Row {
public:
    // Cells are made for v from `v_lo` to `v_hi` only (at() reads outside them the slow way).
    explicit Row(double exponent, double v_lo = s_v_min, double v_hi = s_v_max) : m_c(std::clamp(exponent, s_c_min, 1.0))
    {
        const auto& rows = table().rows;
        const auto [i, f] = cell(m_c, s_c_min, s_dc, s_nc);
        const auto w = cubicWeights(f);
        m_lo = static_cast<std::size_t>(cell(v_lo, s_v_min, s_dv, s_nv).first);
        m_hi = static_cast<std::size_t>(cell(v_hi, s_v_min, s_dv, s_nv).first) + 1;
        // The values a cell's cubic needs: one either side of its two ends, within the grid.
        const std::size_t from = m_lo > 0 ? m_lo - 1 : 0, to = std::min(m_hi + 2, s_nv);
        for (std::size_t j = from; j < to; ++j) {
            const auto p = neighbours(i, s_nc, [&](std::ptrdiff_t k) { return rows[static_cast<std::size_t>(k)][j]; });
            m_values[j] = w[0] * p[0] + w[1] * p[1] + w[2] * p[2] + w[3] * p[3];
        }
        const auto value = [&](std::ptrdiff_t k) {
            // Beyond the grid's ends, extrapolated as neighbours() does.
            if (k < 0) return 3.0 * m_values[0] - 3.0 * m_values[1] + m_values[2];
            if (k >= static_cast<std::ptrdiff_t>(s_nv)) return 3.0 * m_values[s_nv - 1] - 3.0 * m_values[s_nv - 2] + m_values[s_nv - 3];
            return m_values[static_cast<std::size_t>(k)];
        };
        for (std::size_t j = m_lo; j < m_hi; ++j) {
            const auto k = static_cast<std::ptrdiff_t>(j);
            const double p0 = value(k - 1), p1 = value(k), p2 = value(k + 1), p3 = value(k + 2);
            m_cells[j] = {p1, (p2 - p0) / 2.0, p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3, (-p0 + 3.0 * p1 - 3.0 * p2 + p3) / 2.0};
        }
    }

    // At v = ln s.
    double at(double v) const
    {
        if (v < s_v_min) return series(m_c, std::exp(v));
        if (v > s_v_max) return asymptotic(m_c, std::exp(v));
        const double position = (v - s_v_min) / s_dv;
        const auto j = std::min(static_cast<std::size_t>(position), s_nv - 2);
        if (j < m_lo || j >= m_hi) return coleColeRelaxation(m_c, std::exp(v));
        const double f = position - static_cast<double>(j);
        const auto& a = m_cells[j];
        return ((a[3] * f + a[2]) * f + a[1]) * f + a[0];
    }

private:
    double m_c;
    std::size_t m_lo = 0, m_hi = 0;
    std::array<double, s_nv> m_values;              // filled where the cells need them
    std::array<std::array<double, 4>, s_nv - 1> m_cells; // filled from m_lo to m_hi
};

// The injection is half-wave symmetric: the second half of a period is the first negated.
// So is the model, exactly, whatever the cut of the history: the first half of a period sums
// the switchings of its last 2 s_cole_cole_periods half periods, each half period a pulse
// switched on (at 2nT before its start) and off (T later) with the sign (-1)^n.

// The current in the first half period.
double current(double pulse_ms, double u_ms)
{
    return u_ms < pulse_ms ? 1.0 : 0.0;
}

// The ln of every elapsed time (ms) since a switching at `u_ms` (in the first half period),
// with its sign; a switching at that very instant adds its sign to `now`.
template <typename Add> void switchings(double pulse_ms, double u_ms, double& now, const Add& add)
{
    double sign = 1.0;
    for (std::size_t n = 0; n < 2 * s_cole_cole_periods; ++n, sign = -sign) {
        const double on = u_ms + 2.0 * pulse_ms * static_cast<double>(n), off = on - pulse_ms;
        if (on > 0.0) add(std::log(on), sign);
        else now += sign;
        if (off > 0.0) add(std::log(off), -sign);
        else if (off == 0.0) now -= sign;
    }
}

// `u_ms` brought into the first half period, and the sign of the half it was in.
std::pair<double, double> reduced(double pulse_ms, double u_ms)
{
    const double period = 4.0 * pulse_ms;
    double u = std::fmod(u_ms, period);
    if (u < 0.0) u += period;
    return u < 2.0 * pulse_ms ? std::pair{u, 1.0} : std::pair{u - 2.0 * pulse_ms, -1.0};
}

} // namespace

double coleColeRelaxation(double c, double s)
{
    if (!(s > 0.0)) return 1.0;
    // The one cell of the row that holds ln s.
    const double v = std::log(s);
    return Row(c, v, v).at(v);
}

struct ColeColeWaveform::Shape : Row {
    using Row::Row;
};

ColeColeWaveform::ColeColeWaveform(const ColeColeParameters& parameters, double pulse_ms)
    : m_parameters(parameters), m_pulse_ms(pulse_ms), m_ln_tau(std::log(1000.0 * parameters.tau)), m_shape(std::make_unique<Shape>(parameters.c))
{
}

ColeColeWaveform::~ColeColeWaveform() = default;

double ColeColeWaveform::voltage(double u_ms) const
{
    const auto [u, half_sign] = reduced(m_pulse_ms, u_ms);
    double polarisation = 0.0;
    switchings(m_pulse_ms, u, polarisation, [&](double ln_elapsed, double sign) { polarisation += sign * m_shape->at(ln_elapsed - m_ln_tau); });
    return half_sign * (current(m_pulse_ms, u) - m_parameters.m * polarisation);
}

double coleColeVoltage(const ColeColeParameters& parameters, double pulse_ms, double u_ms)
{
    return ColeColeWaveform(parameters, pulse_ms).voltage(u_ms);
}

double gateWeight(const DecayGate& gate, std::size_t k)
{
    if (!gate.tapered) return 1.0;
    const double n = static_cast<double>(gate.last - gate.first);
    return 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (static_cast<double>(k - gate.first) + 0.5) / n);
}

namespace {

// The polarisation (the sum of the switchings' relaxations, before the factor m) at chosen
// samples of the half cycle, for many exponents and time constants: the logs of the elapsed
// times are taken once.
class Polarisation {
public:
    Polarisation(const DecaySampling& sampling, std::span<const std::size_t> samples)
    {
        const double pulse_ms = static_cast<double>(sampling.pulse) * sampling.step_ms;
        m_first.reserve(samples.size() + 1);
        m_now.reserve(samples.size());
        for (const std::size_t k : samples) {
            m_first.push_back(m_terms.size());
            double now = 0.0;
            switchings(pulse_ms, static_cast<double>(k) * sampling.step_ms, now, [&](double ln_elapsed, double sign) {
                m_terms.push_back({ln_elapsed, sign});
                m_ln_lo = std::min(m_ln_lo, ln_elapsed);
                m_ln_hi = std::max(m_ln_hi, ln_elapsed);
            });
            m_now.push_back(now);
        }
        m_first.push_back(m_terms.size());
    }

    void evaluate(double ln_tau_ms, double c, std::vector<double>& out) const
    {
        const Row row(c, m_ln_lo - ln_tau_ms, m_ln_hi - ln_tau_ms);
        out.resize(m_now.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            double sum = m_now[i];
            for (std::size_t t = m_first[i]; t < m_first[i + 1]; ++t) sum += m_terms[t].sign * row.at(m_terms[t].ln_elapsed - ln_tau_ms);
            out[i] = sum;
        }
    }

private:
    struct Term {
        double ln_elapsed, sign;
    };
    std::vector<Term> m_terms;
    std::vector<std::size_t> m_first;
    std::vector<double> m_now;
    double m_ln_lo = std::numeric_limits<double>::infinity(), m_ln_hi = -std::numeric_limits<double>::infinity();
};

// The samples the gates read, once each, and each gate's weights over them.
struct GateSamples {
    std::vector<std::size_t> samples;
    std::vector<std::vector<std::pair<std::size_t, double>>> weights; // per gate: (index into samples, weight / sum)

    explicit GateSamples(const DecaySampling& sampling)
    {
        for (const DecayGate& gate : sampling.gates)
            for (std::size_t k = gate.first; k < gate.last; ++k) samples.push_back(k);
        std::sort(samples.begin(), samples.end());
        samples.erase(std::unique(samples.begin(), samples.end()), samples.end());
        for (const DecayGate& gate : sampling.gates) {
            auto& w = weights.emplace_back();
            double total = 0.0;
            for (std::size_t k = gate.first; k < gate.last; ++k) total += gateWeight(gate, k);
            for (std::size_t k = gate.first; k < gate.last; ++k) {
                const auto at = static_cast<std::size_t>(std::lower_bound(samples.begin(), samples.end(), k) - samples.begin());
                w.emplace_back(at, gateWeight(gate, k) / total);
            }
        }
    }

    // Each gate's weighted mean of -polarisation: the decay per unit of m.
    void decay(const std::vector<double>& polarisation, std::vector<double>& out) const
    {
        out.resize(weights.size());
        for (std::size_t g = 0; g < weights.size(); ++g) {
            double sum = 0.0;
            for (const auto& [at, w] : weights[g]) sum -= w * polarisation[at];
            out[g] = sum;
        }
    }
};

std::vector<std::size_t> onSamples(const DecaySampling& sampling)
{
    std::vector<std::size_t> samples;
    for (std::size_t k = sampling.on_first; k < sampling.on_last; ++k) samples.push_back(k);
    return samples;
}

double mean(const std::vector<double>& values)
{
    double sum = 0.0;
    for (const double v : values) sum += v;
    return values.empty() ? 0.0 : sum / static_cast<double>(values.size());
}

// The gates' chargeabilities of parameters (m, ln tau in ms, c): 1000 m D / (1 - m B), D the
// decay per unit of m, B the mean polarisation over the primary voltage's window.
struct Model {
    const DecaySampling& sampling;
    GateSamples gates;
    Polarisation off, on;
    std::vector<double> polarisation, decay;

    explicit Model(const DecaySampling& s) : sampling(s), gates(s), off(s, gates.samples), on(s, onSamples(s)) {}

    const std::vector<double>& decayAt(double ln_tau_ms, double c)
    {
        off.evaluate(ln_tau_ms, c, polarisation);
        gates.decay(polarisation, decay);
        return decay;
    }
    double primaryAt(double ln_tau_ms, double c)
    {
        on.evaluate(ln_tau_ms, c, polarisation);
        return mean(polarisation);
    }
    void values(double m, double ln_tau_ms, double c, std::vector<double>& out)
    {
        const double b = primaryAt(ln_tau_ms, c);
        const std::vector<double>& d = decayAt(ln_tau_ms, c);
        out.resize(d.size());
        for (std::size_t g = 0; g < d.size(); ++g) out[g] = 1000.0 * m * d[g] / (1.0 - m * b);
    }
};

} // namespace

void coleColeGateValues(const ColeColeParameters& parameters, const DecaySampling& sampling, std::vector<double>& out)
{
    Model model(sampling);
    model.values(parameters.m, std::log(1000.0 * parameters.tau), parameters.c, out);
}

namespace {

constexpr double s_fit_c_min = 0.05;

// The weighted least-squares fit over (ln tau, c), the chargeability solved for at each point.
class Fitter {
public:
    Fitter(const DecaySampling& sampling, std::span<const double> values, std::vector<double> weights, double ln_tau_min, double ln_tau_max)
        : m_model(sampling), m_values(values), m_weights(std::move(weights)), m_ln_tau_min(ln_tau_min), m_ln_tau_max(ln_tau_max)
    {
    }

    // The weighted squared misfit at (ln tau, c), and the scale mu = 1000 m' of the decay
    // that fits best there (m' = m / (1 - m B)).
    double cost(double ln_tau, double c, double* scale = nullptr)
    {
        const std::vector<double>& d = m_model.decayAt(ln_tau, c);
        double sdy = 0.0, sdd = 0.0;
        for (std::size_t g = 0; g < d.size(); ++g) {
            sdy += m_weights[g] * d[g] * m_values[g];
            sdd += m_weights[g] * d[g] * d[g];
        }
        const double mu = sdd > 0.0 ? std::max(0.0, sdy / sdd) : 0.0;
        double sum = 0.0;
        for (std::size_t g = 0; g < d.size(); ++g) sum += m_weights[g] * (m_values[g] - mu * d[g]) * (m_values[g] - mu * d[g]);
        if (scale) *scale = mu;
        return sum;
    }

    void residuals(double ln_tau, double c, std::vector<double>& out)
    {
        double mu = 0.0;
        cost(ln_tau, c, &mu);
        const std::vector<double>& d = m_model.decay;
        out.resize(d.size());
        for (std::size_t g = 0; g < d.size(); ++g) out[g] = std::sqrt(m_weights[g]) * (m_values[g] - mu * d[g]);
    }

    std::pair<double, double> clamp(double ln_tau, double c) const
    {
        return {std::clamp(ln_tau, m_ln_tau_min, m_ln_tau_max), std::clamp(c, s_fit_c_min, 1.0)};
    }

    Model& model() { return m_model; }
    const std::vector<double>& weights() const { return m_weights; }

private:
    Model m_model;
    std::span<const double> m_values;
    std::vector<double> m_weights;
    double m_ln_tau_min, m_ln_tau_max;
};

// Solves the symmetric n x n system a x = b in place (Gauss-Jordan with pivoting); false when
// it is singular.
template <std::size_t N> bool solve(std::array<std::array<double, N>, N> a, std::array<double, N>& b)
{
    for (std::size_t col = 0; col < N; ++col) {
        std::size_t pivot = col;
        for (std::size_t r = col + 1; r < N; ++r)
            if (std::abs(a[r][col]) > std::abs(a[pivot][col])) pivot = r;
        if (!(std::abs(a[pivot][col]) > 0.0)) return false;
        std::swap(a[pivot], a[col]);
        std::swap(b[pivot], b[col]);
        for (std::size_t r = 0; r < N; ++r) {
            if (r == col) continue;
            const double f = a[r][col] / a[col][col];
            for (std::size_t k = col; k < N; ++k) a[r][k] -= f * a[col][k];
            b[r] -= f * b[col];
        }
    }
    for (std::size_t r = 0; r < N; ++r) b[r] /= a[r][r];
    return true;
}

} // namespace

ColeColeFit fitColeCole(const DecaySampling& sampling, std::span<const double> values, std::span<const double> deviations)
{
    ColeColeFit fit;
    const std::size_t n = sampling.gates.size();
    if (n < 4 || values.size() != n) {
        fit.failure = "a decay model needs four gates or more";
        return fit;
    }
    for (const double v : values)
        if (!std::isfinite(v)) {
            fit.failure = "a gate holds no value";
            return fit;
        }
    double smallest = std::numeric_limits<double>::infinity();
    for (std::size_t g = 0; g < deviations.size() && g < n; ++g)
        if (deviations[g] > 0.0 && std::isfinite(deviations[g])) smallest = std::min(smallest, deviations[g]);
    std::vector<double> weights(n, 1.0);
    if (std::isfinite(smallest))
        for (std::size_t g = 0; g < n; ++g) {
            const double d = g < deviations.size() && deviations[g] > 0.0 && std::isfinite(deviations[g]) ? deviations[g] : smallest;
            weights[g] = 1.0 / (d * d);
        }

    // Time constants from a tenth of the first gate's time to ten times the last's, within
    // what the relaxation table reads without leaving it.
    const double step = sampling.step_ms;
    const auto after = [&](std::size_t k) { return k > sampling.pulse ? static_cast<double>(k - sampling.pulse) * step : 0.0; };
    const double t_first = std::max(step / 2.0, after(sampling.gates.front().first));
    const double t_last = std::max(t_first, after(sampling.gates.back().last));
    const double ln_tau_min = std::log(std::max(t_first / 10.0, 0.2)), ln_tau_max = std::log(std::max(10.0 * t_last, 1.0));
    Fitter fitter(sampling, values, weights, ln_tau_min, ln_tau_max);

    double best_cost = std::numeric_limits<double>::infinity(), ln_tau = 0.0, c = 0.5;
    constexpr int s_grid_tau = 10;
    constexpr std::array<double, 5> s_grid_c{0.15, 0.35, 0.55, 0.75, 0.95};
    for (int i = 0; i < s_grid_tau; ++i) {
        const double t = ln_tau_min + (ln_tau_max - ln_tau_min) * i / (s_grid_tau - 1);
        for (const double e : s_grid_c) {
            const double cost = fitter.cost(t, e);
            if (cost < best_cost) best_cost = cost, ln_tau = t, c = e;
        }
    }

    // Levenberg-Marquardt on (ln tau, c), the Jacobian by central differences.
    std::vector<double> r, plus;
    double lambda = 1e-3;
    constexpr double s_h = 1e-4;
    for (int iteration = 0; iteration < 60; ++iteration) {
        fitter.residuals(ln_tau, c, r);
        std::array<std::vector<double>, 2> jac;
        for (int p = 0; p < 2; ++p) {
            // Forward, and backward at the upper bound of c, where the table ends.
            const double h = p == 1 && c + s_h > 1.0 ? -s_h : s_h;
            fitter.residuals(ln_tau + (p == 0 ? h : 0.0), c + (p == 1 ? h : 0.0), plus);
            jac[p].resize(n);
            for (std::size_t g = 0; g < n; ++g) jac[p][g] = (plus[g] - r[g]) / h;
        }
        std::array<std::array<double, 2>, 2> jtj{};
        std::array<double, 2> jtr{};
        for (std::size_t g = 0; g < n; ++g)
            for (int p = 0; p < 2; ++p) {
                jtr[p] -= jac[p][g] * r[g];
                for (int q = 0; q < 2; ++q) jtj[p][q] += jac[p][g] * jac[q][g];
            }
        bool improved = false;
        for (int attempt = 0; attempt < 12 && !improved; ++attempt) {
            auto a = jtj;
            for (int p = 0; p < 2; ++p) a[p][p] += lambda * std::max(jtj[p][p], 1e-12);
            std::array<double, 2> step_p = jtr;
            if (!solve(a, step_p)) {
                lambda *= 10.0;
                continue;
            }
            // A parameter on its bound that the step pushes beyond is held there, and the
            // other stepped alone: clamping the joint step would keep shrinking it instead.
            for (int p = 0; p < 2; ++p) {
                const auto [t_on, c_on] = fitter.clamp(ln_tau + (p == 0 ? step_p[0] : 0.0), c + (p == 1 ? step_p[1] : 0.0));
                const double moved = p == 0 ? t_on - ln_tau : c_on - c;
                if (moved == 0.0 && step_p[static_cast<std::size_t>(p)] != 0.0) {
                    const int q = 1 - p;
                    step_p[static_cast<std::size_t>(p)] = 0.0;
                    step_p[static_cast<std::size_t>(q)] = jtr[static_cast<std::size_t>(q)] / a[q][q];
                    break;
                }
            }
            const auto [t2, c2] = fitter.clamp(ln_tau + step_p[0], c + step_p[1]);
            const double cost = fitter.cost(t2, c2);
            if (cost < best_cost) {
                const bool converged = best_cost - cost <= 1e-10 * best_cost || (std::abs(t2 - ln_tau) < 1e-7 && std::abs(c2 - c) < 1e-7);
                best_cost = cost, ln_tau = t2, c = c2;
                lambda = std::max(lambda / 10.0, 1e-12);
                improved = true;
                if (converged) iteration = 60;
            } else {
                lambda *= 10.0;
            }
        }
        if (!improved) break;
    }

    double mu = 0.0;
    fitter.cost(ln_tau, c, &mu);
    if (!(mu > 0.0)) {
        fit.failure = "the decay does not fall as a polarised earth's does";
        return fit;
    }
    Model& model = fitter.model();
    const double b = model.primaryAt(ln_tau, c);
    const double m_prime = mu / 1000.0;
    const double m = m_prime / (1.0 + m_prime * b);
    fit.parameters = {m, std::exp(ln_tau) / 1000.0, c};

    // Covariance of (m, ln tau, c) from the full model, scaled by the misfit.
    std::array<std::vector<double>, 3> jac;
    std::vector<double> up, down;
    const std::array<double, 3> at{m, ln_tau, c};
    for (std::size_t p = 0; p < 3; ++p) {
        const double h = p == 0 ? std::max(1e-6, 1e-4 * m) : s_h;
        auto hi = at, lo = at;
        hi[p] += h;
        lo[p] -= h;
        model.values(hi[0], hi[1], hi[2], up);
        model.values(lo[0], lo[1], lo[2], down);
        jac[p].resize(n);
        for (std::size_t g = 0; g < n; ++g) jac[p][g] = (up[g] - down[g]) / (2.0 * h);
    }
    std::array<std::array<double, 3>, 3> jtj{};
    for (std::size_t g = 0; g < n; ++g)
        for (std::size_t p = 0; p < 3; ++p)
            for (std::size_t q = 0; q < 3; ++q) jtj[p][q] += weights[g] * jac[p][g] * jac[q][g];
    const double scale = best_cost / static_cast<double>(n - 3);
    std::array<double, 3> variance{};
    for (std::size_t p = 0; p < 3; ++p) {
        std::array<double, 3> e{};
        e[p] = 1.0;
        variance[p] = solve(jtj, e) ? std::max(0.0, e[p] * scale) : std::numeric_limits<double>::infinity();
    }
    fit.m_deviation = std::sqrt(variance[0]);
    fit.tau_deviation = fit.parameters.tau * std::sqrt(variance[1]);
    fit.c_deviation = std::sqrt(variance[2]);
    fit.misfit = std::sqrt(best_cost / static_cast<double>(n));
    fit.ok = std::isfinite(m) && m > 0.0;
    if (!fit.ok) fit.failure = "the decay does not fall as a polarised earth's does";
    return fit;
}

} // namespace ertkit
