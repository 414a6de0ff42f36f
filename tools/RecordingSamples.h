#pragma once

#include <host/IV_File_Reader.h>
#include <services/SampleUnit.h>

#include <array>
#include <cstdint>
#include <functional>

namespace ertkit_cli {

// One sample of a start: a value per channel, the overloaded channels as bits, the PPS flag.
struct Sample {
    static constexpr unsigned int s_max_channels = 15;

    std::uint64_t index = 0;
    unsigned int channels = 0;
    std::array<float, s_max_channels> values{};
    std::uint16_t overloads = 0;
    bool pps = false;

    bool overloaded(unsigned int channel) const { return (overloads >> channel) & 1u; }
};

// Walks the samples of one start in order. A full-wave recording is read in pieces through
// the library's whole-start fill; another reader through its per-channel queries. Throws
// std::out_of_range for a start past the end.
void forEachSample(const IV_File_Reader& reader, std::uint64_t start, const std::function<void(const Sample&)>& visit);

// The kind of receiver that made the recording, as a word.
const char* recordingKind(const IV_File_Reader& reader);
using ertkit::sampleUnit;

} // namespace ertkit_cli
