#include <services/DecayCleaning.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace ertkit {

namespace {

// A median absolute deviation as a standard deviation of normal noise.
constexpr double s_mad_sigma = 1.4826;
// Pair means beyond this many deviations are left out of the drift's second fit.
constexpr double s_drift_outlier = 4.0;
// Power-line harmonics looked for.
constexpr int s_mains_harmonics = 9;

double median(std::span<double> values)
{
    const std::size_t n = values.size();
    if (n == 0) return std::numeric_limits<double>::quiet_NaN();
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n / 2), values.end());
    const double upper = values[n / 2];
    if (n % 2 == 1) return upper;
    return (*std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n / 2)) + upper) / 2.0;
}

// Solves a x = b for a symmetric positive n x n `a` (row by row) by Gauss-Jordan with
// pivoting, `b` becoming x and `a` destroyed; false when a is singular.
bool solve(std::vector<double>& a, std::vector<double>& b, std::size_t n, std::size_t columns = 1)
{
    for (std::size_t col = 0; col < n; ++col) {
        std::size_t pivot = col;
        for (std::size_t r = col + 1; r < n; ++r)
            if (std::abs(a[r * n + col]) > std::abs(a[pivot * n + col])) pivot = r;
        if (!(std::abs(a[pivot * n + col]) > 0.0)) return false;
        if (pivot != col) {
            for (std::size_t k = 0; k < n; ++k) std::swap(a[pivot * n + k], a[col * n + k]);
            for (std::size_t k = 0; k < columns; ++k) std::swap(b[pivot * columns + k], b[col * columns + k]);
        }
        for (std::size_t r = 0; r < n; ++r) {
            if (r == col) continue;
            const double f = a[r * n + col] / a[col * n + col];
            if (f == 0.0) continue;
            for (std::size_t k = col; k < n; ++k) a[r * n + k] -= f * a[col * n + k];
            for (std::size_t k = 0; k < columns; ++k) b[r * columns + k] -= f * b[col * columns + k];
        }
    }
    for (std::size_t r = 0; r < n; ++r)
        for (std::size_t k = 0; k < columns; ++k) b[r * columns + k] /= a[r * n + r];
    return true;
}

double polynomial(const std::vector<double>& coefficients, double x)
{
    double value = 0.0;
    for (std::size_t i = coefficients.size(); i-- > 0;) value = value * x + coefficients[i];
    return value;
}

bool halfOverloaded(std::span<const bool> overloads, std::size_t first, std::size_t length)
{
    if (overloads.empty()) return false;
    const auto flags = overloads.subspan(first, length);
    return std::find(flags.begin(), flags.end(), true) != flags.end();
}

// The powers of a pair mean's two samples' times, averaged: the pair mean of a polynomial
// drift is exactly that combination of its coefficients, however it bends between them.
void pairBasis(std::size_t j, std::size_t half, const CleanHalves& out, std::vector<double>& powers)
{
    const double t0 = (static_cast<double>(j) - out.centre) / out.scale, t1 = (static_cast<double>(j + half) - out.centre) / out.scale;
    double p0 = 1.0, p1 = 1.0;
    for (std::size_t i = 0; i < powers.size(); ++i, p0 *= t0, p1 *= t1) powers[i] = (p0 + p1) / 2.0;
}

// The polynomial drift through the pair means, fitted twice: the second time without the
// pair means the first fit leaves beyond s_drift_outlier robust deviations.
void fitPolynomialDrift(std::span<const double> x, std::span<const bool> overloads, std::size_t half, int order, CleanHalves& out,
                        std::vector<double>& residual)
{
    const std::size_t terms = static_cast<std::size_t>(order) + 1, pairs = x.size() - half;
    // The pair means' powers and their normal matrix depend on the injection's length alone:
    // made once for the injections of a group, each fit then takes away the pairs it leaves out.
    CleanHalves::DriftBasis& basis = out.drift_basis;
    if (basis.count != x.size() || basis.half != half || basis.terms != terms) {
        basis = {x.size(), half, terms, std::vector<double>(pairs * terms), std::vector<double>(terms * terms, 0.0)};
        std::vector<double> powers(terms);
        for (std::size_t j = 0; j < pairs; ++j) {
            pairBasis(j, half, out, powers);
            std::copy(powers.begin(), powers.end(), basis.powers.begin() + static_cast<std::ptrdiff_t>(j * terms));
            for (std::size_t i = 0; i < terms; ++i)
                for (std::size_t k = 0; k < terms; ++k) basis.normal[i * terms + k] += powers[i] * powers[k];
        }
    }
    const auto phi = [&](std::size_t j) { return basis.powers.data() + j * terms; };
    const auto pairMean = [&](std::size_t j) { return (x[j] + x[j + half]) / 2.0; };
    const auto leaveOut = [&](std::size_t j, std::vector<double>& a) {
        const double* p = phi(j);
        for (std::size_t i = 0; i < terms; ++i)
            for (std::size_t k = 0; k < terms; ++k) a[i * terms + k] -= p[i] * p[k];
    };
    std::vector<double> a = basis.normal, b(terms, 0.0);
    // 1 for a pair mean fitted; the first fit takes every pair free of overload.
    std::vector<std::uint8_t> fitted(pairs, 1);
    std::size_t used = pairs;
    for (std::size_t j = 0; j < pairs; ++j) {
        if (!overloads.empty() && (overloads[j] || overloads[j + half])) {
            fitted[j] = 0;
            --used;
            leaveOut(j, a);
            continue;
        }
        const double* p = phi(j);
        const double y = pairMean(j);
        for (std::size_t i = 0; i < terms; ++i) b[i] += p[i] * y;
    }
    residual.resize(pairs);
    std::vector<double> spread;
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<double> normal = a;
        out.drift = b;
        if (used <= terms || !solve(normal, out.drift, terms)) {
            out.drift.assign(terms, 0.0);
            out.drift_covariance.assign(terms * terms, 0.0);
            return;
        }
        // Residuals of the pair means fitted, and their robust spread.
        spread.clear();
        double squares = 0.0;
        for (std::size_t j = 0; j < pairs; ++j) {
            if (!fitted[j]) continue;
            const double* p = phi(j);
            double model = 0.0;
            for (std::size_t i = 0; i < terms; ++i) model += out.drift[i] * p[i];
            residual[j] = pairMean(j) - model;
            spread.push_back(std::abs(residual[j]));
            squares += residual[j] * residual[j];
        }
        if (pass == 1) {
            // Covariance: the residual variance times the inverse of the normal matrix.
            const double variance = squares / static_cast<double>(used - terms);
            std::vector<double> inverse(terms * terms, 0.0);
            for (std::size_t i = 0; i < terms; ++i) inverse[i * terms + i] = 1.0;
            normal = a;
            if (!solve(normal, inverse, terms, terms)) inverse.assign(terms * terms, 0.0);
            out.drift_covariance.resize(terms * terms);
            for (std::size_t i = 0; i < terms * terms; ++i) out.drift_covariance[i] = variance * inverse[i];
            return;
        }
        const double limit = s_drift_outlier * s_mad_sigma * median(spread);
        if (!(limit > 0.0)) continue;
        for (std::size_t j = 0; j < pairs; ++j) {
            if (!fitted[j] || std::abs(residual[j]) <= limit) continue;
            fitted[j] = 0;
            --used;
            leaveOut(j, a);
            const double* p = phi(j);
            for (std::size_t i = 0; i < terms; ++i) b[i] -= p[i] * pairMean(j);
        }
    }
}

void fitDriftOf(std::span<const double> x, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles, const CleaningSteps& steps,
                StackEstimator estimator, double trim, CleanHalves& out, std::vector<double>& scratch)
{
    out.centre = (static_cast<double>(x.size()) - 1.0) / 2.0;
    out.scale = std::max(1.0, static_cast<double>(x.size()) / 2.0);
    if (steps.drift_order >= 0) {
        fitPolynomialDrift(x, overloads, cycle / 2, steps.drift_order, out, scratch);
        return;
    }
    const LinearDrift line = fitDrift(x, overloads, cycle, cycles, estimator, trim);
    out.drift = {line.offset + line.slope * out.centre, line.slope * out.scale};
    out.drift_covariance.clear();
}

void cut(std::span<const double> x, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles, CleanHalves& out)
{
    HalfCycles& halves = out.halves;
    halves.length = cycle / 2;
    halves.used = halves.dropped = 0;
    halves.values.resize(2 * cycles * halves.length);
    out.sign.clear();
    out.first.clear();
    for (std::size_t h = 0; h < 2 * cycles; ++h) {
        const std::size_t first = h * halves.length;
        if (halfOverloaded(overloads, first, halves.length)) {
            ++halves.dropped;
            continue;
        }
        const double sign = h % 2 == 0 ? 1.0 : -1.0;
        double* const to = halves.values.data() + halves.used * halves.length;
        for (std::size_t k = 0; k < halves.length; ++k)
            to[k] = sign * (x[first + k] - polynomial(out.drift, (static_cast<double>(first + k) - out.centre) / out.scale));
        out.sign.push_back(sign);
        out.first.push_back(first);
        ++halves.used;
    }
    halves.values.resize(halves.used * halves.length);
}

// The aliases of the power line's harmonics at the sampling rate that can be told from
// both the drift (0 Hz) and the signal (odd harmonics of the injection), once each.
std::vector<double> mainsAliases(double mains_hz, double step_ms, std::size_t cycle)
{
    const double rate = 1000.0 / step_ms, injection = rate / static_cast<double>(cycle);
    std::vector<double> aliases;
    for (int h = 1; h <= s_mains_harmonics; ++h) {
        double alias = std::fmod(mains_hz * h, rate);
        if (alias > rate / 2.0) alias = rate - alias;
        if (alias < 1e-9 * rate) continue;
        const double harmonic = alias / injection;
        const double nearest = std::round(harmonic);
        if (std::abs(harmonic - nearest) < 1e-6 && std::fmod(nearest, 2.0) == 1.0) continue;
        if (std::none_of(aliases.begin(), aliases.end(), [&](double a) { return std::abs(a - alias) < 1e-9 * rate; })) aliases.push_back(alias);
    }
    return aliases;
}

// Fits the aliased power-line frequencies to the samples less drift and stacked signal, and
// writes the samples less that fit into `corrected`; the number of frequencies removed.
std::size_t removeMains(std::span<const double> x, std::span<const bool> overloads, double step_ms, double mains_hz, std::size_t cycle,
                        const CleanHalves& clean, std::span<const double> stack, std::vector<double>& corrected)
{
    corrected.assign(x.begin(), x.end());
    const std::vector<double> aliases = mainsAliases(mains_hz, step_ms, cycle);
    if (aliases.empty() || clean.halves.used == 0) return 0;
    const double rate = 1000.0 / step_ms;
    // Each alias is a cosine and a sine, but the one at half the rate, which is (-1)^k alone.
    std::vector<std::pair<double, bool>> basis; // (frequency, sine)
    for (const double a : aliases) {
        basis.emplace_back(a, false);
        if (std::abs(a - rate / 2.0) > 1e-9 * rate) basis.emplace_back(a, true);
    }
    const std::size_t n = basis.size(), length = clean.halves.length;
    std::vector<double> a(n * n, 0.0), b(n, 0.0), value(n);
    const auto basisAt = [&](std::size_t k) {
        for (std::size_t i = 0; i < n; ++i) {
            const double angle = 2.0 * std::numbers::pi * basis[i].first * static_cast<double>(k) / rate;
            value[i] = basis[i].second ? std::sin(angle) : std::cos(angle);
        }
    };
    for (std::size_t h = 0; h < clean.halves.used; ++h)
        for (std::size_t k = 0; k < length; ++k) {
            const std::size_t at = clean.first[h] + k;
            if (!overloads.empty() && overloads[at]) continue;
            const double residual = clean.sign[h] * (clean.halves.at(h, k) - stack[k]);
            basisAt(at);
            for (std::size_t i = 0; i < n; ++i) {
                b[i] += value[i] * residual;
                for (std::size_t j = 0; j < n; ++j) a[i * n + j] += value[i] * value[j];
            }
        }
    if (!solve(a, b, n)) return 0;
    for (std::size_t k = 0; k < corrected.size(); ++k) {
        basisAt(k);
        for (std::size_t i = 0; i < n; ++i) corrected[k] -= b[i] * value[i];
    }
    return aliases.size();
}

void flagSpikes(double threshold, CleanHalves& clean, std::vector<double>& scratch)
{
    const HalfCycles& halves = clean.halves;
    const std::size_t length = halves.length, used = halves.used;
    clean.spike.assign(halves.values.size(), 0);
    clean.spikes = 0;
    if (used < 3) return;
    // Per sample: the median, then the deviation; the floor is the typical deviation.
    scratch.resize(2 * length + 2 * used);
    const std::span<double> centre(scratch.data(), length), sigma(scratch.data() + length, length),
        column(scratch.data() + 2 * length, used), distance(scratch.data() + 2 * length + used, used);
    for (std::size_t k = 0; k < length; ++k) {
        for (std::size_t h = 0; h < used; ++h) column[h] = halves.at(h, k);
        centre[k] = median(column);
        for (std::size_t h = 0; h < used; ++h) distance[h] = std::abs(halves.at(h, k) - centre[k]);
        sigma[k] = s_mad_sigma * median(distance);
    }
    std::vector<double> typical(sigma.begin(), sigma.end());
    const double floor = median(typical);
    for (std::size_t k = 0; k < length; ++k) {
        const double limit = threshold * std::max(sigma[k], floor);
        if (!(limit > 0.0)) continue;
        for (std::size_t h = 0; h < used; ++h)
            if (std::abs(halves.at(h, k) - centre[k]) > limit) {
                clean.spike[h * length + k] = 1;
                ++clean.spikes;
            }
    }
}

} // namespace

void cleanHalfCycles(std::span<const double> samples, std::span<const bool> overloads, std::size_t cycle, std::size_t cycles, double step_ms,
                     const CleaningSteps& steps, StackEstimator estimator, double trim, CleanHalves& out, std::vector<double>& scratch)
{
    out.halves.length = cycle / 2;
    out.halves.values.clear();
    out.halves.used = out.halves.dropped = 0;
    out.spike.clear();
    out.spikes = 0;
    out.mains_removed = 0;
    out.drift.clear();
    out.drift_covariance.clear();
    out.sign.clear();
    out.first.clear();
    const std::size_t count = cycle * cycles;
    if (out.halves.length == 0 || samples.size() < count) return;
    std::span<const double> x = samples.first(count);
    if (!overloads.empty()) overloads = overloads.first(count);
    fitDriftOf(x, overloads, cycle, cycles, steps, estimator, trim, out, scratch);
    cut(x, overloads, cycle, cycles, out);

    std::vector<double> corrected;
    if (steps.mains_hz > 0.0 && step_ms > 0.0 && out.halves.used > 0) {
        // The signal as a median stack, which spikes do not move, is what the noise is not.
        std::vector<double> stack;
        stackHalfCycles(out.halves, StackEstimator::Median, trim, stack, scratch);
        out.mains_removed = removeMains(x, overloads, step_ms, steps.mains_hz, cycle, out, stack, corrected);
        if (out.mains_removed > 0) {
            x = corrected;
            fitDriftOf(x, overloads, cycle, cycles, steps, estimator, trim, out, scratch);
            cut(x, overloads, cycle, cycles, out);
        }
    }
    if (steps.spike_threshold > 0.0) flagSpikes(steps.spike_threshold, out, scratch);
    else out.spike.assign(out.halves.values.size(), 0);
}

void stackClean(const CleanHalves& clean, StackEstimator estimator, double trim, std::vector<double>& stack, std::vector<double>& column)
{
    const HalfCycles& halves = clean.halves;
    stack.resize(halves.used == 0 ? 0 : halves.length);
    column.resize(halves.used);
    for (std::size_t k = 0; k < stack.size(); ++k) {
        std::size_t n = 0;
        for (std::size_t h = 0; h < halves.used; ++h)
            if (!clean.spike[h * halves.length + k]) column[n++] = halves.at(h, k);
        if (n == 0)
            for (std::size_t h = 0; h < halves.used; ++h) column[n++] = halves.at(h, k);
        stack[k] = estimate(estimator, std::span<double>(column.data(), n), trim);
    }
}

void cleanGateValue(const CleanHalves& clean, std::span<const double> stack, const DecayGate& gate, WindowValue& out, double& drift_variance)
{
    const HalfCycles& halves = clean.halves;
    out.per_half.clear();
    out.deviation = 0.0;
    drift_variance = 0.0;
    const std::size_t first = gate.first, last = std::min(gate.last, stack.size());
    if (first >= last) {
        out.value = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    double total = 0.0, value = 0.0;
    for (std::size_t k = first; k < last; ++k) {
        const double w = gateWeight(gate, k);
        total += w;
        value += w * stack[k];
    }
    out.value = value / total;
    out.per_half.resize(halves.used);
    for (std::size_t h = 0; h < halves.used; ++h) {
        double sum = 0.0;
        for (std::size_t k = first; k < last; ++k) {
            const std::size_t at = h * halves.length + k;
            sum += gateWeight(gate, k) * (clean.spike[at] ? stack[k] : halves.values[at]);
        }
        out.per_half[h] = sum / total;
    }
    out.deviation = standardDeviation(out.per_half);

    // The stacked gate moves by the mean over half cycles of -sign x the drift's error: a
    // linear form in the drift's coefficients, whose variance their covariance gives.
    const std::size_t terms = clean.drift.size();
    if (clean.drift_covariance.size() != terms * terms || terms == 0 || halves.used == 0) return;
    std::vector<double> form(terms, 0.0);
    for (std::size_t h = 0; h < halves.used; ++h)
        for (std::size_t k = first; k < last; ++k) {
            const double t = (static_cast<double>(clean.first[h] + k) - clean.centre) / clean.scale;
            const double w = clean.sign[h] * gateWeight(gate, k) / (total * static_cast<double>(halves.used));
            double p = 1.0;
            for (std::size_t i = 0; i < terms; ++i, p *= t) form[i] += w * p;
        }
    for (std::size_t i = 0; i < terms; ++i)
        for (std::size_t j = 0; j < terms; ++j) drift_variance += form[i] * clean.drift_covariance[i * terms + j] * form[j];
}

} // namespace ertkit
