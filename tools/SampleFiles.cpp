#include "SampleFiles.h"

#include "AtomicOutput.h"

#include <writers/BinFileWriter.h>

#include <fmt/format.h>

#include <algorithm>
#include <ctime>

namespace ertkit_cli {

namespace {

using Array = SampleSurvey::Array;

HighPrecisionTime localTime(const HighPrecisionTime& utc)
{
    return utc + HighPrecisionTime::s_second * (3600 * s_sample_gmt_offset_hours);
}

// The injections of one array, in survey order.
std::vector<const SampleSurvey::Injection*> injectionsOf(const SampleSurvey& survey, Array array)
{
    std::vector<const SampleSurvey::Injection*> found;
    for (const auto& injection : survey.injections())
        if (injection.array == array) found.push_back(&injection);
    return found;
}

// Saves bytes made by `make` under a temporary name and renames them into place.
template <typename Write>
void saveAtomically(const std::filesystem::path& path, Write write)
{
    AtomicOutput output(path);
    write(output.temporaryPath().string());
    output.commit();
}

ertkit_writers::BinRecordFields binRecord(const SampleSurvey& survey, const SampleSurvey::Measure& m)
{
    const auto& injection = survey.injections()[m.injection];
    ertkit_writers::BinRecordFields f;
    f.pulse_duration_ms = SampleSurvey::s_pulse_ms;
    f.delay_ms = SampleSurvey::s_delay_ms;
    f.ignore = m.ignore ? 1 : 0;
    for (std::size_t e = 0; e < 4; ++e) {
        f.x[e] = static_cast<float>(m.positions[e].x);
        f.y[e] = static_cast<float>(m.positions[e].y);
        f.z[e] = static_cast<float>(m.positions[e].z);
    }
    f.spontaneous_potential = static_cast<float>(m.sp);
    f.polarization_voltage = static_cast<float>(m.vp);
    f.injected_current = static_cast<float>(injection.current);
    f.m = static_cast<float>(m.m);
    f.tm = {};
    f.window_m = {};
    for (std::size_t w = 0; w < SampleSurvey::s_window_ms.size(); ++w) {
        f.tm[w] = static_cast<float>(SampleSurvey::s_window_ms[w]);
        f.window_m[w] = static_cast<float>(m.window_m[w]);
    }
    f.channel_byte = static_cast<std::uint8_t>(m.channel);
    f.flags = static_cast<std::uint8_t>(0x04 | (m.overloaded ? 0x01 : 0x00)); // bit 2: not noisy
    const std::string source = "WENNER16.SEQ";
    std::copy_n(source.begin(), f.orig_file.size(), f.orig_file.begin());
    f.stack_stored = 2.0f * SampleSurvey::s_cycles - 2.0f; // stored two below the count
    f.rs_check = 1.8f;
    f.vab = 180.0f;
    f.tx_bat = 124.0f;
    f.rx_bat = 121.0f;
    f.temperature = 19.5f;
    f.start_time = HighPrecisionTime::convertDateTime(injection.start);
    f.i_index = 0;
    f.v_index = 1;
    return f;
}

void writeBin(const SampleSurvey& survey, const std::filesystem::path& path, const std::string& current_name,
              const std::string& voltage_name)
{
    ertkit_writers::BinFileContents contents;
    contents.header_text = "sample survey, line 1, Wenner";
    contents.folder = s_sample_stored_folder;
    contents.names = {current_name, voltage_name};
    for (const auto* injection : injectionsOf(survey, Array::Wenner))
        for (const std::size_t i : injection->measures) contents.records.push_back(binRecord(survey, survey.measures()[i]));
    saveAtomically(path, [&](const std::string& temporary) { ertkit_writers::BinFileWriter::write(temporary, contents); });
}

} // namespace

std::string sampleRecordingName(bool voltage, const HighPrecisionTime& utc_start)
{
    const std::time_t t = static_cast<std::time_t>(localTime(utc_start).toUnixSeconds());
    std::tm parts{};
    gmtime_r(&t, &parts);
    return fmt::format("{}{}-{}@{:02}{:02}{:02}_{:02}{:02}{:02}.{}", voltage ? "vp" : "in",
                       voltage ? s_sample_voltage_user_serial : s_sample_current_user_serial,
                       voltage ? s_sample_voltage_serial : s_sample_current_serial, parts.tm_mon + 1, parts.tm_mday,
                       parts.tm_year % 100, parts.tm_hour, parts.tm_min, parts.tm_sec, voltage ? "vmn" : "iab");
}

SampleFiles writeSampleFiles(const SampleSurvey& survey, const std::filesystem::path& folder, ProgressCallback& progress)
{
    std::filesystem::create_directories(folder);
    SampleFiles files;
    const auto wenner = injectionsOf(survey, Array::Wenner);
    progress.setRange(0, 1, 1);
    files.bin = "line1-wenner.bin";
    writeBin(survey, folder / files.bin, sampleRecordingName(false, wenner.front()->start),
             sampleRecordingName(true, wenner.front()->start));
    progress.step();
    return files;
}

} // namespace ertkit_cli
