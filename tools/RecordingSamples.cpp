#include "RecordingSamples.h"

#include <fullwave/IAB_VMN_File.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace ertkit_cli {

namespace {

void walkPages(const IAB_VMN_File& file, std::uint64_t start, const std::function<void(const Sample&)>& visit)
{
    const auto channels = static_cast<unsigned int>(std::min<std::uint64_t>(file.getNChannels(start), Sample::s_max_channels));
    Sample sample;
    sample.channels = channels;
    for (std::uint64_t page = 0; page < file.getNData(start); ++page) {
        for (const IAB_VMN_PageData& block : file.getData(start, page).getData()) {
            sample.overloads = 0;
            for (unsigned int c = 0; c < channels; ++c) {
                sample.values[c] = block.get_value(c);
                if (block.get_overload(c)) sample.overloads |= static_cast<std::uint16_t>(1u << c);
            }
            sample.pps = block.get_has_PPS();
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
        walkPages(*file, start, visit);
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

const char* sampleUnit(const IV_File_Reader& reader)
{
    return reader.getType() == DeviceType_t::CurrentReceiver ? "mA" : "mV";
}

} // namespace ertkit_cli
