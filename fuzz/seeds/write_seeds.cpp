// Writes the seed corpus of every fuzz target into the folder given on the command line.

#include "support/BinxRecordBuilder.h"
#include <writers/FullWavePages.h>
#include "support/TestSupport.h"

#include <sim/MeterMemory.h>
#include <sim/MeterStream.h>
#include <writers/BinFileWriter.h>

#include <filesystem>
#include <iostream>

using namespace ertkit_test;
using namespace ertkit_writers;

namespace {

void writeSeed(const std::filesystem::path& folder, const std::string& name, std::uint8_t mode, const std::vector<std::uint8_t>& body)
{
    std::filesystem::create_directories(folder);
    std::vector<std::uint8_t> bytes{mode};
    bytes.insert(bytes.end(), body.begin(), body.end());
    writeFile((folder / name).string(), bytes);
}

void fullwaveSeeds(const std::filesystem::path& folder)
{
    auto value = [](std::uint32_t s, unsigned int c) { return static_cast<float>(s % 50) * (c % 2 ? 1.0f : -300.0f); };
    ConfigFields f;
    RecordingBuilder small;
    small.start(f, 0, 70, value);
    writeSeed(folder, "iab", 0, small.data());
    writeSeed(folder, "vmn", 2, small.data());
    RecordingBuilder gaps;
    ConfigFields four = f;
    four.n_channel = 4;
    four.name = "HDR7";
    gaps.page(otherPage('R', "RAW")).start(four, 1, 30, value).page(dataPage(40, 5, 4, value)).page(otherPage('U', "M")).bytes(77);
    writeSeed(folder, "gaps", 2, gaps.data());
    const std::string name = "C:\\dat\\f4567dat\\vp123-4567@120523_143015.vmn";
    writeSeed(folder, "name", 1, std::vector<std::uint8_t>(name.begin(), name.end()));
}

void binSeeds(const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder);
    BinFileContents contents;
    contents.records.resize(3);
    contents.records[1].tm = {100.0f, -5.0f, 200.0f};
    contents.records[2].start_time = 45265.6;
    BinFileWriter::write((folder / "three").string(), contents);
    contents.names = {"f4567dat\\in12@120523_143015.irw"};
    contents.records.resize(1);
    contents.records[0].v_index = 0;
    BinFileWriter::write((folder / "wrong-kind").string(), contents);
}

void binxSeeds(const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder);
    for (int version : {0, 1, 2, 5, 8, 10, 12, 14, 16}) {
        BinxFileBuilder builder;
        builder.version = version < 6 ? 5 : 6;
        builder.recordings = {"in123@120523_143015.iab", "vp123-4567@120523_143015.vmn", "x.iab"};
        builder.projects = {"project"};
        addRecord(addRecord(builder, sampleBinxRecord(version), version), sampleBinxRecord(version + 100), version);
        writeFile((folder / ("v" + std::to_string(version))).string(), builder.build().data());
    }
}

void rawImportSeeds(const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder);
    writeFile((folder / "voltage").string(), ertkit_sim::MeterMemory::rawTransfer(true, 3).raw);
    writeFile((folder / "current").string(), ertkit_sim::MeterMemory::rawTransfer(false, 2).raw);
}

// The download target's input: first index (2 bytes), span, choice byte, then the meter's bytes.
void writeDownloadSeed(const std::filesystem::path& folder, const std::string& name, std::uint16_t first,
                       std::uint8_t span, const std::vector<std::uint8_t>& stream)
{
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(first >> 8), span, 0};
    bytes.insert(bytes.end(), stream.begin(), stream.end());
    writeFile((folder / name).string(), bytes);
}

void downloadSeeds(const std::filesystem::path& folder)
{
    using ertkit_sim::MeterMemory;
    std::filesystem::create_directories(folder);
    writeDownloadSeed(folder, "records-v1", 0, 3, ertkit_sim::meterStream(MeterMemory::records(1, 4, 3), 0, 3));
    writeDownloadSeed(folder, "records-v2", 1, 2, ertkit_sim::meterStream(MeterMemory::records(2, 4), 1, 3));
    writeDownloadSeed(folder, "records-v3", 0, 3, ertkit_sim::meterStream(MeterMemory::records(3, 4, 2), 0, 3));
    writeDownloadSeed(folder, "raw-voltage", 0, 2, ertkit_sim::meterStream(MeterMemory::rawTransfer(true, 2), 0, 2));
    writeDownloadSeed(folder, "raw-current", 0, 1, ertkit_sim::meterStream(MeterMemory::rawTransfer(false, 1), 0, 1));
    // A first copy with a wrong checksum, asked for again and then accepted.
    const MeterMemory memory = MeterMemory::records(2, 1);
    std::vector<std::uint8_t> retry = ertkit_sim::handshakeBytes(memory.version, memory.sizeWord());
    std::vector<std::uint8_t> slot = ertkit_sim::slotBytes(memory, memory.version, 0);
    retry.insert(retry.end(), slot.begin(), slot.end());
    retry.back() ^= 0x01;
    retry.insert(retry.end(), slot.begin(), slot.end());
    writeDownloadSeed(folder, "retry-v2", 0, 0, retry);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: ertkit_fuzz_seeds FOLDER\n";
        return 2;
    }
    const std::filesystem::path root = argv[1];
    fullwaveSeeds(root / "fuzz_fullwave");
    binSeeds(root / "fuzz_bin");
    binxSeeds(root / "fuzz_binx");
    rawImportSeeds(root / "fuzz_import_raw");
    downloadSeeds(root / "fuzz_download");
    return 0;
}
