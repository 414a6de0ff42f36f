#include <binx/BINX_File.h>

#include "DownloadHarness.h"
#include "binx/BinxTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace download_test;
using ertkit_sim::MeterMemory;

namespace {

// Counts steps and answers the cancellation query from a script.
class StepCounter : public RecordingProgress {
public:
    int steps = 0;
    std::vector<bool> cancel_answers; // consumed in order; false once exhausted
    bool isCancelled() override
    {
        if (cancel_answers.empty()) return false;
        const bool answer = cancel_answers.front();
        cancel_answers.erase(cancel_answers.begin());
        return answer;
    }
    void step() override { ++steps; }
};

} // namespace

TEST(MeasureConversion, ElectrodeArrayCodes)
{
    const struct {
        std::int32_t array_code;
        std::uint16_t stored;
        bool warns;
    } cases[] = {{1, 0, false}, {2, 1, false}, {3, 2, false}, {4, 6, false}, {5, 4, false},
                 {6, 3, false}, {7, 10, true},  {0, 10, true},  {-3, 10, true}};
    for (const auto& c : cases) {
        ertkit_test::LogCapture log;
        auto measure = MeterMemory::demoMeasure(1);
        measure.head.array_code = c.array_code;
        const BINX_Data record(measure);
        EXPECT_EQ(record.electrodeDispositionCode, c.stored) << c.array_code;
        const auto warnings = log.lines(VELTLogger::Level::Warning);
        if (c.warns) {
            EXPECT_EQ(warnings, std::vector<std::string>{"ElArray : " + std::to_string(c.array_code) + " not exist"});
        } else {
            EXPECT_TRUE(warnings.empty());
        }
    }
}

TEST(MeasureConversion, VersionOneMeasure)
{
    auto m = MeterMemory::demoMeasure(3);
    m.head.setName("L12");
    m.head.flags = 0x0D00 | 0x70 | 0x5; // gap filler, trigger sync, overload, code 7, channel 5
    m.head.quadrupole = 0xFFFE;
    m.head.injection_time = 200;
    m.head.delay = 4;
    for (int i = 0; i < 20; ++i) m.head.windows[i] = i < 3 ? static_cast<std::uint16_t>(10 * (i + 1)) : 0;
    m.head.gps_x = 4530.0f;
    m.electrodes[6] = 9999998.0f; // N x
    m.m = 0.0f;
    m.deviation = 2.5f;
    m.stacks = 3.9f;

    const BINX_Data r(m);
    EXPECT_EQ(r.origFile, "L12");
    EXPECT_EQ(r.chanV, 5);
    EXPECT_EQ(r.auxWord1, 7u);
    EXPECT_EQ(r.overload, 1u);
    EXPECT_FALSE(r.isNoisy());
    EXPECT_EQ(r.gapFiller, 1);
    EXPECT_EQ(r.quadripoleMeasured, 0xFFFE);
    EXPECT_EQ(r.pulseDurationMs, 2000);
    EXPECT_EQ(r.tmDelay, 40);
    EXPECT_EQ(r.tm[2], 300);
    EXPECT_EQ(r.nTM, 3u);
    EXPECT_EQ(r.gpsXV, 45.5);
    EXPECT_EQ(r.polarizationVoltageDeviation, 2.5);
    EXPECT_EQ(r.ipDeviation, 0.0);
    EXPECT_EQ(r.nStack, 3u);
    EXPECT_EQ(r.polarizationVoltage, static_cast<double>(m.vp));
    EXPECT_EQ(r.mppx[19], static_cast<double>(m.mppx[19]));
    EXPECT_EQ(r.auxReal2, static_cast<double>(m.aux_real2));
    EXPECT_EQ(r.deviceCode, 1);
    EXPECT_EQ(r.startTimeV, 0.0);
    EXPECT_EQ(r.grid.getGeoSpec().get_geo_type(), GeoSpec::LAYOUT_ROW);
    EXPECT_EQ(r.quadrupole.getX(ElectrodeName::B), static_cast<double>(m.electrodes[2]));
    EXPECT_EQ(r.quadrupole.getZ(ElectrodeName::M), 0.0);
    EXPECT_EQ(r.quadrupole.getGeoSpec(ElectrodeName::N).get_geo_type(), GeoSpec::DOWNLOADED);
    EXPECT_EQ(r.quadrupole.getGeoSpec(ElectrodeName::M).get_geo_type(), GeoSpec::NONE);
    EXPECT_EQ(r.iabPathIndex, BINX_Data::NO_PATH);

    m.m = 12.0f;
    const BINX_Data with_m(m);
    EXPECT_EQ(with_m.ipDeviation, 2.5);
    EXPECT_EQ(with_m.polarizationVoltageDeviation, 0.0);
    m.m = std::nanf("");
    EXPECT_EQ(BINX_Data(m).ipDeviation, 2.5); // NaN is not 0
}

TEST(MeasureConversion, VersionTwoAndThreeMeasure)
{
    auto m = MeterMemory::demoZMeasure(4);
    m.stacks = -2.5f;
    const HighPrecisionTime start = HighPrecisionTime::fromVarnelTimestamp(1700000000, 0);
    const BINX_Data r(m, start);
    EXPECT_EQ(r.vab, m.vab);
    EXPECT_EQ(r.txBat, m.tx_bat);
    EXPECT_EQ(r.rxBat, m.rx_bat);
    EXPECT_EQ(r.rxTemp, m.rx_temp);
    EXPECT_EQ(r.txTemp, 0.0f);
    EXPECT_EQ(r.spontaneousPotential, static_cast<double>(m.sp));
    EXPECT_EQ(r.injectedCurrent, static_cast<double>(m.current));
    EXPECT_EQ(r.rsCheck, static_cast<double>(m.rs_check));
    EXPECT_EQ(r.quadrupole.getZ(ElectrodeName::N), static_cast<double>(m.electrodes[11]));
    EXPECT_EQ(r.deviceCode, 3);
    EXPECT_EQ(r.startTimeV, HighPrecisionTime::convertDateTime(start));
    // Stored as a date-time number, the start comes back within the number's precision.
    EXPECT_LT(absDiff(r.getStartTime(true), start), HighPrecisionTime::s_millisecond);
    EXPECT_EQ(r.startTimeI, 0.0);
    EXPECT_EQ(r.nStack, static_cast<std::uint32_t>(-2));
}

TEST(MeasureConversion, FileOrderProgressAndCancellation)
{
    TestDownload download;
    auto z = MeterMemory::demoZMeasure(9);
    z.time_stamp = 1700000100;
    download.zmeasures() = {z};
    download.measures() = {MeterMemory::demoMeasure(1), MeterMemory::demoMeasure(2)};
    {
        StepCounter progress;
        const BINX_File file(download, progress);
        ASSERT_EQ(file.getDatas().size(), 3u);
        EXPECT_EQ(file.getData(0).deviceCode, 3);
        EXPECT_EQ(file.getData(0).startTimeV, HighPrecisionTime::convertDateTime(HighPrecisionTime(1700000100, 0)));
        EXPECT_EQ(file.getData(1).deviceCode, 1);
        EXPECT_EQ(file.getResults().size(), 3u);
        EXPECT_EQ(progress.calls, (std::vector<std::string>{"text 2", "position 0", "range 0 3 1"}));
        EXPECT_EQ(progress.steps, 3);
        EXPECT_EQ(file.getVersion(), BINX_File::m_last_version);
        EXPECT_TRUE(file.getFileNamesIabOrVmn().empty());
    }
    {
        StepCounter progress;
        progress.cancel_answers = {false, false, false, false, true};
        const BINX_File file(download, progress);
        EXPECT_EQ(file.getDatas().size(), 2u); // stopped before the second version-1 measure
        EXPECT_EQ(progress.steps, 2);
    }
    {
        StepCounter progress;
        progress.cancel_answers = {true};
        EXPECT_TRUE(BINX_File(download, progress).getDatas().empty());
    }
    {
        TestDownload empty;
        StepCounter progress;
        EXPECT_TRUE(BINX_File(empty, progress).getDatas().empty());
        EXPECT_EQ(progress.calls.back(), "range 0 0 1");
    }
}

TEST(MeasureConversion, DownloadedRecordsSurviveWritingAndReading)
{
    for (std::uint32_t version : {1u, 2u, 3u}) {
        DownloadRun run(MeterMemory::records(version, 4, 3));
        run.run(0, 3);
        const BINX_File converted(run.download);
        ASSERT_EQ(converted.getDatas().size(), 3u) << version; // slot 3 is empty
        ertkit_test::TempDir dir;
        converted.writeToFile(dir.file("download.binx"), false, 0, -1, false);
        const BINX_File read(dir.file("download.binx"));
        ASSERT_EQ(read.getDatas().size(), 3u);
        // Every field, as the library writes it back.
        for (unsigned int i = 0; i < 3; ++i)
            EXPECT_EQ(binx_test::written(read.getData(i)), binx_test::written(converted.getData(i))) << version << " record " << i;
    }
}
