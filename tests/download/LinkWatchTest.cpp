// A meter that goes silent, vanishes or is slow once records are being transferred, and a host
// that asks to stop: the download ends through its error path within the host's limits, and
// every retry of the exchange still happens inside them.
#include "DownloadHarness.h"

#include <download/LinkWatch.h>
#include <sim/MeterStream.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace download_test;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Bytes a meter sends before its first record: identification answer, version and size words.
std::size_t bytesBeforeRecords(const ertkit_sim::MeterBehaviour& behaviour)
{
    return 2 + behaviour.name.size() + 8;
}

LinkWatch silenceOf(std::chrono::milliseconds limit)
{
    LinkWatch watch;
    watch.silence_limit = limit;
    return watch;
}

struct Ended {
    std::vector<std::pair<int, std::string>> errors;
    std::size_t stored = 0;
    bool end_byte = false;
    bool port_open = true;
    Clock::duration took{};
};

Ended downloadWith(ertkit_sim::MeterBehaviour behaviour, LinkWatch watch, std::uint32_t slots = 6)
{
    const ScopedLinkWatch watching(std::move(watch));
    DownloadRun run(ertkit_sim::MeterMemory::records(3, slots), behaviour);
    const auto start = Clock::now();
    run.run(0, slots - 1);
    Ended ended;
    ended.took = Clock::now() - start;
    ended.errors = run.download.calls().errors;
    ended.stored = run.download.zmeasures().size();
    ended.port_open = run.download.portOpen();
    // A failed download closes the port after its end byte; a meter that hung up hears nothing.
    const bool meter_gone = behaviour.hang_up_after_bytes.has_value();
    const auto log = ended.errors.empty() || meter_gone ? run.meter.log() : run.meter.logAfterHangUp();
    ended.end_byte = !log.received.empty() && log.received.back() == TarvexKesta_File::END_BYTE;
    return ended;
}

TEST(LinkWatch, AMeterThatStopsOrVanishesMidRecordEndsTheDownloadThroughTheErrorPath)
{
    // Each meter stops inside its third record.
    const std::size_t third_record = bytesBeforeRecords({}) + 2 * ertkit_sim::slotBytes(ertkit_sim::MeterMemory::records(3, 1), 3, 0).size() + 100;
    struct Case {
        const char* name;
        ertkit_sim::MeterBehaviour behaviour;
        const char* message;
    };
    ertkit_sim::MeterBehaviour silent, gone;
    silent.silent_after_bytes = third_record;
    gone.hang_up_after_bytes = third_record;
    gone.time_scale = 0.1;
    const Case cases[] = {
        {"silent", silent, "No answer from the meter for 0.8 s"},
        {"hangs up", gone, "The meter's device has gone (unplugged?)"},
    };
    for (const Case& c : cases) {
        const Ended ended = downloadWith(c.behaviour, silenceOf(800ms));
        ASSERT_EQ(ended.errors.size(), 1u) << c.name;
        EXPECT_EQ(ended.errors[0].first, 42) << c.name;
        EXPECT_EQ(ended.errors[0].second, c.message) << c.name;
        EXPECT_TRUE(ended.end_byte || std::string(c.name) == "hangs up") << c.name;
        EXPECT_FALSE(ended.port_open) << c.name;
        EXPECT_EQ(ended.stored, 2u) << c.name << ": the records accepted before stay, for the caller to drop";
        // The limit, plus at most one read time-out of the exchange and the meter's own grace.
        EXPECT_LT(ended.took, 2500ms) << c.name;
    }
}

TEST(LinkWatch, ASlowMeterWithinEveryLimitDownloadsEverything)
{
    // Every answer comes 150 ms late, and the index of slot 2 is lost once, so the host waits
    // out a whole read time-out and asks again: 1.15 s of silence, inside a 2.5 s limit.
    ertkit_sim::MeterBehaviour slow;
    slow.answer_delay = 1500ms;
    slow.time_scale = 0.1;
    slow.faults = {{2, ertkit_sim::RecordFault::MissingIndex, 1}};
    const Ended ended = downloadWith(slow, silenceOf(2500ms), 4);
    EXPECT_TRUE(ended.errors.empty()) << ended.errors.at(0).second;
    EXPECT_EQ(ended.stored, 4u);
    EXPECT_TRUE(ended.port_open);
}

TEST(LinkWatch, AHostThatAsksToStopIsHeardWithinAPollInterval)
{
    // A silent meter under the default limit: only the request to stop ends the wait.
    ertkit_sim::MeterBehaviour silent;
    silent.silent_after_bytes = bytesBeforeRecords(silent) + 10;
    std::atomic<bool> stop{false};
    LinkWatch watch;
    watch.cancelled = [&stop] { return stop.load(); };
    const ScopedLinkWatch watching(std::move(watch));
    DownloadRun run(ertkit_sim::MeterMemory::records(3, 4), silent);
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        stop = true;
    });
    const auto start = Clock::now();
    run.run(0, 3);
    const auto took = Clock::now() - start;
    stopper.join();
    ASSERT_EQ(run.download.calls().errors.size(), 1u);
    EXPECT_EQ(run.download.calls().errors[0].second, "download cancelled");
    EXPECT_LT(took, 300ms + 2 * LinkWatch::s_poll_interval + 400ms); // leeway for a loaded machine
    const auto log = run.meter.logAfterHangUp();
    ASSERT_FALSE(log.received.empty());
    EXPECT_EQ(log.received.back(), TarvexKesta_File::END_BYTE);
}

TEST(LinkWatch, TheSilenceLimitLeavesTheHandshakeTimeOutsAlone)
{
    // A meter that neither identifies itself nor sends its version: the handshake's own 20 s
    // time-out and message, on the in-memory port's clock, however short the silence limit;
    // then the end byte, and the port closed.
    const ScopedLinkWatch watching(silenceOf(100ms));
    ertkit_sim::MemoryMeter silent;
    silent.after = ertkit_sim::MemoryMeter::AfterStream::Silence;
    silent.name.clear();
    ertkit_sim::MemoryLink link(silent);
    TestDownload download;
    download.setLink(link.settings());
    RecordingProgress progress;
    download.download(0, 3, progress, "L");
    ASSERT_EQ(download.calls().errors.size(), 1u);
    EXPECT_EQ(download.calls().errors[0], std::make_pair(progress.error_code, std::string("Time out version ???")));
    EXPECT_EQ(link.log().timeouts, std::vector<int>{20000});
    EXPECT_EQ(link.log().sent, std::vector<std::uint8_t>{TarvexKesta_File::END_BYTE});
    EXPECT_FALSE(download.portOpen());
    // Unidentified, the meter keeps the texts the download prepared.
    const std::string connected = std::to_string(TarvexKesta_File::s_connected_to_at_text_id);
    EXPECT_EQ(progress.calls.at(1),
              "formatted " + connected + " [Unknown system, try a lower speed rate ] [" + std::string(40, ' ') + "]");
}

TEST(LinkWatch, ASilentMeterInMemoryEndsAfterTheLimitOnThePortsClock)
{
    // The handshake, then silence: the record loop retries, each index read waiting out its
    // 1 s time-out, until 10 s have passed without a byte. No real time passes.
    const auto memory = ertkit_sim::MeterMemory::records(2, 3);
    ertkit_sim::MemoryLink link(ertkit_sim::MemoryMeter{ertkit_sim::handshakeBytes(2, memory.sizeWord()), ertkit_sim::MemoryMeter::AfterStream::Silence});
    TestDownload download;
    download.setLink(link.settings());
    RecordingProgress progress;
    const auto start = Clock::now();
    download.download(0, 2, progress, "L");
    EXPECT_LT(Clock::now() - start, 1s);
    ASSERT_EQ(download.calls().errors.size(), 1u);
    EXPECT_EQ(download.calls().errors[0].second, "No answer from the meter for 10 s");
    // Ten tries of the index, each followed by the 200 ms pause of the exchange.
    const std::vector<int> pauses = link.pauses();
    ASSERT_FALSE(pauses.empty());
    EXPECT_EQ(pauses.front(), 300);
    EXPECT_EQ(std::count(pauses.begin(), pauses.end(), 200), 10);
    EXPECT_EQ(link.log().sent.back(), TarvexKesta_File::END_BYTE);
}

} // namespace
