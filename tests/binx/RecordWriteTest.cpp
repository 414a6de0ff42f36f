#include "BinxTestHelpers.h"

#include <binx/BINX_Data.h>

#include <gtest/gtest.h>

using binx_test::ByteFile;
using binx_test::readRecord;
using binx_test::written;
using ertkit_test::sampleBinxRecord;

// With EveryRecordVersion reading the same layout back, a round trip gives every member back.
TEST(BinxRecordWriter, WritesTheCurrentLayoutFieldByField)
{
    const BINX_Data sample = sampleBinxRecord(1);
    EXPECT_EQ(written(sample), ertkit_test::binxRecordBytes(sample, 16).data());
}

TEST(BinxRecordWriter, OldRecordsAreRewrittenInTheCurrentLayout)
{
    ertkit_test::LogCapture log; // records without serials log the failed fill-in
    const BINX_Data sample = sampleBinxRecord(3);
    const BINX_Data old = readRecord(ertkit_test::binxRecordBytes(sample, 8));
    const BINX_Data again = readRecord(written(old));
    EXPECT_EQ(again.recordVersion, 16);
    EXPECT_EQ(written(again), ertkit_test::binxRecordBytes(old, 16).data()); // no trace of the 48 old bytes
    EXPECT_EQ(again.polarizationComputeType, 1);
    EXPECT_TRUE(again.associatedResultIds.empty());
    EXPECT_EQ(again.curves, (std::map<BINX_Data::Dipole, BINX_Data::Curve>{
                                {{ElectrodeName::A, ElectrodeName::B}, {sample.mppx, sample.polarizationVoltage}}}));
}

TEST(BinxRecordWriter, WidenedBytesAreWrittenAsTheirLowByte)
{
    BINX_Data sample = sampleBinxRecord(4);
    sample.continuousSurvey = 300;
    sample.continuousSurveyGps = 257;
    const auto bytes = written(sample);
    const BINX_Data read = readRecord(bytes);
    EXPECT_EQ(read.continuousSurvey, 44u);
    EXPECT_EQ(read.continuousSurveyGps, 1u);
}

TEST(BinxRecordWriter, FailedStreamTakesNoFurtherBytes)
{
    ertkit_test::TempDir dir;
    std::ofstream out(dir.file("missing-folder/x.binx"), std::ios::binary);
    sampleBinxRecord(5).writeToFile(out); // must neither throw nor crash
    EXPECT_TRUE(out.fail());
}

TEST(BinxRecordSetters, Mppx)
{
    BINX_Data d;
    d.setMppx(25, 1.0);
    EXPECT_EQ(d.mppx, BINX_Data().mppx);
    d.setMppx(19, 7.0);
    EXPECT_EQ(d.mppx[19], 7.0);
    d.mppx.fill(9.0);
    d.setMppx(std::vector<double>{1, 2, 3});
    EXPECT_EQ(d.mppx[0], 1.0);
    EXPECT_EQ(d.mppx[2], 3.0);
    EXPECT_EQ(d.mppx[3], 9.0);
    d.setMppx(std::vector<double>(30, 4.0));
    EXPECT_EQ(d.mppx[19], 4.0);

}

