// The whole exchange against a meter in memory: no device, no waiting, and every byte the
// host sent and every pause it asked for on record.

#include "DownloadHarness.h"
#include <sim/MemoryPort.h>

#include <sim/MeterStream.h>

#include <gtest/gtest.h>

using download_test::NEW;
using download_test::OLD;
using download_test::RecordingProgress;
using download_test::sameBytes;
using download_test::TestDownload;
using ertkit_sim::MeterMemory;
using ertkit_sim::MemoryLink;

namespace {

struct ExchangeCase {
    const char* label;
    MeterMemory memory;
    std::uint32_t first;
    std::uint32_t last;
};

std::ostream& operator<<(std::ostream& out, const ExchangeCase& c)
{
    return out << c.label;
}

} // namespace

class MemoryExchange : public testing::TestWithParam<ExchangeCase> {};

TEST_P(MemoryExchange, BringsWhatTheMeterHoldsWithoutARetry)
{
    const ExchangeCase& c = GetParam();
    MemoryLink link(ertkit_sim::meterStream(c.memory, c.first, c.last));
    TestDownload download;
    download.setLink(link.settings());
    RecordingProgress progress;
    download.download(c.first, c.last, progress, "L");

    EXPECT_TRUE(download.calls().errors.empty());
    EXPECT_EQ(download.version(), static_cast<int>(c.memory.version));
    EXPECT_EQ(link.log().timeouts.front(), 20000);
    EXPECT_EQ(link.log().rx_clears, 0u);
    if (c.memory.isRaw()) {
        EXPECT_EQ(download.rawStream(), std::string(c.memory.raw.begin(), c.memory.raw.end()));
        EXPECT_FALSE(download.zmeasures().empty());
        EXPECT_FALSE(download.portOpen());
        EXPECT_EQ(link.sentAfterRange(), std::vector<std::uint8_t>{TarvexKesta_File::END_BYTE});
        EXPECT_TRUE(link.pauses().empty());
        return;
    }
    download_test::expectStored(download, c.memory, c.first, c.last);
    EXPECT_TRUE(download.portOpen());
    std::vector<std::uint8_t> sent = {'L', 0, OLD};
    sent.insert(sent.end(), c.last - c.first + 1, NEW);
    EXPECT_EQ(link.sentAfterRange(), sent);
    EXPECT_EQ(link.pauses(), std::vector<int>{300});
}

INSTANTIATE_TEST_SUITE_P(
    VersionsAndRaw, MemoryExchange,
    testing::Values(ExchangeCase{"version 1 with an empty slot", MeterMemory::records(1, 4, 3), 0, 3},
                    ExchangeCase{"version 2 from index 2", MeterMemory::records(2, 5), 2, 4},
                    ExchangeCase{"version 3", MeterMemory::records(3, 3), 0, 2},
                    ExchangeCase{"raw voltage", MeterMemory::rawTransfer(true, 2), 0, 1},
                    ExchangeCase{"raw current", MeterMemory::rawTransfer(false, 1), 0, 0}));

TEST(MemoryExchange, AWrongChecksumIsAskedForAgainWithoutWaitingForTheMeter)
{
    const MeterMemory memory = MeterMemory::records(2, 1);
    std::vector<std::uint8_t> stream = ertkit_sim::handshakeBytes(memory.version, memory.sizeWord());
    const std::vector<std::uint8_t> slot = ertkit_sim::slotBytes(memory, memory.version, 0);
    stream.insert(stream.end(), slot.begin(), slot.end());
    stream.back() ^= 0x01;
    stream.insert(stream.end(), slot.begin(), slot.end());
    MemoryLink link(stream);
    TestDownload download;
    download.setLink(link.settings());
    RecordingProgress progress;
    download.download(0, 0, progress, "L");
    EXPECT_EQ(download.zmeasures().size(), 1u);
    EXPECT_EQ(link.sentAfterRange(), (std::vector<std::uint8_t>{'L', 0, OLD, OLD, NEW}));
    EXPECT_EQ(link.pauses(), std::vector<int>{300});
}

class TruncatedMeterStream : public testing::TestWithParam<std::size_t> {};

// A meter that stops part way through is answered with retries (and their pauses), then its
// end index ends the transfer with the records that came whole.
TEST_P(TruncatedMeterStream, EndsCleanlyWithTheWholeRecords)
{
    const MeterMemory memory = MeterMemory::records(3, 3);
    std::vector<std::uint8_t> stream = ertkit_sim::meterStream(memory, 0, 2);
    const std::size_t slot_size = ertkit_sim::slotBytes(memory, 3, 0).size();
    stream.resize(8 + slot_size + GetParam());
    MemoryLink link(stream);
    TestDownload download;
    download.setLink(link.settings());
    RecordingProgress progress;
    download.download(0, 2, progress, "L");
    EXPECT_TRUE(download.calls().errors.empty());
    ASSERT_EQ(download.zmeasures().size(), 1u);
    EXPECT_TRUE(sameBytes(download.zmeasures()[0], memory.zmeasures[0]));
    EXPECT_TRUE(download.portOpen());
    EXPECT_EQ(link.pauses().size(), 2u);
    EXPECT_EQ(link.log().rx_clears, 1u);
}

// Cut in the index word, in the time stamp, in the record and in the checksum word.
INSTANTIATE_TEST_SUITE_P(CutPoints, TruncatedMeterStream, testing::Values(2u, 6u, 100u, 282u));
