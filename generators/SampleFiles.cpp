#include <generators/SampleFiles.h>

#include <generators/ReciprocalSurvey.h>
#include <generators/SampleTruth.h>

#include <services/AtomicOutput.h>
#include <services/WindowTimes.h>

#include <binx/BINX_Data.h>
#include <sim/FullWavePageWriter.h>
#include <writers/BinFileWriter.h>
#include <writers/BinxFileBuilder.h>

#include <fmt/format.h>

#include <algorithm>
#include <ctime>
#include <fstream>

namespace ertkit::generators {

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

// Lets `write` make the file under a temporary name, then renames it into place.
template <typename Write>
void saveAtomically(const std::filesystem::path& path, Write write)
{
    AtomicOutput output(path);
    write(output.temporaryPath().string());
    output.commit();
}

// The rank of an injection among those of its array.
std::size_t rankInArray(const SampleSurvey& survey, std::size_t injection)
{
    std::size_t rank = 0;
    for (std::size_t i = 0; i < injection; ++i)
        if (survey.injections()[i].array == survey.injections()[injection].array) ++rank;
    return rank;
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
    f.stack_stored = static_cast<float>(m.stacks) - 2.0f; // stored two below the count
    f.rs_check = 1.8f;
    f.vab = 180.0f;
    f.tx_bat = 124.0f;
    f.rx_bat = 121.0f;
    f.temperature = 19.5f;
    f.start_time = HighPrecisionTime::convertDateTime(injection.start);
    // Each injection's pair of names, in survey order (writeBin).
    f.i_index = static_cast<std::int16_t>(2 * rankInArray(survey, m.injection));
    f.v_index = static_cast<std::int16_t>(f.i_index + 1);
    return f;
}

void writeBin(const SampleSurvey& survey, const std::filesystem::path& path)
{
    ertkit_writers::BinFileContents contents;
    contents.header_text = "sample survey, line 1, Wenner";
    contents.folder = s_sample_stored_folder;
    contents.names.clear();
    for (const auto* injection : injectionsOf(survey, Array::Wenner)) {
        contents.names.push_back(sampleRecordingName(false, injection->start));
        contents.names.push_back(sampleRecordingName(true, injection->start));
    }
    for (const auto* injection : injectionsOf(survey, Array::Wenner))
        for (const std::size_t i : injection->measures) contents.records.push_back(binRecord(survey, survey.measures()[i]));
    saveAtomically(path, [&](const std::string& temporary) { ertkit_writers::BinFileWriter::write(temporary, contents); });
}

// The receiver set-up of one injection: its current electrodes in rows 0 and 1 of the
// position table, its chain of potential electrodes after them.
ertkit_sim::ReceiverSetup receiverSetup(const SampleSurvey& survey, const SampleSurvey::Injection& injection, bool voltage)
{
    ertkit_sim::ReceiverSetup setup;
    setup.n_channel = voltage ? static_cast<std::uint32_t>(injection.chain.size() - 1) : 1;
    setup.gmt_offset = static_cast<float>(s_sample_gmt_offset_hours);
    setup.in_rx = static_cast<float>(injection.current / 1000.0);
    setup.bat = voltage ? 121 : 124;
    setup.temp = voltage ? 24 : 31;
    std::array<std::pair<float, float>, 13> table{};
    const auto at = [&](int electrode) {
        const ElectrodePoint p = survey.electrode(electrode);
        return std::pair<float, float>(static_cast<float>(p.x), static_cast<float>(p.y));
    };
    table[0] = at(injection.a);
    table[1] = at(injection.b);
    for (std::size_t i = 0; i < injection.chain.size() && i + 2 < table.size(); ++i) table[i + 2] = at(injection.chain[i]);
    setup.electrodes = table;
    return setup;
}

// One recording per receiver and array: a start per injection, its samples numbered from 0.
void writeRecording(const SampleSurvey& survey, Array array, bool voltage, const std::filesystem::path& path, ProgressCallback& progress)
{
    const std::uint32_t samples = survey.sampleCount();
    ertkit_sim::FullWavePageWriter writer;
    for (const auto* injection : injectionsOf(survey, array)) {
        const ertkit_sim::ReceiverSetup setup = receiverSetup(survey, *injection, voltage);
        // Pages carry local time; the reader places a start one second before its page date.
        const auto date = static_cast<std::int32_t>(localTime(injection->start).toUnixSeconds() + 1);
        writer.configPage(date, setup);
        writer.dataPages(date, setup.n_channel, 0, samples, [&](std::uint32_t k, std::uint32_t c) {
            return voltage ? survey.voltage(survey.measures()[injection->measures[c]], k) : survey.current(*injection, k);
        });
        progress.step();
    }
    AtomicOutput output(path);
    output.stream().write(reinterpret_cast<const char*>(writer.bytes().data()), static_cast<std::streamsize>(writer.bytes().size()));
    output.commit();
}

// Where a reading's recordings stand in the BINX file's list of names.
struct RecordingIndexes {
    std::uint32_t voltage;
    std::uint32_t current;
};

BINX_Data binxRecord(const SampleSurvey& survey, std::size_t index, RecordingIndexes recordings, const std::string& voltage_name)
{
    const SampleSurvey::Measure& m = survey.measures()[index];
    const auto& injection = survey.injections()[m.injection];
    BINX_Data r;
    r.resultId = index + 1;
    r.startTimeV = r.startTimeI = HighPrecisionTime::convertDateTime(injection.start);
    r.origFile = voltage_name;
    r.seqFile = "line1-dd-wenner.seq";
    r.keyText1 = "line 1";
    r.keyText2 = SampleSurvey::arrayName(injection.array);
    r.vmnPathIndex = recordings.voltage;
    r.iabPathIndex = recordings.current;
    r.spontaneousPotential = m.sp;
    r.polarizationVoltage = m.vp;
    r.injectedCurrent = injection.current;
    r.ip = m.m;
    r.setMppx(std::vector<double>(m.window_m.begin(), m.window_m.end()));
    r.polarizationVoltageDeviation = m.vp_deviation;
    r.ipDeviation = m.m_deviation;
    r.rsCheck = 1.8;
    r.nStack = m.stacks;
    r.stackMin = 2;
    r.stackMax = std::max(8u, m.stacks);
    // Microvolts, positive for a positive Vp.
    const float sign = m.vp < 0.0 ? -1.0f : 1.0f;
    for (std::size_t i = 0; i < m.stack.size() && i < r.stackData.size(); ++i) r.stackData[i] = sign * m.stack[i] * 1000.0f;
    r.pulseDurationMs = SampleSurvey::s_pulse_ms;
    r.vDelay = 1000; // Vp from sample 100 (1 s) of the pulse, as the meter read it
    r.samplingRateCode = BINX_Data::SR_10MS;
    std::vector<double> bounds_ms{SampleSurvey::s_delay_ms};
    for (const int width : SampleSurvey::s_window_ms) bounds_ms.push_back(bounds_ms.back() + width);
    writeWindowTimes(r, bounds_ms);
    r.injectionCode = 0; // +, off, -, off
    r.overload = m.overloaded ? 1 : 0;
    r.chanV = static_cast<std::int32_t>(m.channel);
    r.vab = 180.0f;
    r.vabMaxTx = 400.0;
    r.txCurrent = static_cast<float>(injection.current);
    r.txBat = 12.4f;
    r.txTemp = 31.0f;
    r.rxBat = 12.1f;
    r.rxTemp = 24.0f;
    r.serialNumberV = s_sample_voltage_serial;
    r.userSerialNumberV = s_sample_voltage_user_serial;
    r.serialNumberI = s_sample_current_serial;
    r.userSerialNumberI = s_sample_current_user_serial;
    r.gmtOffset = 3600 * s_sample_gmt_offset_hours;
    r.quadripoleMeasured = static_cast<std::int32_t>(index + 1);
    r.nQuadripole = static_cast<std::int32_t>(survey.measures().size());
    r.nElectrode = survey.electrodeCount();
    r.firstElectrodeId = 1;
    r.lastElectrodeId = survey.electrodeCount();
    r.spacing = survey.spacing();
    r.ppsFlag1 = r.ppsFlag2 = 1;
    r.m_trigSyncChannel = 1; // not noisy
    r.ignore = m.ignore ? 1 : 0;
    for (std::size_t e = 0; e < 4; ++e) {
        const auto name = static_cast<ElectrodeName>(e);
        r.quadrupole.setXYZ(name, m.positions[e].x, m.positions[e].y, m.positions[e].z);
        r.quadrupole.setGeoSpec(name, BINX_GeoSpec(0, GeoSpec::LAYOUT_ROW, 0, 0, static_cast<unsigned int>(m.electrodes[e] + 1), false));
    }
    return r;
}

// The header and name lists come from the file builder; the records from the library's own
// record writer, appended to the same stream.
void writeBinx(const SampleSurvey& survey, const std::filesystem::path& path, const std::vector<std::string>& names)
{
    ertkit_writers::BinxFileBuilder header;
    header.header_text = "sample survey, line 1";
    header.folder = s_sample_stored_folder;
    header.recordings = names;
    header.record_count = static_cast<std::uint32_t>(survey.measures().size());
    AtomicOutput output(path);
    std::ostream& out = output.stream();
    const ertkit_writers::Bytes bytes = header.build();
    out.write(reinterpret_cast<const char*>(bytes.data().data()), static_cast<std::streamsize>(bytes.size()));
    for (std::size_t i = 0; i < survey.measures().size(); ++i) {
        const auto array = survey.injections()[survey.measures()[i].injection].array;
        const RecordingIndexes indexes = array == Array::DipoleDipole ? RecordingIndexes{0, 1} : RecordingIndexes{2, 3};
        binxRecord(survey, i, indexes, names[indexes.voltage]).writeToFile(out);
    }
    output.commit();
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
    const auto dipoles = injectionsOf(survey, Array::DipoleDipole);
    const auto wenner = injectionsOf(survey, Array::Wenner);
    progress.setRange(0, static_cast<unsigned int>(2 * survey.injections().size() + 2), 1);
    const std::vector<std::string> names{sampleRecordingName(true, dipoles.front()->start), sampleRecordingName(false, dipoles.front()->start),
                                         sampleRecordingName(true, wenner.front()->start), sampleRecordingName(false, wenner.front()->start)};
    for (std::size_t i = 0; i < names.size(); ++i) {
        writeRecording(survey, i < 2 ? Array::DipoleDipole : Array::Wenner, i % 2 == 0, folder / names[i], progress);
        files.recordings.push_back(names[i]);
    }
    files.binx = "line1.binx";
    writeBinx(survey, folder / files.binx, names);
    progress.step();
    files.bin = "line1-wenner.bin";
    writeBin(survey, folder / files.bin);
    progress.step();
    ReciprocalSurveySettings reciprocal;
    reciprocal.seed = survey.seed();
    reciprocal.electrodes = std::max(survey.electrodeCount(), 12);
    reciprocal.spacing = survey.spacing();
    files.reciprocal = "line1-reciprocal.binx";
    files.reciprocal_truth = "line1-reciprocal-truth.csv";
    writeReciprocalSurvey(makeReciprocalSurvey(reciprocal), folder / files.reciprocal, folder / files.reciprocal_truth);
    if (survey.noise()) {
        const SampleTruthFiles truth = writeSampleTruth(survey, folder, std::filesystem::path(files.binx).stem().string());
        files.decay_truth = truth.decay;
        files.clean_stacks = truth.stacks;
        files.noise = truth.noise;
    }
    return files;
}

} // namespace ertkit::generators
