#include "RecordingSamples.h"

#include <fullwave/IAB_VMN_File.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

namespace ertkit_cli {

namespace {

// A full-wave recording is read in pieces through the library's whole-start fill, so a long
// start never needs all its samples as doubles at once.
void walkRecording(const IAB_VMN_File& file, std::uint64_t start, const std::function<void(const Sample&)>& visit)
{
    constexpr std::uint64_t kPiece = 4096;
    const std::uint64_t total = file.getNsample(start);
    const auto channels = static_cast<unsigned int>(total ? file.getNChannels(start) : 0);
    std::vector<double> values(kPiece * channels);
    // std::vector<bool> has no storage of its own bools to hand out.
    std::unique_ptr<bool[]> overloads(new bool[kPiece * channels + 1]);
    std::unique_ptr<bool[]> pps(new bool[kPiece]);
    Sample sample;
    sample.channels = std::min(channels, Sample::s_max_channels);
    for (std::uint64_t first = 0; first < total; first += kPiece) {
        const std::uint64_t count = std::min(kPiece, total - first);
        file.fillStart(start, first, count, values, {overloads.get(), kPiece * channels}, {pps.get(), kPiece});
        for (std::uint64_t k = 0; k < count; ++k) {
            sample.overloads = 0;
            for (unsigned int c = 0; c < sample.channels; ++c) {
                sample.values[c] = static_cast<float>(values[k * channels + c]);
                if (overloads[k * channels + c]) sample.overloads |= static_cast<std::uint16_t>(1u << c);
            }
            sample.pps = pps[k];
            visit(sample);
            ++sample.index;
        }
    }
}

void walkQueries(const IV_File_Reader& reader, std::uint64_t start, const std::function<void(const Sample&)>& visit)
{
    const auto channels = static_cast<unsigned int>(std::min<std::uint64_t>(reader.getNChannels(start), Sample::s_max_channels));
    std::vector<std::vector<double>> values(channels);
    std::vector<std::vector<bool>> overloads(channels);
    std::vector<bool> pps;
    for (unsigned int c = 0; c < channels; ++c) {
        reader.fillData(start, c, values[c]);
        reader.fillOverload(start, c, overloads[c]);
    }
    reader.fillPPS(start, pps);
    Sample sample;
    sample.channels = channels;
    for (std::uint64_t i = 0; i < reader.getNsample(start); ++i) {
        sample.index = i;
        sample.overloads = 0;
        for (unsigned int c = 0; c < channels; ++c) {
            sample.values[c] = i < values[c].size() ? static_cast<float>(values[c][i]) : 0.0f;
            if (i < overloads[c].size() && overloads[c][i]) sample.overloads |= static_cast<std::uint16_t>(1u << c);
        }
        sample.pps = i < pps.size() && pps[i];
        visit(sample);
    }
}

} // namespace

void forEachSample(const IV_File_Reader& reader, std::uint64_t start, const std::function<void(const Sample&)>& visit)
{
    if (start >= reader.getNStarts()) throw std::out_of_range("start " + std::to_string(start) + " does not exist");
    if (const auto* file = dynamic_cast<const IAB_VMN_File*>(&reader))
        walkRecording(*file, start, visit);
    else
        walkQueries(reader, start, visit);
}

const char* recordingKind(const IV_File_Reader& reader)
{
    // Device types 2 to 4 are the voltage receivers of different set-ups.
    switch (static_cast<int>(reader.getType())) {
    case 1: return "current receiver (IAB)";
    case 2: case 3: case 4: return "voltage receiver (VMN)";
    default: return "receiver";
    }
}

} // namespace ertkit_cli
