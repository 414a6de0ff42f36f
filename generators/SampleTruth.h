#pragma once

#include <generators/SampleSurvey.h>

#include <array>
#include <filesystem>
#include <string>

namespace ertkit::generators {

// What perfect processing of a noiseless recording gives for one reading of a survey with
// noise settings: its Vp over 1-2 s of the pulse (mV), and the chargeability of each of its
// windows and over all of them, width-weighted (mV/V), from the Cole-Cole model itself.
struct DecayTruth {
    double vp = 0.0;
    double m = 0.0;
    std::array<double, SampleSurvey::s_window_ms.size()> window_m{};
};
DecayTruth decayTruth(const SampleSurvey& survey, std::size_t index);

// The files of the truth written beside a survey with noise settings, named after `stem`:
struct SampleTruthFiles {
    std::string decay;  // STEM-decay-truth.csv: index,m,tau_s,c,vp_mV,m_mVV,window_1..window_N
    std::string stacks; // STEM-clean-stacks.csv: index, then the clean stacked half cycle (mV)
    std::string noise;  // STEM-noise.json: the settings and the seed
};
// One row per reading, in the order of the BINX file's records; numbers written to round trip.
SampleTruthFiles writeSampleTruth(const SampleSurvey& survey, const std::filesystem::path& folder, const std::string& stem);

} // namespace ertkit::generators
