#include "DownloadHarness.h"

#include "support/TestSupport.h"

#include <fullwave/IAB_VMN_File.h>
#include <host/VELTLogger.h>
#include <sim/FullWavePageWriter.h>

#include <gtest/gtest.h>

using download_test::DownloadRun;
using download_test::TemporaryFolderOverride;
using ertkit_sim::FullWavePageWriter;
using ertkit_sim::MeterMemory;

class FullWaveExport : public testing::TestWithParam<bool> {};

// What a raw transfer brings, written out, is a recording the full-wave reader opens: one
// start with every sample the meter recorded, the measure pages passed over as unknown pages.
TEST_P(FullWaveExport, TheWrittenRecordingOpensWithTheSamplesTheMeterRecorded)
{
    const bool voltage = GetParam();
    constexpr std::uint32_t measures = 3;
    ertkit_test::TempDir temp;
    TemporaryFolderOverride tmpdir(temp.path().string());
    DownloadRun test(MeterMemory::rawTransfer(voltage, measures));
    test.run(0, 0);
    ASSERT_TRUE(test.download.calls().errors.empty());
    test.download.writeFullWave(temp.path() / "line7.binx");

    ertkit_test::LogCapture log;
    const IAB_VMN_File recording(temp.file(voltage ? "line7.vmn" : "line7.iab"));
    EXPECT_EQ(recording.get_is_vmn(), voltage);
    ASSERT_EQ(recording.getNStarts(), 1u);
    const ertkit_sim::ReceiverSetup setup;
    ASSERT_EQ(recording.getNChannels(0), setup.n_channel);
    const std::uint64_t samples = measures * 2 * FullWavePageWriter::samplesPerPage(setup.n_channel);
    ASSERT_EQ(recording.getNsample(0), samples);
    for (std::uint32_t c = 0; c < setup.n_channel; ++c) {
        std::vector<double> values;
        recording.fillData(0, c, values);
        ASSERT_EQ(values.size(), samples);
        for (std::uint32_t s = 0; s < samples; s += 17) EXPECT_EQ(values[s], MeterMemory::sampleValue(s, c)) << s;
    }
    unsigned int measure_pages = 0;
    for (const auto& line : log.lines(VELTLogger::Level::Warning))
        measure_pages += line.rfind("passed over a measure page (a measure's results, not samples), name=", 0) == 0 ? 1 : 0;
    EXPECT_EQ(measure_pages, measures + 1);
}

INSTANTIATE_TEST_SUITE_P(VoltageAndCurrent, FullWaveExport, testing::Bool());
