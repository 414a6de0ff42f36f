#include "BinxTestHelpers.h"

#include <binx/BINX_Data.h>

#include <gtest/gtest.h>

using binx_test::ByteFile;
using binx_test::readRecord;
using binx_test::written;
using ertkit_test::sampleBinxRecord;

TEST(BinxRecordWriter, WritesTheCurrentLayoutFieldByField)
{
    const BINX_Data sample = sampleBinxRecord(1);
    EXPECT_EQ(written(sample), ertkit_test::binxRecordBytes(sample, 16).data());
}

TEST(BinxRecordWriter, DefaultRecordHasTheDocumentedDefaults)
{
    const BINX_Data d;
    EXPECT_EQ(d.electrodeDispositionCode, 10);
    EXPECT_EQ(d.iabPathIndex, 0xFFFFFFFFu);
    EXPECT_EQ(d.vmnPathIndex, 0xFFFFFFFFu);
    EXPECT_EQ(d.projectPathIndex, 0xFFFFFFFFu);
    EXPECT_EQ(d.resultId, 0xFFFFFFFFFFFFFFFFull);
    EXPECT_EQ(d.polarizationComputeType, 1);
    EXPECT_EQ(d.recordVersion, 16);
    EXPECT_EQ(d.nTM, 0u);
    EXPECT_TRUE(d.curves.empty());
    EXPECT_EQ(BINX_Data::VERSION, 16);
    EXPECT_EQ(written(d), ertkit_test::binxRecordBytes(d, 16).data());
}

TEST(BinxRecordWriter, RoundTripGivesBackEveryMember)
{
    const BINX_Data sample = sampleBinxRecord(2);
    const BINX_Data read = readRecord(written(sample));
    EXPECT_EQ(written(read), written(sample));
    EXPECT_EQ(read.recordVersion, 16);
    EXPECT_EQ(read.nTM, sample.nTM);
    EXPECT_EQ(read.curves, sample.curves);
    EXPECT_EQ(read.associatedResultIds, sample.associatedResultIds);
    EXPECT_EQ(read.quadrupole, sample.quadrupole);
    EXPECT_EQ(read.grid, sample.grid);
    EXPECT_EQ(read.txStatus, sample.txStatus);
    EXPECT_EQ(read.stackData, sample.stackData);
}

TEST(BinxRecordWriter, OldRecordsAreRewrittenInTheCurrentLayout)
{
    ertkit_test::LogCapture log; // old records without serials log the failed fill-in
    for (const int version : {0, 8, 10}) {
        const BINX_Data sample = sampleBinxRecord(3);
        const BINX_Data old = readRecord(ertkit_test::binxRecordBytes(sample, version));
        const auto bytes = written(old);
        EXPECT_EQ(bytes, ertkit_test::binxRecordBytes(old, 16).data()) << version;
        const BINX_Data again = readRecord(bytes);
        EXPECT_EQ(again.recordVersion, 16);
        EXPECT_EQ(again.computationType, 0);
        EXPECT_EQ(again.polarizationComputeType, 1);
        EXPECT_TRUE(again.associatedResultIds.empty());
        ASSERT_EQ(again.curves.size(), 1u);
        EXPECT_EQ(again.curves.begin()->second.values, sample.mppx);
        EXPECT_EQ(again.curves.begin()->second.extra, sample.polarizationVoltage);
        // The 48 bytes that version 8 carries are gone: the whole record is the current layout.
        EXPECT_EQ(bytes.size(), ertkit_test::binxRecordBytes(again, 16).size());
    }
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

TEST(BinxRecordSetters, MppxAndStatus)
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

    d.setStatRegC(1);
    d.setStatRegI(2);
    d.setStatRegP(3);
    d.setOverCurrent(true);
    d.setOpenLine(true);
    d.setLowBattery(true);
    EXPECT_EQ(d.statRegC(), 1);
    EXPECT_EQ(d.getStatRegI(), 2);
    EXPECT_EQ(d.statRegP(), 3);
    EXPECT_TRUE(d.hasOverCurrent());
    EXPECT_TRUE(d.isOpenLine());
    EXPECT_TRUE(d.hasLowBat());
    EXPECT_FALSE(d.hasEmergency());
    EXPECT_FALSE(d.isOverHeat());
}

TEST(BinxRecordSetters, CopyAndMoveKeepEveryMember)
{
    const BINX_Data sample = sampleBinxRecord(6);
    BINX_Data copy(sample);
    EXPECT_EQ(written(copy), written(sample));
    BINX_Data moved(std::move(copy));
    EXPECT_EQ(written(moved), written(sample));
    BINX_Data assigned;
    assigned = moved;
    EXPECT_EQ(written(assigned), written(sample));
    BINX_Data move_assigned;
    move_assigned = std::move(assigned);
    EXPECT_EQ(written(move_assigned), written(sample));
    EXPECT_EQ(move_assigned.nTM, sample.nTM);
}
