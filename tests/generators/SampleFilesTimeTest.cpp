// The sample's result files agree with each other.
#include <generators/SampleFiles.h>

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

} // namespace
