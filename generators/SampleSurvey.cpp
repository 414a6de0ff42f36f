#include <generators/SampleSurvey.h>

#include <services/CycleStack.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace ertkit::generators {

namespace {

constexpr int s_max_dipole_n = 6;
constexpr int s_wenner_spacings = 4;
constexpr double s_basement_rho = 400.0;   // ohm.m
constexpr double s_cover_m = 0.015;        // chargeabilities (fractions)
constexpr double s_basement_m = 0.08;
constexpr double s_spike_mV = 16000.0;     // beyond the receiver's input range
constexpr std::uint32_t s_spike_sample = 1111; // in the off time of the third half cycle
// A burst within the range in the first half cycle: on the pulse where Vp is read, and early
// in the decay where the first windows are.
constexpr double s_burst_on_mV = 400.0, s_burst_off_mV = 150.0;
constexpr std::uint32_t s_burst_on = 150, s_burst_off = 206, s_burst_samples = 6;
// What the meter reads: Vp from 1 s to 2 s of the pulse (samples 100 to 199 of a half cycle).
constexpr std::size_t s_vp_first = 100, s_vp_last = 200;
constexpr int s_seconds_between_injections = 20;
constexpr int s_seconds_after_injection = 4; // before the next, with more cycles than fit in 20 s

// Cover resistivity and thickness under a point of the line: a resistive cover to the east
// of 40 m, and a cover that thins to 2.5 m around 25 m.
double coverRho(double x)
{
    return 60.0 + 90.0 / (1.0 + std::exp(-(x - 40.0) / 6.0));
}

double coverThickness(double x)
{
    return 6.0 - 3.5 * std::exp(-((x - 25.0) / 8.0) * ((x - 25.0) / 8.0));
}

// Potential per unit current at distance r from a surface source on a two-layer earth
// (image series); the terms shrink as k^n.
double twoLayerPotential(double r, double rho1, double rho2, double h)
{
    const double k = (rho2 - rho1) / (rho2 + rho1);
    double sum = 1.0 / r;
    double kn = 1.0;
    for (int n = 1; n < 5000; ++n) {
        kn *= k;
        if (std::abs(kn) < 1e-12) break;
        sum += 2.0 * kn / std::sqrt(r * r + 4.0 * n * n * h * h);
    }
    return rho1 / (2.0 * std::numbers::pi) * sum;
}

double planeDistance(const ElectrodePoint& a, const ElectrodePoint& b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

std::uint64_t splitmix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A standard normal value from two uniform numbers (Box-Muller); fully specified, unlike the
// standard library's distributions, so that every platform makes the same survey.
double gaussian(std::uint64_t bits)
{
    const double u1 = (static_cast<double>(bits >> 32) + 0.5) / 4294967296.0;
    const double u2 = (static_cast<double>(bits & 0xFFFFFFFFu) + 0.5) / 4294967296.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

double gaussian(std::mt19937& random)
{
    const std::uint64_t high = random(), low = random();
    return gaussian(high << 32 | low);
}

} // namespace

SampleSurvey::SampleSurvey(std::uint32_t seed, int electrodes, double spacing, std::optional<SampleNoise> noise)
    : m_seed(seed), m_electrodes(std::max(electrodes, 4)), m_spacing(spacing), m_noise(noise)
{
    std::mt19937 random(seed);
    for (int b = 0; b + 3 < m_electrodes; ++b) {
        std::vector<int> chain;
        for (int e = b + 2; e < m_electrodes && e <= b + 2 + s_max_dipole_n; ++e) chain.push_back(e);
        addInjection(Array::DipoleDipole, b + 1, b, chain, random);
    }
    for (int s = 1; s <= s_wenner_spacings; ++s)
        for (int a = 0; a + 3 * s < m_electrodes; ++a) addInjection(Array::Wenner, a, a + 3 * s, {a + s, a + 2 * s}, random);
    if (m_noise) plantNoise();
    // The two deepest dipole-dipole readings at the end of the line are too weak to trust.
    std::vector<std::size_t> weakest;
    for (std::size_t i = 0; i < m_measures.size(); ++i) weakest.push_back(i);
    std::partial_sort(weakest.begin(), weakest.begin() + 2, weakest.end(),
                      [&](std::size_t l, std::size_t r) { return std::abs(m_measures[l].amplitude) < std::abs(m_measures[r].amplitude); });
    for (std::size_t i = 0; i < 2 && i < weakest.size(); ++i) {
        Measure& m = m_measures[weakest[i]];
        m.ignore = true;
        m.noise *= 10.0;
    }
    for (Measure& m : m_measures) meter(m);
    for (Injection& injection : m_injections) {
        std::vector<double> samples(sampleCount());
        for (std::uint32_t k = 0; k < samples.size(); ++k) samples[k] = current(injection, k);
        const HalfCycles halves = cutHalfCycles(samples, {}, s_cycle_samples, static_cast<std::size_t>(cycles()), StackEstimator::Mean);
        injection.current = windowValue(halves, stackHalfCycles(halves, StackEstimator::Mean), s_vp_first, s_vp_last).value;
    }
}

// The meter's mean stack of what was recorded, the half cycles holding an overloaded sample
// left out, read as the meter reads it: Vp over 1-2 s of the pulse, each window's M after the
// switch-off (200 samples into the half cycle) against it.
void SampleSurvey::meter(Measure& m)
{
    const Injection& injection = m_injections[m.injection];
    const std::uint32_t count = sampleCount();
    std::vector<double> samples(count);
    std::unique_ptr<bool[]> flags = std::make_unique<bool[]>(count);
    const auto read = [&](bool burst, double& vp, double& total_m, bool keep) {
        for (std::uint32_t k = 0; k < count; ++k) {
            samples[k] = voltage(m, k, burst);
            flags[k] = overloaded(injection, k);
        }
        const HalfCycles halves = cutHalfCycles(samples, std::span<const bool>(flags.get(), count), s_cycle_samples, static_cast<std::size_t>(cycles()),
                                                StackEstimator::Mean);
        const std::vector<double> stack = stackHalfCycles(halves, StackEstimator::Mean);
        const WindowValue v = windowValue(halves, stack, s_vp_first, s_vp_last);
        vp = v.value;
        std::vector<double> per_half(halves.used, 0.0);
        double weighted = 0.0, width = 0.0;
        std::size_t from = s_cycle_samples / 4 + s_delay_ms / s_sample_ms;
        for (std::size_t w = 0; w < s_window_ms.size(); ++w) {
            const std::size_t to = from + s_window_ms[w] / s_sample_ms;
            const WindowValue window = windowValue(halves, stack, from, to);
            const double window_m = 1000.0 * window.value / vp;
            weighted += window_m * s_window_ms[w];
            width += s_window_ms[w];
            for (std::size_t h = 0; h < halves.used; ++h) per_half[h] += 1000.0 * window.per_half[h] / v.per_half[h] * s_window_ms[w];
            if (keep) m.window_m[w] = window_m;
            from = to;
        }
        total_m = weighted / width;
        if (!keep) return;
        for (double& value : per_half) value /= width;
        m.vp_deviation = 100.0 * v.deviation / std::abs(vp);
        m.m_deviation = standardDeviation(per_half);
        m.stack.assign(stack.begin(), stack.end());
        m.stacks = static_cast<unsigned int>(halves.used);
    };
    read(true, m.vp, m.m, true);
    read(false, m.clean_vp, m.clean_m, false);
}

const char* SampleSurvey::arrayName(Array array)
{
    return array == Array::DipoleDipole ? "dipole-dipole" : "Wenner";
}

ElectrodePoint SampleSurvey::electrode(int number) const
{
    return {m_spacing * number, 0.0, 0.0};
}

double SampleSurvey::modelRhoa(const Quadrupole& q, bool polarised) const
{
    double x = 0.0;
    for (const ElectrodePoint& p : q) x += p.x / 4.0;
    const double rho1 = coverRho(x) / (polarised ? 1.0 - s_cover_m : 1.0);
    const double rho2 = s_basement_rho / (polarised ? 1.0 - s_basement_m : 1.0);
    const double h = coverThickness(x);
    const auto g = [&](const ElectrodePoint& s, const ElectrodePoint& p) { return twoLayerPotential(planeDistance(s, p), rho1, rho2, h); };
    const auto& [a, b, m, n] = q;
    const double dv = g(a, m) - g(b, m) - g(a, n) + g(b, n);
    return *geometricFactor(q) * dv;
}

int SampleSurvey::secondsBetweenInjections() const
{
    const int injection_s = cycles() * s_cycle_samples * s_sample_ms / 1000;
    return std::max(s_seconds_between_injections, injection_s + s_seconds_after_injection);
}

void SampleSurvey::addInjection(Array array, int a, int b, const std::vector<int>& chain, std::mt19937& random)
{
    if (chain.size() < 2) return;
    Injection injection;
    injection.array = array;
    injection.a = a;
    injection.b = b;
    injection.chain = chain;
    injection.level = 450.0 + 120.0 * std::clamp(gaussian(random), -2.0, 2.0) / 2.0;
    injection.start = HighPrecisionTime::fromVarnelTimestamp(1686731400, 0) + // 2023-06-14 08:30:00 UTC
                      HighPrecisionTime::s_second * (static_cast<std::int64_t>(m_injections.size()) * secondsBetweenInjections());
    // Noise settings plant their own spikes instead.
    injection.spikes = !m_noise && m_injections.size() == 2;
    for (unsigned int c = 0; c + 1 < chain.size(); ++c) {
        Measure m;
        m.electrodes = {a, b, chain[c], chain[c + 1]};
        for (std::size_t e = 0; e < 4; ++e) m.positions[e] = electrode(m.electrodes[e]);
        m.injection = m_injections.size();
        m.channel = c;
        m.rhoa = modelRhoa(m.positions, false);
        const double polarised = modelRhoa(m.positions, true);
        const double m_fraction = 1.0 - m.rhoa / polarised;
        const double k = *geometricFactor(m.positions);
        m.amplitude = m.rhoa * (1.0 + 0.004 * gaussian(random)) * injection.level / k;
        m.noise = 0.08 + 0.0015 * std::abs(m.amplitude);
        // The decay varies a little from reading to reading.
        m.decay = m_fraction * (1.0 + 0.01 * gaussian(random));
        m.sp = 12.0 + 8.0 * std::sin(m.positions[2].x / 13.0) + 0.5 * gaussian(random);
        m.overloaded = injection.spikes;
        injection.measures.push_back(m_measures.size());
        m_measures.push_back(m);
    }
    m_injections.push_back(std::move(injection));
}

double SampleSurvey::waveform(double m_fraction, std::uint32_t k)
{
    const std::uint32_t pulse = s_pulse_ms / s_sample_ms;
    const std::uint32_t p = k % s_cycle_samples;
    const double t_ms = static_cast<double>(p % pulse) * s_sample_ms;
    const double sign = p < 2 * pulse ? 1.0 : -1.0;
    const bool on = (p / pulse) % 2 == 0;
    return sign * (on ? 1.0 - m_fraction * std::exp(-t_ms / s_decay_ms) : m_fraction * std::exp(-t_ms / s_decay_ms));
}

double SampleSurvey::noiseAt(std::uint64_t key, std::uint32_t k) const
{
    return gaussian(bitsAt(key, k));
}

std::uint64_t SampleSurvey::bitsAt(std::uint64_t key, std::uint32_t k) const
{
    return splitmix(splitmix(splitmix(m_seed) ^ key) ^ k);
}

float SampleSurvey::voltage(const Measure& m, std::uint32_t k, bool burst) const
{
    if (m_noise) return static_cast<float>(cleanSignal(m, k) + m.sp + disturbance(m, k));
    const auto index = static_cast<std::uint64_t>(&m - m_measures.data());
    double v = m.amplitude * waveform(m.decay, k) + m.sp + m.noise * noiseAt(index, k);
    if (m_injections[m.injection].spikes) {
        if (k == s_spike_sample) v += s_spike_mV;
        if (burst && k >= s_burst_on && k < s_burst_on + s_burst_samples) v += s_burst_on_mV;
        if (burst && k >= s_burst_off && k < s_burst_off + s_burst_samples) v += s_burst_off_mV;
    }
    return static_cast<float>(v);
}

bool SampleSurvey::overloaded(const Injection& injection, std::uint32_t k) const
{
    return injection.spikes && k == s_spike_sample;
}

float SampleSurvey::current(const Injection& injection, std::uint32_t k) const
{
    const auto index = static_cast<std::uint64_t>(&injection - m_injections.data());
    const std::uint32_t p = k % s_cycle_samples, pulse = s_pulse_ms / s_sample_ms;
    const double level = (p / pulse) % 2 == 1 ? 0.0 : (p < 2 * pulse ? injection.level : -injection.level);
    return static_cast<float>(level * (1.0 + 0.001 * noiseAt(~index, k)) + 0.02 * noiseAt(index << 20 | 0xC0FFEE, k));
}

} // namespace ertkit::generators
