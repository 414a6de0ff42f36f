#include "DownloadHarness.h"

#include <gtest/gtest.h>

using download_test::DownloadRun;
using download_test::expectStored;
using download_test::NEW;
using download_test::OLD;
using download_test::sameBytes;
using download_test::TestDownload;
using download_test::withFaults;
using ertkit_sim::FaultPlan;
using ertkit_sim::MeterMemory;
using ertkit_sim::RecordFault;

namespace {

struct FaultCase {
    const char* label;
    std::uint32_t version;
    std::vector<FaultPlan> faults;
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c)
{
    return out << c.label;
}

} // namespace

class RecordRetry : public testing::TestWithParam<FaultCase> {};

TEST_P(RecordRetry, RecoversEveryRecordExactlyOnce)
{
    DownloadRun test(MeterMemory::records(GetParam().version, 4), withFaults(GetParam().faults));
    test.run(0, 3);
    EXPECT_TRUE(test.download.calls().errors.empty());
    expectStored(test.download, test.memory(), 0, 0xFFFFFFFF);
    EXPECT_TRUE(test.download.portOpen());
    // Each spoilt sending is asked for again with the repeat acknowledge.
    const auto acks = test.session().acks;
    unsigned int spoilt = 0;
    for (const auto& plan : GetParam().faults) spoilt += plan.times;
    EXPECT_EQ(std::count(acks.begin(), acks.end(), OLD), 1 + static_cast<long>(spoilt));
    EXPECT_EQ(std::count(acks.begin(), acks.end(), NEW), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RecordRetry,
    testing::Values(FaultCase{"wrong checksum once", 2, {{1, RecordFault::WrongChecksum, 1}}},
                    FaultCase{"garbled byte", 1, {{2, RecordFault::GarbledByte, 1}}},
                    FaultCase{"dropped bytes", 3, {{0, RecordFault::DroppedBytes, 1}}},
                    FaultCase{"truncated record", 3, {{3, RecordFault::TruncatedRecord, 1}}},
                    FaultCase{"missing index", 2, {{1, RecordFault::MissingIndex, 1}}},
                    FaultCase{"truncated index", 1, {{0, RecordFault::TruncatedIndex, 1}}},
                    FaultCase{"missing checksum", 3, {{2, RecordFault::MissingChecksum, 1}}},
                    FaultCase{"several", 2,
                              {{0, RecordFault::WrongChecksum, 1}, {1, RecordFault::GarbledByte, 1},
                               {3, RecordFault::MissingChecksum, 1}}}));

TEST(RecordRetry, ASecondCopyWithTheSameWrongChecksumIsStored)
{
    DownloadRun test(MeterMemory::records(3, 3), withFaults({{1, RecordFault::WrongChecksum, 2}}));
    test.run(0, 2);
    expectStored(test.download, test.memory(), 0, 0xFFFFFFFF);
    EXPECT_EQ(test.session().acks, (std::vector<std::uint8_t>{OLD, NEW, OLD, NEW, NEW}));
}

TEST(RecordRetry, ARejectedChecksumThatComesBackIsAcceptedWithTheBytesAsTheyCame)
{
    // Both copies are garbled the same way and carry the true checksum: the first is rejected
    // and its checksum remembered, the second is then taken on that checksum alone.
    DownloadRun test(MeterMemory::records(2, 2), withFaults({{0, RecordFault::GarbledByte, 2}}));
    test.run(0, 1);
    ASSERT_EQ(test.download.zmeasures().size(), 2u);
    auto expected = test.memory().zmeasures[0];
    expected.time_stamp = 0;
    EXPECT_FALSE(sameBytes(test.download.zmeasures()[0], expected));
    EXPECT_NE(test.download.zmeasures()[0].byteSum(), expected.byteSum());
}

TEST(RecordRetry, AZeroChecksumIsAcceptedWhileNothingWasRejected)
{
    DownloadRun test(MeterMemory::records(1, 1), withFaults({{0, RecordFault::GarbledZeroSum, 1}}));
    test.run(0, 0);
    ASSERT_EQ(test.download.measures().size(), 1u);
    EXPECT_FALSE(sameBytes(test.download.measures()[0], test.memory().measures[0]));
    EXPECT_EQ(test.session().acks, (std::vector<std::uint8_t>{OLD, NEW}));
}

TEST(RecordRetry, AnEmptySlotIsNeverStoredWhateverItsChecksum)
{
    DownloadRun test(MeterMemory::records(2, 4, 2),
                     withFaults({{1, RecordFault::WrongChecksum, 1}, {3, RecordFault::GarbledZeroSum, 1}}));
    test.run(0, 3);
    ASSERT_EQ(test.download.zmeasures().size(), 2u);
    EXPECT_EQ(test.download.zmeasures()[0].head.nameText(), test.memory().zmeasures[0].head.nameText());
    EXPECT_EQ(test.download.zmeasures()[1].head.nameText(), test.memory().zmeasures[2].head.nameText());
    // The empty slot with a bad checksum is passed over at once, not asked for again.
    EXPECT_EQ(test.session().acks, (std::vector<std::uint8_t>{OLD, NEW, NEW, NEW, NEW}));
}

TEST(RecordRetry, NoiseThatReadsAsAnAbsurdIndexEndsTheTransferWithoutHarm)
{
    DownloadRun test(MeterMemory::records(2, 5), withFaults({{2, RecordFault::Garbage, 1}}));
    test.run(0, 4);
    EXPECT_TRUE(test.download.calls().errors.empty());
    ASSERT_EQ(test.download.zmeasures().size(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(test.download.zmeasures()[i].head.nameText(), test.memory().zmeasures[i].head.nameText());
    EXPECT_TRUE(test.download.portOpen());
}
