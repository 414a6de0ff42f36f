#include <fullwave/IAB_VMN_File.h>
#include <host/Registry.h>

#include <writers/FullWavePages.h>
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using namespace ertkit_test;
using namespace ertkit_writers;

namespace {

float sampleValue(std::uint32_t s, unsigned int c)
{
    return static_cast<float>(s) + 0.25f * static_cast<float>(c);
}

IAB_VMN_File readStream(const RecordingBuilder& builder, bool is_vmn = true)
{
    std::istringstream stream(builder.str());
    return IAB_VMN_File(stream, 4567, 123, is_vmn);
}

} // namespace

TEST(Recording, AMovedReaderTakesTheStartsAndPagesAndLeavesAReaderWithoutStarts)
{
    ConfigFields f;
    RecordingBuilder builder;
    builder.start(f, 0, 32 * 3, sampleValue);
    IAB_VMN_File from = readStream(builder);
    const IAB_VMN_FileData* page = &from.getData(0, 1); // made before the move, kept by it
    IAB_VMN_File to(std::move(from));
    RecordingBuilder other;
    other.start(f, 0, 32, sampleValue);
    IAB_VMN_File assigned = readStream(other);
    assigned = std::move(to);
    for (const IAB_VMN_File* empty : {&from, &to}) {
        EXPECT_EQ(empty->getNStarts(), 0u);
        EXPECT_EQ(empty->getType(), DeviceType_t::VoltageReceiver);
        EXPECT_THROW(empty->getHeader(0), std::out_of_range);
        EXPECT_THROW(empty->getNData(0), std::out_of_range);
        EXPECT_THROW(empty->getData(0, 0), std::out_of_range);
        EXPECT_THROW(empty->getNsample(0), std::out_of_range);
    }
    ASSERT_EQ(assigned.getNStarts(), 1u);
    EXPECT_EQ(&assigned.getData(0, 1), page);
    std::vector<double> values;
    assigned.fillData(0, 1, values);
    ASSERT_EQ(values.size(), 96u);
    EXPECT_EQ(values.capacity(), values.size());
    EXPECT_EQ(values[40], 40.25);
}

TEST(Recording, GapInNumbersOpensAStartWithTheSameSetUp)
{
    ConfigFields f;
    f.gmt_offset = 5.5f;
    RecordingBuilder builder;
    builder.start(f, 1, 64, sampleValue).page(dataPage(70, 32, 3, sampleValue)).page(dataPage(102, 10, 3, sampleValue));
    const IAB_VMN_File file = readStream(builder);
    ASSERT_EQ(file.getNStarts(), 2u);
    EXPECT_EQ(file.getNsample(0), 64u);
    EXPECT_EQ(file.getNsample(1), 42u);
    EXPECT_EQ(file.getGmtOffset(1), 19800);
    EXPECT_EQ(file.getHeader(1).get_n_channel(), 3u);
    EXPECT_NE(&file.getHeader(0), &file.getHeader(1));
    // The second start begins at sample 70 of the same configuration page's date.
    EXPECT_EQ(file.getStartTime(1), file.getStartTime(0) + HighPrecisionTime::s_hundredth * 69);
}

TEST(Recording, WalkFailures)
{
    const ConfigFields standard;
    ConfigFields named = standard;
    named.name = "HDR7";
    const auto walk = [](const RecordingBuilder& builder) { return [&builder] { readStream(builder); }; };
    EXPECT_EQ(failure<std::runtime_error>(walk(RecordingBuilder())), "cannot read file");
    EXPECT_EQ(failure<std::runtime_error>(walk(RecordingBuilder().page(dataPage(0, 32, 3, sampleValue)))), "cannot read file first header");
    EXPECT_EQ(failure<std::logic_error>(walk(RecordingBuilder().page(configPage(named)).page(dataPage(0, 32, 3, sampleValue)))),
              "corrupted file : header and data are not related");
    // Numbering faults, with where they leave the stream: StreamPositionTest.
}

TEST(Recording, PagesBeforeTheFirstHeaderAndUnknownPagesAreSkipped)
{
    LogCapture log;
    ConfigFields f;
    RecordingBuilder builder;
    builder.page(dataPage(0, 32, 3, sampleValue)).page(dataPage(32, 32, 3, sampleValue));
    builder.start(f, 0, 32, sampleValue).page(otherPage('U', "MEASURE")).page(dataPage(32, 32, 3, sampleValue));
    builder.page(dataPage(64, 8, 2, sampleValue)); // another channel count: dropped without a word
    builder.page(dataPage(64, 8, 3, sampleValue));
    const IAB_VMN_File file = readStream(builder);
    EXPECT_EQ(log.lines(VELTLogger::Level::Warning),
              (std::vector<std::string>{"found page before first header", "found page before first header",
                                        "passed over a measure page (a measure's results, not samples), name=MEASURE"}));
    ASSERT_EQ(file.getNStarts(), 1u);
    EXPECT_EQ(file.getNsample(0), 72u);
}

TEST(Recording, ProgressAndCancellation)
{
    ConfigFields f;
    RecordingBuilder builder;
    builder.start(f, 0, 32 * 250, sampleValue); // 251 pages
    {
        ProgressLog progress;
        std::istringstream stream(builder.str());
        const IAB_VMN_File file(stream, 1, 2, false, progress);
        EXPECT_EQ(progress.calls, (std::vector<std::string>{"text 1", "range 10000 0 1", "position 0", "step", "step"}));
        EXPECT_EQ(file.getNsample(0), 8000u);
        EXPECT_EQ(file.getPath(), "1-2.iab");
    }
    // A stop within the pages: StreamPositionTest.
    {
        ProgressLog progress(1);
        std::istringstream stream(RecordingBuilder().page(dataPage(0, 1, 3, sampleValue)).start(f, 0, 32, sampleValue).str());
        const IAB_VMN_File file(stream, 1, 2, false, progress);
        EXPECT_EQ(file.getNStarts(), 0u);
    }
}

// Every kind of file opens through the registry in the golden outputs (info.txt); here, a name in
// capitals and a missing file.
TEST(Recording, OpensThroughTheRegistryAndReportsItsType)
{
    TempDir dir;
    ConfigFields f;
    const std::string path = dir.file("in123@120523_143015.IAB");
    RecordingBuilder().start(f, 0, 10, sampleValue).save(path);
    DummyProgressCallback progress;
    const auto reader = host::registry().openFileReader(path, progress);
    EXPECT_EQ(reader->getNsample(0), 10u);
    EXPECT_EQ(reader->getType(), DeviceType_t::CurrentReceiver);
    EXPECT_EQ(failure<std::invalid_argument>([&] { host::registry().openFileReader(dir.file("missing.vmn"), progress); }),
              "cannot open file " + dir.file("missing.vmn"));
}

TEST(Recording, GarbageNeverCrashes)
{
    std::mt19937 random(11);
    ConfigFields absurd;
    absurd.n_channel = 0xFFFFFFFF;
    for (int round = 0; round < 200; ++round) {
        RecordingBuilder builder;
        builder.page(configPage(round % 2 ? absurd : ConfigFields())).page(dataPage(0, 32, 3, sampleValue));
        builder.page(dataPage(32, 8, 3, sampleValue));
        std::vector<std::uint8_t> bytes = builder.data();
        for (int flips = 0; flips < 20; ++flips) bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
        // Some pages of pure noise with the kinds the walk knows.
        for (int p = 0; p < 3; ++p) {
            std::vector<std::uint8_t> noise(528);
            for (auto& b : noise) b = static_cast<std::uint8_t>(random());
            noise[0] = "CRU"[random() % 3];
            bytes.insert(bytes.end(), noise.begin(), noise.end());
        }
        std::istringstream stream(std::string(bytes.begin(), bytes.end()));
        LogCapture quiet;
        try {
            const IAB_VMN_File file(stream, 1, 1, round % 3 == 0);
            for (std::uint64_t s = 0; s < file.getNStarts(); ++s) {
                std::vector<bool> pps;
                file.fillPPS(s, pps);
                EXPECT_EQ(pps.size(), file.getNsample(s));
            }
        } catch (const std::exception&) {
            // A damaged walk may refuse the file; it must not crash.
        }
    }
}
