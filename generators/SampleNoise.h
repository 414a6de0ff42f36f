#pragma once

#include <string>
#include <string_view>

namespace ertkit::generators {

// The disturbances planted on a sample survey whose decays follow a Cole-Cole earth, to measure
// processing against a known truth. All levels zero gives the noiseless Cole-Cole survey.
struct SampleNoise {
    double level_mV = 0.3;          // gaussian noise, standard deviation (0: no random noise at all)
    double spikes_per_start = 2.0;  // spikes within the receiver's range, on average per injection
    double drift_mV = 20.0;         // size of the self potential's non-linear drift
    double mains_mV = 2.0;          // amplitude of the mains' fundamental (its 3rd harmonic at 0.3 of it)
    double mains_hz = 50.0;
    int cycles = 4;                 // whole injection cycles recorded per injection
};

// Settings as KEY=VALUE separated by commas, with keys level, spikes, drift, mains, hz and
// cycles; keys not given keep the defaults above, and an empty text is all defaults. Throws
// std::invalid_argument naming the first setting that is unknown, malformed or out of range.
SampleNoise parseSampleNoise(std::string_view text);

// The settings as a JSON object, for a benchmark to report what it measured against.
std::string sampleNoiseJson(const SampleNoise& noise, unsigned int seed);

} // namespace ertkit::generators
