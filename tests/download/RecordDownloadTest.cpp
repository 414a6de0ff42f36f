#include "DownloadHarness.h"

#include <gtest/gtest.h>

using download_test::DownloadRun;
using download_test::expectStored;
using download_test::TestDownload;
using ertkit_sim::MeterBehaviour;
using ertkit_sim::MeterMemory;

class CleanRecordDownload : public testing::TestWithParam<std::uint32_t> {};

TEST_P(CleanRecordDownload, BringsEveryServedMeasureOnceAndLeavesThePortOpen)
{
    const std::uint32_t version = GetParam();
    DownloadRun test(MeterMemory::records(version, 6, 4));
    const TestDownload& download = test.run(0, 5, "LINE1").download;

    EXPECT_TRUE(download.calls().errors.empty());
    EXPECT_EQ(download.version(), static_cast<int>(version));
    EXPECT_TRUE(download.portOpen());
    expectStored(download, test.memory(), 0, 5);
    const auto log = test.meter.log();
    ASSERT_EQ(log.sessions.size(), 1u);
    EXPECT_EQ(log.hang_ups, 0u);
    EXPECT_EQ(log.sessions[0].indexes, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5, 0xFFFFFFFF}));
    EXPECT_EQ(log.sessions[0].acks, (std::vector<std::uint8_t>{0x0F, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}));
    EXPECT_NE(log.received.back(), TarvexKesta_File::END_BYTE);
    EXPECT_FALSE(download.isContainFW());
}

INSTANTIATE_TEST_SUITE_P(RecordVersions, CleanRecordDownload, testing::Values(1u, 2u, 3u));

TEST(RecordDownload, ReportsProgressInOrderWithPositionsRelativeToFirst)
{
    DownloadRun test(MeterMemory::records(3, 12, 4));
    test.run(5, 9, "*");

    const std::string sync = std::to_string(TarvexKesta_File::s_synchronization_text_id);
    const std::string connected = std::to_string(TarvexKesta_File::s_connected_to_at_text_id);
    // Slot 7 is empty: it still moves the position.
    const std::vector<std::string> expected = {"text " + sync, "formatted " + connected + " [SIM-METER 1.0] [115200 baud]",
                                               "position 0", "range 0 5 1", "position 0", "position 1", "position 2",
                                               "position 3", "position 4"};
    EXPECT_EQ(test.progress.calls, expected);
    expectStored(test.download, test.memory(), 5, 9);
    EXPECT_EQ(test.session().first, 5u);
    EXPECT_EQ(test.session().last, 9u);
}

TEST(RecordDownload, AnIndexAboveLastEndsTheTransferLikeTheEndMarker)
{
    MeterBehaviour behaviour;
    behaviour.end_above_last = true;
    DownloadRun test(MeterMemory::records(2, 3), behaviour);
    test.run(0, 7);
    expectStored(test.download, test.memory(), 0, 7);
    EXPECT_EQ(test.session().indexes.back(), 8u);
    EXPECT_TRUE(test.download.portOpen());
}

TEST(RecordDownload, AnEndMarkerFirstLeavesBothListsEmptyAndThePortOpen)
{
    DownloadRun test(MeterMemory::records(2, 0));
    test.download.measures().push_back(MeterMemory::demoMeasure(1));
    test.run(0, 3);
    EXPECT_TRUE(test.download.zmeasures().empty());
    EXPECT_TRUE(test.download.measures().empty());
    EXPECT_TRUE(test.download.portOpen());
    EXPECT_TRUE(test.download.calls().errors.empty());
}

TEST(RecordDownload, ASecondDownloadReplacesThePortAndTheMeasures)
{
    DownloadRun test(MeterMemory::records(2, 4));
    ASSERT_EQ(test.run(0, 3, "A").download.zmeasures().size(), 4u);
    expectStored(test.run(2, 2, "A").download, test.memory(), 2, 2);
    EXPECT_EQ(test.meter.log().sessions.size(), 2u);
}

struct NameCase {
    std::string name;
    std::vector<std::uint8_t> sent;
};

class NameSending : public testing::TestWithParam<NameCase> {};

TEST_P(NameSending, SendsTheNameAsTheMeterExpectsIt)
{
    DownloadRun test(MeterMemory::records(1, 1));
    test.run(0, 0, GetParam().name);
    EXPECT_EQ(test.session().name, GetParam().sent);
    EXPECT_EQ(test.download.measures().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameSending,
    testing::Values(NameCase{"*", {0}}, NameCase{"", {0}}, NameCase{"ABC", {'A', 'B', 'C', 0}},
                    NameCase{"ABCDEFGHIJ", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 0}},
                    NameCase{"ABCDEFGHIJK", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K'}},
                    NameCase{"ABCDEFGHIJKLMNO", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K'}},
                    NameCase{"**", {'*', '*', 0}}, NameCase{std::string("AB\0CD", 5), {'A', 'B', 0}}));
