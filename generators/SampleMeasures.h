#pragma once

#include <generators/SampleSurvey.h>

#include <sim/MeterMemory.h>

#include <cstdint>

namespace ertkit::generators {

// The sample survey's readings as a meter keeps them in its memory, for the simulated meter:
// measure records of version 1 (TMeasure) or 2 and 3 (TZMeasure), one per reading, at most
// `count`. Window widths and the delay are in the meter's 10 ms samples; time stamps count
// seconds from the origin of the library's times.
ertkit_sim::MeterMemory sampleMeterMemory(const SampleSurvey& survey, std::uint32_t version, std::uint32_t count);

TarvexKesta_File::TMeasure sampleMeasure(const SampleSurvey& survey, std::size_t index);
TarvexKesta_File::TZMeasure sampleZMeasure(const SampleSurvey& survey, std::size_t index);

} // namespace ertkit::generators
