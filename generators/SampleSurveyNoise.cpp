// The Cole-Cole decays and the planted disturbances of a sample survey with noise settings.
#include <generators/SampleSurvey.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ertkit::generators {

namespace {

// Keys of the random streams, above every key the noiseless survey draws from.
constexpr std::uint64_t s_key_cole_cole = 0xA1ull << 40, s_key_drift = 0xA2ull << 40, s_key_mains = 0xA3ull << 40;
constexpr std::uint64_t s_key_spike_count = 0xA4ull << 40, s_key_spike = 0xA5ull << 40;
constexpr double s_tau_min_s = 0.05, s_tau_max_s = 2.0, s_c_min = 0.2, s_c_max = 0.8;
constexpr double s_drift_relaxation_s = 6.0;
constexpr double s_spike_min = 20.0, s_spike_max = 200.0; // times the noise level
// Well inside the receiver's range whatever the signal under the spike.
constexpr double s_spike_cap_mV = 5000.0;

double uniform(std::uint64_t bits)
{
    return (static_cast<double>(bits >> 11) + 0.5) / 9007199254740992.0;
}

// A Poisson count of mean `mean` from one uniform number, by inversion.
unsigned int poisson(double mean, double u)
{
    double p = std::exp(-mean), cumulative = p;
    unsigned int n = 0;
    while (u > cumulative && p > 0.0 && n < 10000) {
        ++n;
        p *= mean / n;
        cumulative += p;
    }
    return n;
}

} // namespace

// The time constant rises from 0.05 s at the line's start to 2 s at its end (evenly in its
// log); the exponent is lowest at both ends and highest mid-line; each reading scatters a
// little about them.
void SampleSurvey::plantNoise()
{
    const SampleNoise& noise = *m_noise;
    const double length = m_spacing * (m_electrodes - 1);
    for (std::size_t i = 0; i < m_measures.size(); ++i) {
        Measure& m = m_measures[i];
        double x = 0.0;
        for (const ElectrodePoint& p : m.positions) x += p.x / 4.0;
        const double f = std::clamp(x / length, 0.0, 1.0);
        const double tau = s_tau_min_s * std::pow(s_tau_max_s / s_tau_min_s, 0.5 - 0.5 * std::cos(std::numbers::pi * f));
        const double c = 0.5 - 0.25 * std::cos(2.0 * std::numbers::pi * f);
        m.cole_cole.m = m.decay;
        m.cole_cole.tau = std::clamp(tau * std::exp(0.08 * noiseAt(s_key_cole_cole | i, 0)), s_tau_min_s, s_tau_max_s);
        m.cole_cole.c = std::clamp(c + 0.02 * noiseAt(s_key_cole_cole | i, 1), s_c_min, s_c_max);
        m.clean_stack.resize(s_cycle_samples / 2);
        for (std::size_t k = 0; k < m.clean_stack.size(); ++k)
            m.clean_stack[k] = m.amplitude * coleColeVoltage(m.cole_cole, s_pulse_ms, static_cast<double>(k * s_sample_ms));
        m.noise = noise.level_mV > 0.0 ? noise.level_mV + 0.0015 * std::abs(m.amplitude) : 0.0;
        const auto sign = [](std::uint64_t bits) { return (bits & 1) != 0 ? 1.0 : -1.0; };
        const std::uint64_t relaxation = bitsAt(s_key_drift | i, 0), quadratic = bitsAt(s_key_drift | i, 1);
        m.drift_relaxation = sign(relaxation) * noise.drift_mV * (0.5 + 0.5 * uniform(relaxation));
        m.drift_quadratic = sign(quadratic) * noise.drift_mV * (0.2 + 0.4 * uniform(quadratic));
    }
    for (std::size_t i = 0; i < m_injections.size(); ++i) {
        Injection& injection = m_injections[i];
        injection.mains_phase = 2.0 * std::numbers::pi * uniform(bitsAt(s_key_mains | i, 0));
        const unsigned int count = poisson(noise.spikes_per_start, uniform(bitsAt(s_key_spike_count | i, 0)));
        const auto channels = static_cast<std::uint32_t>(injection.measures.size());
        for (std::uint32_t j = 0; j < count; ++j) {
            const std::uint64_t place = bitsAt(s_key_spike | i, 2 * j), size = bitsAt(s_key_spike | i, 2 * j + 1);
            Spike spike;
            spike.channel = static_cast<unsigned int>((place >> 40) % channels);
            spike.sample = static_cast<std::uint32_t>((place & 0xFFFFFFFFu) % sampleCount());
            const double mV = std::min(s_spike_cap_mV, noise.level_mV * (s_spike_min + (s_spike_max - s_spike_min) * uniform(size)));
            spike.mV = (size & 1) != 0 ? mV : -mV;
            injection.noise_spikes.push_back(spike);
        }
    }
}

// The second half of each cycle is the first negated, so that the noiseless half cycles are
// the model's half cycle exactly (its history, cut after whole periods, would otherwise leave
// the two halves a hair apart).
double SampleSurvey::cleanSignal(const Measure& m, std::uint32_t k) const
{
    if (!m_noise) return m.amplitude * waveform(m.decay, k);
    const std::uint32_t p = k % s_cycle_samples, half = s_cycle_samples / 2;
    return p < half ? m.clean_stack[p] : -m.clean_stack[p - half];
}

// Everything but the signal and the settled self potential: gaussian noise, the drift (a
// relaxation plus a slow quadratic over the recording), the mains with its 3rd harmonic at the
// sample's own time, and the spikes planted on this channel.
double SampleSurvey::disturbance(const Measure& m, std::uint32_t k) const
{
    const SampleNoise& noise = *m_noise;
    const Injection& injection = m_injections[m.injection];
    const auto index = static_cast<std::uint64_t>(&m - m_measures.data());
    const double t = static_cast<double>(k) * s_sample_ms / 1000.0;
    const double span = static_cast<double>(sampleCount()) * s_sample_ms / 1000.0;
    double v = m.noise == 0.0 ? 0.0 : m.noise * noiseAt(index, k);
    v += m.drift_relaxation * std::exp(-t / s_drift_relaxation_s) + m.drift_quadratic * (t / span) * (t / span);
    const double theta = 2.0 * std::numbers::pi * noise.mains_hz * t + injection.mains_phase;
    v += noise.mains_mV * (std::sin(theta) + 0.3 * std::sin(3.0 * theta));
    for (const Spike& spike : injection.noise_spikes)
        if (spike.sample == k && injection.measures[spike.channel] == index) v += spike.mV;
    return v;
}

} // namespace ertkit::generators
