// The sample's result files agree with each other and with the recordings they name.
#include <generators/SampleFiles.h>

#include <services/CompanionRecordings.h>

#include <bin/BIN_File.h>
#include <binx/BINX_File.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ertkit;
using namespace ertkit::generators;

namespace {

class SampleFilesOnDisk : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new ertkit_test::TempDir();
        DummyProgressCallback progress;
        s_files = writeSampleFiles(SampleSurvey(1), s_dir->path(), progress);
    }
    static void TearDownTestSuite() { delete s_dir; }

    static inline ertkit_test::TempDir* s_dir = nullptr;
    static inline SampleFiles s_files;
};

TEST_F(SampleFilesOnDisk, BinAndBinxStampAnInjectionWithOneTime)
{
    const BIN_File bin((s_dir->path() / s_files.bin).string());
    const BINX_File binx((s_dir->path() / s_files.binx).string());
    const auto& old = bin.getResults();
    const auto& all = binx.getResults();
    ASSERT_EQ(old.size(), 34u);
    // The Wenner readings close the BINX file, in the same order.
    for (std::size_t i = 0; i < old.size(); ++i) {
        const Result_Reader& b = *old[i];
        const Result_Reader& x = *all[all.size() - old.size() + i];
        EXPECT_EQ(b.getElectrodeX(ElectrodeName::A), x.getElectrodeX(ElectrodeName::A)) << i;
        EXPECT_EQ(b.getStartTime(true), x.getStartTime(true)) << i;
    }
}

TEST_F(SampleFilesOnDisk, ALegacyRecordFindsItsStartByTimeAndItsStackMatchesTheStoredOne)
{
    const BIN_File bin((s_dir->path() / s_files.bin).string());
    const BINX_File binx((s_dir->path() / s_files.binx).string());
    for (const std::size_t i : {0u, 3u, 33u}) {
        const Result_Reader& record = *bin.getResults()[i];
        const CompanionStack companion = companionStack(record, s_dir->path() / s_files.bin);
        ASSERT_TRUE(companion.failure.empty()) << i << ": " << companion.failure;
        EXPECT_EQ(companion.recording.filename(), s_files.recordings[2]) << i;
        EXPECT_EQ(companion.start, i) << "one Wenner injection per start";
        const std::vector<double>& computed = companion.values;
        std::vector<double> stored;
        binx.getResults()[63 + i]->fillStackData(true, stored);
        ASSERT_EQ(computed.size(), stored.size());
        // The stored stack is the noiseless one; the recording's carries noise of a few mV.
        double worst = 0.0;
        for (std::size_t k = 0; k < stored.size(); ++k) worst = std::max(worst, std::abs(computed[k] - stored[k]));
        EXPECT_LT(worst, 0.02 * std::abs(record.getPolarizationVoltage(true))) << i;
    }
    // Nothing beside a result file in a folder without recordings.
    const CompanionStack none = companionStack(*bin.getResults()[0], s_dir->path() / "elsewhere" / s_files.bin);
    EXPECT_TRUE(none.values.empty());
    EXPECT_NE(none.failure.find("voltage recording missing"), std::string::npos) << none.failure;
}

} // namespace
