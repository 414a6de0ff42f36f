#include "RecordingInfo.h"

#include "RecordingSamples.h"
#include "TimeText.h"

#include <fmt/ostream.h>

#include <vector>

namespace ertkit_cli {

namespace {

struct StartCounts {
    std::vector<std::uint64_t> overloads;
    std::uint64_t pps = 0;
};

StartCounts countFlags(const IV_File_Reader& reader, std::uint64_t start)
{
    StartCounts counts;
    forEachSample(reader, start, [&](const Sample& sample) {
        if (counts.overloads.size() < sample.channels) counts.overloads.resize(sample.channels, 0);
        for (unsigned int c = 0; c < sample.channels; ++c) counts.overloads[c] += sample.overloaded(c) ? 1 : 0;
        counts.pps += sample.pps ? 1 : 0;
    });
    return counts;
}

// One table row per start; the channels that overloaded are listed after the table.
std::string printStart(const IV_File_Reader& reader, std::uint64_t start, std::ostream& out)
{
    const std::uint64_t samples = reader.getNsample(start);
    const double duration = seconds(reader.getSampleTime(start)) * static_cast<double>(samples);
    const StartCounts counts = countFlags(reader, start);
    std::uint64_t overloaded = 0;
    std::string per_channel;
    for (std::size_t c = 0; c < counts.overloads.size(); ++c) {
        overloaded += counts.overloads[c];
        if (counts.overloads[c] != 0) per_channel += fmt::format("{}ch{} {}", per_channel.empty() ? "" : ", ", c, counts.overloads[c]);
    }
    fmt::print(out, "  {:>5} {:>8} {:>8} {:>9.2f} s  {}  {:>9} {:>5} {:>7.1f} V {:>5} °C\n", start, reader.getNChannels(start),
               samples, duration, isoTime(reader.getStartTime(start), "Z"), overloaded, counts.pps, reader.getRxBat(start),
               reader.getRxTemp(start));
    return per_channel.empty() ? std::string() : fmt::format("  start {}: overloaded samples on {}\n", start, per_channel);
}

} // namespace

void printRecordingInfo(const IV_File_Reader& reader, const std::string& name, std::ostream& out)
{
    fmt::print(out, "{}\n", name);
    fmt::print(out, "  format          {} recording, {}\n", reader.getTypeName(), recordingKind(reader));
    fmt::print(out, "  serial number   {} (user serial {})\n", reader.getSerialNumber(), reader.getUserSerialNumber());
    fmt::print(out, "  starts          {}\n", reader.getNStarts());
    if (reader.getNStarts() == 0) return;
    fmt::print(out, "  sample period   {} ms, samples in {}\n", seconds(reader.getSampleTime(0)) * 1000.0, sampleUnit(reader));
    fmt::print(out, "  {:>5} {:>8} {:>8} {:>11}  {:<24}  {:>9} {:>5} {:>9} {:>8}\n", "start", "channels", "samples", "duration",
               "start time (UTC)", "overloads", "PPS", "battery", "temp.");
    std::string notes;
    for (std::uint64_t start = 0; start < reader.getNStarts(); ++start) notes += printStart(reader, start, out);
    out << notes;
}

} // namespace ertkit_cli
