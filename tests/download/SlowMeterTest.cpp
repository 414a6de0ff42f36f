// A meter slower than the host's waits, run at a tenth of its pace on both sides: each record is
// kept once, the download ends, and only real silence counts against the limit. The handshake
// honours a limit the host set, and tells a hang-up as one.
#include "DownloadHarness.h"

#include <download/LinkWatch.h>
#include <sim/MeterStream.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

using namespace download_test;
using namespace std::chrono_literals;

namespace {

constexpr double s_scale = 0.1;

struct SlowCase {
    const char* label;
    std::chrono::milliseconds delay; // the meter's, before each sending, at full pace
    std::uint32_t version;
};

std::ostream& operator<<(std::ostream& out, const SlowCase& c)
{
    return out << c.label;
}

} // namespace

class SlowMeter : public testing::TestWithParam<SlowCase> {};

TEST_P(SlowMeter, KeepsEachRecordOnceAndFinishes)
{
    // The host's waits (1 s for an index, pauses between tries) and the meter's delay at the
    // same scale; the 10 s silence limit too.
    LinkWatch watch;
    watch.silence_limit = 1000ms;
    const ScopedLinkWatch watching(std::move(watch));
    ertkit_sim::MeterBehaviour slow;
    slow.answer_delay = GetParam().delay;
    slow.time_scale = s_scale;
    MeterOnPort meter(ertkit_sim::MeterMemory::records(GetParam().version, 3), slow);
    TestDownload download;
    download.setLink(LinkSettings{meter.sim().devicePath(), nullptr, nullptr, s_scale});
    RecordingProgress progress;
    download.download(0, 2, progress, "L");

    ASSERT_TRUE(download.calls().errors.empty()) << download.calls().errors[0].second;
    const auto& memory = meter.sim().memory();
    const std::size_t kept = GetParam().version == 1 ? download.measures().size() : download.zmeasures().size();
    ASSERT_EQ(kept, 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        if (GetParam().version == 1) {
            EXPECT_TRUE(sameBytes(download.measures()[i], memory.measures[i])) << i;
        } else {
            EXPECT_EQ(download.zmeasures()[i].head.nameText(), memory.zmeasures[i].head.nameText()) << i;
        }
    }
    // One "next" per record: the meter never skipped one.
    const auto acks = meter.log().sessions.at(0).acks;
    EXPECT_EQ(std::count(acks.begin(), acks.end(), NEW), 3);
}

INSTANTIATE_TEST_SUITE_P(Delays, SlowMeter,
                         testing::Values(SlowCase{"2.5 s, copies asked for while it works", 2500ms, 3},
                                         SlowCase{"1.1 s, answers during the pause after a wait", 1100ms, 2},
                                         SlowCase{"1.2 s, answers as the pause ends", 1200ms, 1}));

TEST(SlowMeter, ACopyOfAKeptRecordIsNeitherStoredNorAcknowledged)
{
    // In memory: slot 0, a copy of it (the answer to a repeated request), slot 1, the end.
    const auto memory = ertkit_sim::MeterMemory::records(2, 2);
    std::vector<std::uint8_t> stream = ertkit_sim::handshakeBytes(2, memory.sizeWord());
    for (const std::uint32_t index : {0u, 0u, 1u}) {
        const auto slot = ertkit_sim::slotBytes(memory, 2, index);
        stream.insert(stream.end(), slot.begin(), slot.end());
    }
    ertkit_sim::MemoryLink link(stream);
    TestDownload download;
    download.setLink(link.settings());
    RecordingProgress progress;
    download.download(0, 1, progress, "L");
    EXPECT_TRUE(download.calls().errors.empty());
    ASSERT_EQ(download.zmeasures().size(), 2u);
    EXPECT_EQ(download.zmeasures()[0].head.nameText(), memory.zmeasures[0].head.nameText());
    EXPECT_EQ(download.zmeasures()[1].head.nameText(), memory.zmeasures[1].head.nameText());
    // Name "L", then: the first request, "next" after slot 0, nothing after its copy, "next"
    // after slot 1, before the end index.
    EXPECT_EQ(link.sentAfterRange(), (std::vector<std::uint8_t>{'L', 0, OLD, NEW, NEW}));
}

TEST(HandshakeLimit, ALimitTheHostSetBoundsTheHandshakeWords)
{
    struct Case {
        const char* label;
        std::size_t sent; // bytes of the handshake the meter sends before falling silent
        const char* message;
    };
    const auto memory = ertkit_sim::MeterMemory::records(2, 1);
    const Case cases[] = {{"silent from the start", 0, "Time out version ???"}, {"silent after the version", 4, "Time out size ???"}};
    for (const Case& c : cases) {
        LinkWatch watch;
        watch.silence_limit = 700ms;
        watch.bounds_handshake = true;
        const ScopedLinkWatch watching(std::move(watch));
        std::vector<std::uint8_t> stream = ertkit_sim::handshakeBytes(2, memory.sizeWord());
        stream.resize(c.sent);
        ertkit_sim::MemoryLink link(ertkit_sim::MemoryMeter{stream, ertkit_sim::MemoryMeter::AfterStream::Silence});
        TestDownload download;
        download.setLink(link.settings());
        RecordingProgress progress;
        download.download(0, 0, progress, "L");
        ASSERT_EQ(download.calls().errors.size(), 1u) << c.label;
        EXPECT_EQ(download.calls().errors[0].second, c.message) << c.label;
        // Each word waited for the limit, not 20 s (the in-memory port's clock: no real wait).
        EXPECT_EQ(link.log().timeouts.back(), 700) << c.label;
    }
}
