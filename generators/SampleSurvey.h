#pragma once

#include <generators/SampleNoise.h>

#include <services/ColeCole.h>
#include <services/Geometry.h>

#include <host/HighPrecisionTime.h>

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace ertkit::generators {

// A synthetic resistivity and IP survey along one line of electrodes: dipole-dipole and
// Wenner quadrupoles over a two-layer earth whose cover thins and changes resistivity along
// the line. Apparent resistivities come from the exact image-series potential of a two-layer
// earth; apparent chargeabilities from the same model with each layer's resistivity raised
// by its chargeability (1 / (1 - m)); the decay after switch-off is exponential. Everything
// follows from the seed: the same seed gives the same survey, byte for byte.
//
// Given noise settings, the decay is instead a Cole-Cole earth's under the periodic injection,
// its time constant and exponent varying along the line, and the recordings carry the settings'
// noise, spikes, drift and mains over it; the planted burst and overload are left out, so that
// the only disturbances are the ones asked for.
class SampleSurvey {
public:
    // The injection cycle of every measure: +2 s, off 2 s, -2 s, off 2 s, sampled every 10 ms.
    static constexpr int s_pulse_ms = 2000;
    static constexpr int s_sample_ms = 10;
    static constexpr int s_cycle_samples = 4 * s_pulse_ms / s_sample_ms;
    static constexpr int s_cycles = 2;         // recorded per injection without noise settings
    static constexpr int s_delay_ms = 40;
    static constexpr std::array<int, 10> s_window_ms{20, 20, 40, 40, 80, 80, 160, 160, 320, 320};
    static constexpr double s_decay_ms = 450.0;

    enum class Array { DipoleDipole, Wenner };

    struct Measure {
        std::array<int, 4> electrodes{}; // A, B, M, N as electrode numbers along the line, from 0
        Quadrupole positions{};
        std::size_t injection = 0;
        unsigned int channel = 0;        // receiver channel within its injection
        double amplitude = 0.0;          // mV, the recorded pulse once settled (noise on the model)
        double rhoa = 0.0;               // ohm.m (the model's, before noise)
        double decay = 0.0;              // the decay's amplitude at the switch-off, a fraction of the pulse
        // What the meter computed from the recorded samples and stored: the mean stack of the
        // half cycles free of overload, Vp over 1-2 s of the pulse, M per window after it.
        double vp = 0.0;                 // mV
        double m = 0.0;                  // mV/V, width-weighted over all windows
        std::array<double, s_window_ms.size()> window_m{}; // mV/V
        double vp_deviation = 0.0;       // % of Vp, across half cycles
        double m_deviation = 0.0;        // mV/V, across half cycles
        std::vector<float> stack;        // the stacked half cycle (on, then off), mV
        unsigned int stacks = 0;         // half cycles stacked
        // The same computed without the spike burst: what a robust stack should find.
        double clean_vp = 0.0, clean_m = 0.0;
        double sp = 0.0;                 // mV
        double noise = 0.0;              // mV, standard deviation of the recorded noise
        bool overloaded = false;         // a spike drove the receiver past its range
        bool ignore = false;             // judged too noisy to use
        // With noise settings: the true decay, the half cycle it gives without noise or drift
        // (mV, the pulse from sample 0), and the drift's two parts at their largest (mV).
        ColeColeParameters cole_cole;
        std::vector<double> clean_stack;
        double drift_relaxation = 0.0, drift_quadratic = 0.0;
    };

    // A spike within the receiver's range, planted on one sample of one channel.
    struct Spike {
        unsigned int channel = 0;
        std::uint32_t sample = 0;
        double mV = 0.0;
    };

    struct Injection {
        Array array = Array::DipoleDipole;
        int a = 0, b = 0;                // electrode numbers
        double level = 0.0;              // mA, the injected current's level
        double current = 0.0;            // mA, as the meter computed it from the current recording
        HighPrecisionTime start;         // UTC of the first sample
        std::vector<std::size_t> measures;
        std::vector<int> chain;          // potential electrodes: channel c between chain[c] and chain[c + 1]
        bool spikes = false;             // carries a spike burst within the receiver's range in its
                                         // first half cycle and a spike beyond it in its third
        // With noise settings: the mains' phase at the first sample, and the planted spikes.
        double mains_phase = 0.0;
        std::vector<Spike> noise_spikes;
    };

    explicit SampleSurvey(std::uint32_t seed, int electrodes = 16, double spacing = 5.0, std::optional<SampleNoise> noise = {});

    std::uint32_t seed() const { return m_seed; }
    int electrodeCount() const { return m_electrodes; }
    double spacing() const { return m_spacing; }
    ElectrodePoint electrode(int number) const;
    const std::vector<Injection>& injections() const { return m_injections; }
    const std::vector<Measure>& measures() const { return m_measures; }
    static const char* arrayName(Array array);
    const std::optional<SampleNoise>& noise() const { return m_noise; }
    // Whole injection cycles recorded per injection, and their samples.
    int cycles() const { return m_noise ? m_noise->cycles : s_cycles; }
    std::uint32_t sampleCount() const { return static_cast<std::uint32_t>(cycles() * s_cycle_samples); }
    // From one injection's start to the next: an injection ends before the next begins, or
    // the next's readings would be joined into the earlier start that runs through their time.
    int secondsBetweenInjections() const;

    // The recorded voltage of a measure at sample k of its injection (mV), noise, spikes and
    // self-potential included (the burst within range only when `burst`); reproducible for
    // the same survey.
    float voltage(const Measure& measure, std::uint32_t k, bool burst = true) const;
    // Whether the receiver overloads at sample k of an injection.
    bool overloaded(const Injection& injection, std::uint32_t k) const;
    // The recorded current of an injection at sample k (mA).
    float current(const Injection& injection, std::uint32_t k) const;
    // The noiseless signal shape: +1 pulse with the IP charge-up, decay, -1 pulse, decay.
    static double waveform(double m_fraction, std::uint32_t k);
    // The noiseless, drift-free signal of a measure at sample k (mV), self potential left out.
    double cleanSignal(const Measure& measure, std::uint32_t k) const;

    // Apparent resistivity of the model at a quadrupole, with the layers' resistivities
    // divided by (1 - m) when `polarised`.
    double modelRhoa(const Quadrupole& q, bool polarised) const;

private:
    void addInjection(Array array, int a, int b, const std::vector<int>& chain, std::mt19937& random);
    double noiseAt(std::uint64_t key, std::uint32_t k) const;
    std::uint64_t bitsAt(std::uint64_t key, std::uint32_t k) const;
    void plantNoise();
    double disturbance(const Measure& measure, std::uint32_t k) const;
    void meter(Measure& measure);

    std::uint32_t m_seed;
    int m_electrodes;
    double m_spacing;
    std::optional<SampleNoise> m_noise;
    std::vector<Injection> m_injections;
    std::vector<Measure> m_measures;
};

} // namespace ertkit::generators
