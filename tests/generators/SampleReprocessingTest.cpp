// Reprocessing the sample survey from its recordings: mean stacking gives back what the meter
// stored, median stacking what it would have stored without the spike burst, and a result
// that cannot be joined says why.
#include <generators/SampleFiles.h>

#include <services/CompanionRecordings.h>
#include <services/Reprocessing.h>

#include <bin/BIN_File.h>
#include <binx/BINX_File.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ertkit;
using namespace ertkit::generators;

namespace {

double relative(double a, double b)
{
    return std::abs(a - b) / std::max(std::abs(b), 1e-12);
}

class SampleReprocessing : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new ertkit_test::TempDir();
        s_survey = new SampleSurvey(1);
        DummyProgressCallback progress;
        s_files = writeSampleFiles(*s_survey, s_dir->path(), progress);
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        delete s_survey;
    }
    static std::vector<Reprocessed> run(const Result_File& file, const std::filesystem::path& path, ReprocessOptions options = {})
    {
        return reprocess(file.getResults(), path, options, noProgress());
    }

    static inline ertkit_test::TempDir* s_dir = nullptr;
    static inline SampleSurvey* s_survey = nullptr;
    static inline SampleFiles s_files;
};

TEST_F(SampleReprocessing, MeanStackingGivesBackWhatTheMeterStored)
{
    const std::filesystem::path binx_path = s_dir->path() / s_files.binx, bin_path = s_dir->path() / s_files.bin;
    const BINX_File binx(binx_path.string());
    const BIN_File bin(bin_path.string());
    for (const auto& [file, path] : {std::pair<const Result_File*, std::filesystem::path>{&binx, binx_path}, {&bin, bin_path}}) {
        const std::vector<Reprocessed> out = run(*file, path);
        ASSERT_EQ(out.size(), file->getResults().size());
        for (std::size_t r = 0; r < out.size(); ++r) {
            const Result_Reader& stored = *file->getResults()[r];
            ASSERT_TRUE(out[r].ok) << path << " " << r << ": " << out[r].failure;
            // The stored values went through single precision.
            EXPECT_LT(relative(out[r].vp, stored.getPolarizationVoltage(true)), 1e-6) << path << " " << r;
            EXPECT_LT(relative(out[r].current, stored.getInjectedCurrent(true)), 1e-6) << path << " " << r;
            std::vector<double> windows;
            stored.fillMIp(true, false, windows);
            ASSERT_EQ(out[r].window_m.size(), windows.size());
            for (std::size_t w = 0; w < windows.size(); ++w) EXPECT_LT(relative(out[r].window_m[w], 1000.0 * windows[w]), 1e-5) << r << " " << w;
            EXPECT_LT(relative(out[r].m, 1000.0 * stored.getIp(true, false)), 1e-5) << path << " " << r;
            EXPECT_EQ(out[r].halves_used + out[r].halves_dropped, 4u);
        }
    }
}

TEST_F(SampleReprocessing, MedianStackingRecoversTheValuesTheBurstSpoilt)
{
    const std::filesystem::path path = s_dir->path() / s_files.binx;
    const BINX_File binx(path.string());
    ReprocessOptions median;
    median.estimator = StackEstimator::Median;
    const std::vector<Reprocessed> robust = run(binx, path, median), plain = run(binx, path);
    std::size_t spiked = 0;
    for (std::size_t r = 0; r < binx.getResults().size(); ++r) {
        const SampleSurvey::Measure& m = s_survey->measures()[r];
        if (!s_survey->injections()[m.injection].spikes) continue;
        ++spiked;
        EXPECT_EQ(robust[r].halves_dropped, 1u);
        EXPECT_LT(std::abs(robust[r].vp - m.clean_vp), 2.0 * m.noise) << r;
        EXPECT_GT(std::abs(plain[r].vp - m.clean_vp), 10.0 * std::abs(robust[r].vp - m.clean_vp)) << r;
        EXPECT_LT(std::abs(robust[r].m - m.clean_m), 0.1 * m.clean_m) << r;
        EXPECT_GT(std::abs(plain[r].m - m.clean_m), 0.3 * m.clean_m) << r;
    }
    EXPECT_EQ(spiked, 6u);
}

TEST_F(SampleReprocessing, WindowsGivenReplaceTheRecordsOwn)
{
    const std::filesystem::path path = s_dir->path() / s_files.binx;
    const BINX_File binx(path.string());
    ReprocessOptions options;
    options.windows_ms = {100, 300, 700};
    const std::vector<Reprocessed> out = run(binx, path, options);
    ASSERT_TRUE(out[0].ok);
    EXPECT_EQ(out[0].window_times, options.windows_ms);
    ASSERT_EQ(out[0].window_m.size(), 2u);
    EXPECT_GT(out[0].window_m[0], out[0].window_m[1]) << "the decay goes on";

    BINX_Data record = binx.getData(0);
    applyReprocessed(record, out[0]);
    std::vector<std::uint64_t> bounds;
    record.fillTM(bounds);
    EXPECT_EQ(bounds, (std::vector<std::uint64_t>{10, 30, 70}));
    EXPECT_DOUBLE_EQ(record.polarizationVoltage, out[0].vp);
    EXPECT_EQ(record.nStack, 4u);
    std::vector<double> stack;
    record.fillStackData(true, stack);
    ASSERT_EQ(stack.size(), 800u);
    EXPECT_NEAR(stack[150], out[0].stack[150], 1e-6 * std::abs(out[0].vp));
}

TEST_F(SampleReprocessing, AnInjectionLaterInAStartIsFoundInItAndThePlotStacksItAlike)
{
    // A record one cycle (8 s) after its start began: its injection is the start's second
    // cycle, read from the same rows as the records of the first.
    const std::filesystem::path path = s_dir->path() / s_files.binx;
    BINX_File binx(path.string());
    const std::vector<Reprocessed> before = run(binx, path);
    BINX_Data* later = binx.getDatas()[0];
    later->startTimeV = later->startTimeI = HighPrecisionTime::convertDateTime(later->getStartTime(true) + HighPrecisionTime::s_second * 8);
    const std::vector<Reprocessed> after = run(binx, path);
    ASSERT_TRUE(after[0].ok) << after[0].failure;
    EXPECT_EQ(after[0].offset, 800u);
    EXPECT_EQ(after[0].halves_used, 2u);
    EXPECT_NEAR(after[0].vp, before[0].vp, 0.01 * before[0].vp);
    EXPECT_NE(after[0].vp, before[0].vp);
    for (std::size_t r = 1; r < after.size(); ++r) EXPECT_EQ(after[r].vp, before[r].vp) << r;

    const CompanionStack plotted = companionStack(*later, path);
    ASSERT_EQ(plotted.failure, "");
    EXPECT_EQ(plotted.recording.filename().string(), after[0].voltage_recording);
    EXPECT_EQ(plotted.start, after[0].voltage_start);
    EXPECT_EQ(plotted.channel, after[0].voltage_channel);
    EXPECT_EQ(plotted.offset, after[0].offset);
    // One stack formula: the half cycle reprocess stacks by the mean, then it negated.
    ASSERT_EQ(plotted.values.size(), 2 * after[0].stack.size());
    for (std::size_t k = 0; k < after[0].stack.size(); ++k) {
        EXPECT_EQ(plotted.values[k], after[0].stack[k]) << k;
        EXPECT_EQ(plotted.values[k + after[0].stack.size()], -after[0].stack[k]) << k;
    }
}

TEST_F(SampleReprocessing, AJoinThatFailsSaysWhy)
{
    const auto folder = s_dir->path() / "partial";
    std::filesystem::create_directories(folder);
    for (std::size_t i = 0; i < 3; ++i) std::filesystem::copy_file(s_dir->path() / s_files.recordings[i], folder / s_files.recordings[i]);
    const std::filesystem::path path = s_dir->path() / s_files.binx;
    BINX_File binx(path.string());
    BINX_Data* late = binx.getDatas()[1];
    late->startTimeV = HighPrecisionTime::convertDateTime(late->getStartTime(true) + HighPrecisionTime::s_second * 3600);
    binx.getDatas()[2]->chanV = 9;
    binx.getDatas()[3]->serialNumberI = 999;
    ReprocessOptions options;
    options.recordings = folder;
    const std::vector<Reprocessed> out = run(binx, path, options);
    EXPECT_TRUE(out[0].ok) << out[0].failure;
    EXPECT_EQ(out[3].failure, "current recording missing: no .iab file of receiver 124-999 in " + folder.string());
    EXPECT_EQ(out[1].failure, "no voltage start at 2023-06-14 09:30:00 UTC in vp123-4567@061423_083420.vmn, vp123-4567@061423_083000.vmn");
    EXPECT_EQ(out[2].failure, "voltage channel 9 out of range: start 0 of vp123-4567@061423_083000.vmn has 6 channels");
    // The Wenner current recording is not there: the dipole-dipole one of that receiver is
    // looked into, in vain.
    EXPECT_EQ(out.back().failure, "no current start at 2023-06-14 08:45:20 UTC in in124-4568@061423_083000.iab");
}

} // namespace
