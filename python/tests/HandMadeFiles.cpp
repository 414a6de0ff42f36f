// The files the Python tests need that the sample survey does not hold: odd records, damaged
// files and small recordings of known samples, written into the folder given by the C++
// writers the C++ tests use. The tests know the values from the rules stated here: a
// recording's sample k of channel c is squareWave(k, c) unless said otherwise.

#include <writers/BinFileWriter.h>
#include <writers/FullWavePages.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace ertkit_writers;

// +amplitude / (c + 1) for 100 samples, then the opposite, plus 0.25 c.
float squareWave(std::uint32_t k, unsigned int c, float amplitude = 120.0f)
{
    const float sign = (k / 100) % 2 == 0 ? 1.0f : -1.0f;
    return sign * amplitude / static_cast<float>(c + 1) + 0.25f * static_cast<float>(c);
}

float zero(std::uint32_t, unsigned int)
{
    return 0.0f;
}

ConfigFields config(std::uint32_t channels)
{
    ConfigFields f;
    f.n_channel = channels;
    for (unsigned int row = 0; row < f.electrodes.size(); ++row) f.electrodes[row] = {5.0f * static_cast<float>(row), 0.0f};
    return f;
}

// Two starts: 300 samples of 3 channels numbered from 1, in a time zone 5.5 hours ahead, then
// 40 samples of 2 channels (amplitude 50) an hour later, on the half input range. The blocks
// whose number is a multiple of 100 carry the PPS.
void twoStarts(const std::filesystem::path& path)
{
    ConfigFields first = config(3);
    first.gmt_offset = 5.5f;
    first.bat = 118;
    first.temp = -4;
    first.config = 0x10000;
    ConfigFields second = config(2);
    second.date = 1700003600;
    second.input_voltage = 0;
    second.bat = 0;
    RecordingBuilder()
        .start(first, 1, 300, [](std::uint32_t k, unsigned int c) { return squareWave(k - 1, c); })
        .start(second, 0, 40, [](std::uint32_t k, unsigned int c) { return squareWave(k, c, 50.0f); })
        .save(path.string());
}

// Four samples of three channels, zero but 5000 on channel 0 of sample 1 and 7500 on channels
// 1 and 2 of sample 2: over the half input range only in the first case.
void overloads(const std::filesystem::path& folder)
{
    const auto value = [](std::uint32_t k, unsigned int c) { return k == 1 && c == 0 ? 5000.0f : k == 2 && c > 0 ? 7500.0f : 0.0f; };
    for (const std::int32_t input : {0, 1}) {
        ConfigFields f = config(3);
        f.input_voltage = input;
        RecordingBuilder().start(f, 0, 4, value).save((folder / ("in" + std::to_string(input + 1) + "@120523_143015.iab")).string());
    }
}

// Recordings the reader refuses, or reads with warnings.
void damagedRecordings(const std::filesystem::path& folder)
{
    const auto save = [&](const std::string& name, const RecordingBuilder& b) { b.save((folder / name).string()); };
    save("empty.vmn", RecordingBuilder());
    save("headless.vmn", RecordingBuilder().page(dataPage(0, 2, 3, zero)));
    save("late.vmn", RecordingBuilder().page(configPage(config(3))).page(dataPage(5, 2, 3, zero)));
    save("back.vmn", RecordingBuilder().page(configPage(config(3))).page(dataPage(0, 4, 3, zero)).page(dataPage(2, 2, 3, zero)));
    ConfigFields named = config(3);
    named.name = "HDR7";
    save("named.vmn", RecordingBuilder().page(configPage(named)).page(dataPage(0, 2, 3, zero)));
    save("lead.vmn", RecordingBuilder()
                         .page(dataPage(0, 2, 3, zero))
                         .page(configPage(config(3)))
                         .page(dataPage(0, 2, 3, [](std::uint32_t, unsigned int) { return 1.0f; })));
}

void recordings(const std::filesystem::path& folder)
{
    twoStarts(folder / "vp123-4567@120523_143015.vmn");
    overloads(folder);
    damagedRecordings(folder);
    RecordingBuilder().page(configPage(config(4))).save((folder / "x.iab").string());
    RecordingBuilder().start(config(2), 0, 10, [](std::uint32_t k, unsigned int c) { return squareWave(k, c); })
        .save((folder / "vp1-2@120523_143015.vrw").string());
    // A thousand pages of 32 samples: the reader reports progress every hundred pages.
    RecordingBuilder().start(config(3), 0, 32000, [](std::uint32_t k, unsigned int c) { return squareWave(k, c); })
        .save((folder / "long.vmn").string());
}

// The BIN record the tests start from: Wenner, a = 5 m, two windows after a 40 ms delay.
BinRecordFields binRecord()
{
    BinRecordFields r;
    r.disposition_code = 9;
    r.x = {0.0f, 15.0f, 5.0f, 10.0f};
    r.spontaneous_potential = -3.5f;
    r.polarization_voltage = 250.0f;
    r.injected_current = 100.0f;
    r.m = 12.5f;
    r.tm = {100.0f, 200.0f};
    r.window_m = {20.0f, 10.0f};
    r.channel_byte = 1;
    r.orig_file = {'O', 'R', 'I', 'G', '0', '0', '0', '1', '.', 'D', 'A', 'T'};
    r.gps_x = 4530.0f;
    r.gps_y = 120.0f;
    r.rs_check = 1.5f;
    r.vab = 400.0f;
    r.rx_bat = 118.0f;
    r.temperature = 21.0f;
    r.start_time = 45069.6;
    return r;
}

BinFileContents binFile(std::vector<BinRecordFields> records)
{
    BinFileContents f;
    f.header_text.clear();
    f.folder = "D:\\survey";
    f.names = {"in12-345@051723_143000.iab", "vp34-678@051723_143000.vmn"};
    f.records = std::move(records);
    return f;
}

// survey.bin: the record above; a pole-dipole one, ignored, with a chargeability of 9999 and a
// zero window between two others, timed six hours after the time in the recording names
// (2023-05-17 14:30:00, day 45063.6041667); one from 2023-03-15 12:00 with no stack stored.
// k.bin: quadrupoles of every kind of geometric factor, defined or not (electrodes that coincide,
// remote, on the equipotential), for the tool and Python to agree on.
void binFiles(const std::filesystem::path& folder)
{
    BinRecordFields pole_dipole = binRecord();
    pole_dipole.x = {0.0f, 9999999.0f, 10.0f, 20.0f};
    pole_dipole.polarization_voltage = -80.0f;
    pole_dipole.injected_current = 40.0f;
    pole_dipole.ignore = 1;
    pole_dipole.m = 9999.0f;
    pole_dipole.tm = {100.0f, 0.0f, 300.0f};
    pole_dipole.window_m = {7.0f, 0.0f, 5.0f};
    pole_dipole.start_time = 45063.0 + 14.5 / 24.0 + 0.25;
    BinRecordFields far_away = binRecord();
    far_away.start_time = 45000.5;
    far_away.stack_stored = 0.0f;
    const BinFileContents survey = binFile({binRecord(), pole_dipole, far_away});
    BinFileWriter::write((folder / "survey.bin").string(), survey);
    BinFileWriter::write((folder / "survey.dat").string(), survey);

    const float far = 9999998.0f;
    const std::array<std::array<float, 4>, 7> xs{{{0, 15, 5, 10}, {0, 5, 10, 15}, {0, 0, 5, 10}, {0, 15, 5, 5}, {0, 15, 0, 10}, {far, 9999999, 5, 10}, {0, 10, 5, 5}}};
    const std::array<std::array<float, 4>, 7> ys{{{}, {}, {0, -far, 0, 0}, {}, {}, {}, {0, 0, 3, -3}}};
    std::vector<BinRecordFields> quadrupoles;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        BinRecordFields r = binRecord();
        r.x = xs[i];
        r.y = ys[i];
        quadrupoles.push_back(r);
    }
    BinFileWriter::write((folder / "k.bin").string(), binFile(quadrupoles));

    BinFileContents old_version = binFile({});
    old_version.version = 0x80000003;
    BinFileWriter::write((folder / "old-version.bin").string(), old_version);
    BinFileContents old_header = binFile({});
    old_header.header_byte = 8;
    BinFileWriter::write((folder / "old-header.bin").string(), old_header);
    const Bytes whole = BinFileWriter::file(binFile({}));
    Bytes cut;
    cut.raw(whole.data().data(), 600);
    cut.save((folder / "short.bin").string());
    BinRecordFields damaged = binRecord();
    damaged.version = 2;
    BinFileWriter::write((folder / "damaged.bin").string(), binFile({binRecord(), damaged, binRecord()}));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    try {
        const std::filesystem::path folder = argv[1];
        std::filesystem::create_directories(folder);
        recordings(folder);
        binFiles(folder);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
