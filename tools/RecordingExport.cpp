#include "RecordingExport.h"

#include "NumberText.h"
#include "RecordingSamples.h"
#include "TimeText.h"

#include <algorithm>
#include <ostream>
#include <stdexcept>

namespace ertkit_cli {

namespace {

constexpr std::uint64_t s_progress_every = 4096;

std::uint64_t widestStart(const IV_File_Reader& reader)
{
    std::uint64_t channels = 0;
    for (std::uint64_t s = 0; s < reader.getNStarts(); ++s) channels = std::max(channels, reader.getNChannels(s));
    return std::min<std::uint64_t>(channels, Sample::s_max_channels);
}

std::uint64_t totalSamples(const IV_File_Reader& reader)
{
    std::uint64_t total = 0;
    for (std::uint64_t s = 0; s < reader.getNStarts(); ++s) total += reader.getNsample(s);
    return total;
}

// Writes rows through one reused buffer, and reports how far it has come.
class RowWriter {
public:
    RowWriter(std::ostream& out, ProgressCallback& progress, std::uint64_t total) : m_out(out), m_progress(progress)
    {
        m_progress.setRange(0, static_cast<unsigned int>(std::min<std::uint64_t>(total, 0xFFFFFFFFu)), 1);
    }
    fmt::memory_buffer& buffer() { return m_buffer; }
    void flushRow()
    {
        m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        m_buffer.clear();
        if (++m_rows % s_progress_every == 0) m_progress.setPosition(static_cast<unsigned int>(m_rows));
    }

private:
    std::ostream& m_out;
    ProgressCallback& m_progress;
    fmt::memory_buffer m_buffer;
    std::uint64_t m_rows = 0;
};

void writeCsv(const IV_File_Reader& reader, std::ostream& out, RowWriter& rows)
{
    const std::uint64_t channels = widestStart(reader);
    auto& b = rows.buffer();
    fmt::format_to(std::back_inserter(b), "start,sample,time,t_s");
    for (std::uint64_t c = 0; c < channels; ++c) fmt::format_to(std::back_inserter(b), ",ch{}_{}", c, sampleUnit(reader));
    for (std::uint64_t c = 0; c < channels; ++c) fmt::format_to(std::back_inserter(b), ",overload{}", c);
    fmt::format_to(std::back_inserter(b), ",pps\n");
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    b.clear();
    for (std::uint64_t start = 0; start < reader.getNStarts(); ++start) {
        const HighPrecisionTime t0 = reader.getStartTime(start);
        const HighPrecisionTime period = reader.getSampleTime(start);
        forEachSample(reader, start, [&](const Sample& sample) {
            const HighPrecisionTime offset = period * static_cast<std::int64_t>(sample.index);
            fmt::format_to(std::back_inserter(b), "{},{},{},{}", start, sample.index, isoTime(t0 + offset, "Z"), seconds(offset));
            for (unsigned int c = 0; c < channels; ++c) {
                b.push_back(',');
                if (c < sample.channels) appendNumber(b, sample.values[c], false);
            }
            for (unsigned int c = 0; c < channels; ++c) {
                b.push_back(',');
                if (c < sample.channels) b.push_back(sample.overloaded(c) ? '1' : '0');
            }
            fmt::format_to(std::back_inserter(b), ",{:d}\n", sample.pps);
            rows.flushRow();
        });
    }
}

void writeJson(const IV_File_Reader& reader, const std::string& name, std::ostream& out, RowWriter& rows)
{
    auto& b = rows.buffer();
    fmt::format_to(std::back_inserter(b), "{{\n  \"file\": {},\n  \"type\": {},\n  \"kind\": {},\n", jsonText(name),
                   jsonText(reader.getTypeName()), jsonText(recordingKind(reader)));
    fmt::format_to(std::back_inserter(b), "  \"serial\": {},\n  \"user_serial\": {},\n  \"unit\": \"{}\",\n  \"starts\": [",
                   reader.getSerialNumber(), reader.getUserSerialNumber(), sampleUnit(reader));
    for (std::uint64_t start = 0; start < reader.getNStarts(); ++start) {
        const HighPrecisionTime period = reader.getSampleTime(start);
        fmt::format_to(std::back_inserter(b),
                       "{}\n    {{\"start\": {}, \"channels\": {}, \"samples\": {}, \"sample_period_s\": {}, \"start_time\": \"{}\",\n"
                       "     \"data\": [",
                       start == 0 ? "" : ",", start, reader.getNChannels(start), reader.getNsample(start), seconds(period),
                       isoTime(reader.getStartTime(start), "Z"));
        forEachSample(reader, start, [&](const Sample& sample) {
            fmt::format_to(std::back_inserter(b), "{}\n      {{\"sample\": {}, \"t_s\": {}, \"values\": [", sample.index == 0 ? "" : ",",
                           sample.index, seconds(period * static_cast<std::int64_t>(sample.index)));
            for (unsigned int c = 0; c < sample.channels; ++c) {
                if (c != 0) b.push_back(',');
                appendNumber(b, sample.values[c], true);
            }
            fmt::format_to(std::back_inserter(b), "], \"overload\": [");
            for (unsigned int c = 0; c < sample.channels; ++c) fmt::format_to(std::back_inserter(b), "{}{}", c == 0 ? "" : ",", sample.overloaded(c));
            fmt::format_to(std::back_inserter(b), "], \"pps\": {}}}", sample.pps);
            rows.flushRow();
        });
        fmt::format_to(std::back_inserter(b), "]}}");
    }
    fmt::format_to(std::back_inserter(b), "\n  ]\n}}\n");
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    b.clear();
}

} // namespace

void exportRecording(const IV_File_Reader& reader, const std::string& name, TableFormat format, std::ostream& out,
                     ProgressCallback& progress)
{
    if (inversionFormat(format)) throw std::invalid_argument("the udf and general-array formats hold result files only, not recordings");
    RowWriter rows(out, progress, totalSamples(reader));
    if (format == TableFormat::Csv)
        writeCsv(reader, out, rows);
    else
        writeJson(reader, name, out, rows);
}

} // namespace ertkit_cli
