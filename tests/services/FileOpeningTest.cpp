#include "support/BinxRecordBuilder.h"

#include <services/FileOpening.h>
#include <services/ResultValues.h>

#include <host/Registry.h>
#include <writers/FullWavePages.h>

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace ertkit;
using ertkit_test::LogCapture;
using ertkit_test::ProgressLog;

TEST(FileFormats, OneTableNamesTheFormatsAndTheReadersExtensions)
{
    const std::pair<const char*, std::optional<FileFormat>> kinds[] = {
        {"vmn", FileFormat::Vmn}, {".IAB", FileFormat::Iab}, {"Irw", FileFormat::Iab}, {".vrw", FileFormat::Vmn},
        {"binx", FileFormat::Binx}, {".BIN", FileFormat::Bin}, {"csv", std::nullopt}, {"", std::nullopt}, {"..bin", std::nullopt},
    };
    for (const auto& [kind, format] : kinds) EXPECT_EQ(formatOfExtension(kind), format) << kind;
    const std::pair<const char*, std::optional<FileKind>> paths[] = {
        {"a.vmn", FileKind::Recording}, {"a.IAB", FileKind::Recording}, {"dir/a.vrw", FileKind::Recording},
        {"a.Irw", FileKind::Recording}, {"a.binx", FileKind::Results},   {"dir.binx/a.bin", FileKind::Results},
        {"a.txt", std::nullopt},        {"vrw", std::nullopt},           {"", std::nullopt},
    };
    for (const auto& [path, kind] : paths) EXPECT_EQ(fileKind(path), kind) << path;
    EXPECT_EQ(formatOfName("a.binx"), FileFormat::Binx);
    EXPECT_EQ(extensionChoices(true), ".iab, .vmn, .irw, .vrw, .binx or .bin");
    EXPECT_EQ(extensionChoices(false), "iab, vmn, irw, vrw, binx or bin");

    // Every extension a reader registered is in the table, as the format of that reader's kind;
    // the listing adds the raw forms to the recordings' reader.
    for (const FileKind kind : {FileKind::Recording, FileKind::Results}) {
        const auto registered = kind == FileKind::Recording ? host::registry().fileReaders() : host::registry().resultReaders();
        for (const auto& registration : registered)
            for (const auto& extension : registration.extensions) EXPECT_EQ(fileKind("a" + extension), kind) << extension;
    }
    const auto recordings = readers(FileKind::Recording);
    ASSERT_EQ(recordings.size(), 1u);
    EXPECT_EQ(recordings[0].extensions, (std::vector<std::string>{".iab", ".vmn", ".irw", ".vrw"}));
}

std::string recordingBytes()
{
    ertkit_writers::ConfigFields config;
    config.n_channel = 2;
    return ertkit_writers::RecordingBuilder().start(config, 0, 10, [](std::uint32_t k, unsigned int) { return float(k); }).str();
}

std::string binxBytes(std::uint32_t announced)
{
    ertkit_test::BinxFileBuilder file;
    for (int seed = 1; seed <= 2; ++seed) ertkit_test::addRecord(file, ertkit_test::sampleBinxRecord(seed));
    file.record_count = announced;
    const ertkit_writers::Bytes bytes = file.build();
    return std::string(bytes.data().begin(), bytes.data().end());
}

// What opening bytes as a recording under a name gives: its serial numbers, or the failure.
std::string openedAs(const std::string& bytes, const std::string& name, FileFormat format, bool named)
{
    std::istringstream in(bytes);
    ProgressLog progress;
    try {
        const OpenedFile opened = openFile({in, name, format, named}, progress);
        const auto& recording = *std::get<std::unique_ptr<IAB_VMN_File>>(opened.reader);
        return std::to_string(recording.getSerialNumber()) + "-" + std::to_string(recording.getUserSerialNumber()) + (recording.get_is_vmn() ? " vmn" : " iab");
    } catch (const std::exception& e) {
        return e.what();
    }
}

TEST(FileOpening, BytesOpenAsTheirNameOrKindSays)
{
    const std::string recording = recordingBytes();
    const std::string malformed =
        "malformed recording name: a serial number or the date after '@' is not a number (expected for example vp123-4567@120523_143015.vmn)";
    const struct {
        std::string bytes, name;
        FileFormat format;
        bool named;
        std::string expected;
    } cases[] = {
        {recording, "d/vp12-345@120523_143015.vmn", FileFormat::Vmn, true, "345-12 vmn"},
        {recording, "d/vp12-345@120523_143015.vmn", FileFormat::Iab, false, "345-12 iab"},
        {recording, "vpx2-345@120523_143015.vmn", FileFormat::Vmn, true, malformed},
        {recording, "vpx2-345@120523_143015.vmn", FileFormat::Vmn, false, "0-0 vmn"}, // a kind: the name only helps
        {recording, "", FileFormat::Iab, false, "0-0 iab"},
        {binxBytes(2), "vp1-2@120523_143015.vmn", FileFormat::Vmn, true,
         "its content is a BINX result file, not a recording as its extension says (name it .binx to read it)"},
        {"", "vp1-2@120523_143015.vmn", FileFormat::Vmn, true, "shorter than one page: not a recording (cannot read file)"},
    };
    for (const auto& c : cases) EXPECT_EQ(openedAs(c.bytes, c.name, c.format, c.named), c.expected) << c.name;
}

TEST(FileOpening, ABinxFileCutShortWarnsWhereItEnds)
{
    for (const std::string name : {"d/a.binx", ""}) {
        LogCapture log;
        std::istringstream in(binxBytes(5));
        ProgressLog progress;
        const OpenedFile opened = openFile({in, name, FileFormat::Binx}, progress);
        EXPECT_EQ(std::get<std::unique_ptr<BINX_File>>(opened.reader)->getDatas().size(), 2u);
        EXPECT_EQ(log.lines(VELTLogger::Level::Warning),
                  std::vector<std::string>{(name.empty() ? "the bytes" : name) +
                                           ": the file ends (or is damaged) in record 3 of the 5 its header announces: 2 records read"});
    }
}

TEST(ResultValues, TableTimesRoundToTheNearestMillisecond)
{
    const HighPrecisionTime second = HighPrecisionTime::convertDateTime(45000.5);
    const std::pair<std::int64_t, std::int64_t> cases[] = {{0, 0}, {499999, 0}, {500000, 1000000}, {-1, 0}, {-500001, -1000000}, {1999999, 2000000}};
    for (const auto& [offset, rounded] : cases)
        EXPECT_EQ(tableTime(second + HighPrecisionTime::fromTicks(offset)), second + HighPrecisionTime::fromTicks(rounded)) << offset;
    EXPECT_FALSE(tableTime(HighPrecisionTime::convertDateTime(0.0)));
}

} // namespace
