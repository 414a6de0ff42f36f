// A download session against the meter simulator: why a port cannot be opened, the calendar
// time of the measures, and a progress sink that asks to stop.
#include <services/DownloadSession.h>
#include <services/ReceiverTime.h>
#include <services/ResultValues.h>

#include <download/TPortUSB.h>
#include <fullwave/IAB_VMN_File.h>
#include <sim/MemoryPort.h>
#include <sim/MeterSimulator.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace ertkit;
using namespace std::chrono_literals;

namespace {

std::string portFailureOf(const std::string& device)
{
    DownloadSession session(device);
    DummyProgressCallback progress;
    session.fetch(0, 3, "L", progress);
    if (session.failures().size() != 1 || !session.failures()[0].port) return "(no port failure)";
    return session.failures()[0].message;
}

TEST(DownloadSession, APortThatCannotBeOpenedSaysWhichAndWhy)
{
    ertkit_test::TempDir dir;
    const std::string file = dir.file("not-a-device");
    std::ofstream(file) << "x";
    const std::string locked = dir.file("locked");
    std::ofstream(locked) << "x";
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    struct Case {
        std::string device;
        std::string message;
    };
    std::vector<Case> cases = {
        {dir.file("ttyUSB9"), "cannot open the port " + dir.file("ttyUSB9") + ": no such device (is the meter plugged in?)"},
        {file, "cannot open the port " + file + ": not a serial device"},
        {"/dev/null", "cannot open the port /dev/null: not a serial device"},
        {dir.path().string(), "cannot open the port " + dir.path().string() + ": it is a folder, not a serial device"},
    };
    if (::geteuid() != 0) // root opens anything
        cases.push_back({locked, "cannot open the port " + locked +
                                     ": permission denied (add your user to the dialout group: sudo usermod -aG dialout $USER, then log in again)"});
    for (const Case& c : cases) EXPECT_EQ(portFailureOf(c.device), c.message);
}

TEST(DownloadSession, ADeviceAnotherProgramHoldsIsBusy)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root opens a claimed terminal anyway";
    ertkit_sim::MeterSimulator meter(ertkit_sim::MeterMemory::records(2, 2));
    TPortUSB holder(meter.devicePath());
    ASSERT_EQ(holder.open({}, 0, 0, {}, false, {}, 0), 1);
    EXPECT_EQ(portFailureOf(meter.devicePath()), "cannot open the port " + meter.devicePath() + ": busy (another program is using it)");
}

TEST(DownloadSession, MeasuresOfARawTransferStartWhenTheRecordingsPagesDo)
{
    // The meter's time stamps count in the receivers' time base, like the pages' dates.
    ertkit_sim::MeterSimulator meter(ertkit_sim::MeterMemory::rawTransfer(true, 2));
    DownloadSession session(ertkit_sim::noPauses(meter.devicePath()));
    DummyProgressCallback progress;
    session.fetch(0, 1, "*", progress);
    ASSERT_TRUE(session.failures().empty()) << session.failures()[0].message;
    const BINX_File binx = session.measures(progress);
    ASSERT_EQ(binx.getDatas().size(), 2u);
    ertkit_test::TempDir dir;
    const std::filesystem::path recording = session.writeRecording(dir.path() / "line.binx");
    const IAB_VMN_File pages(recording.string());
    ASSERT_GT(pages.getNStarts(), 0u);
    // Each measure was stamped with the second its data began: the same calendar time as the
    // recording gives them, to the second (stamps are whole seconds, stored as day numbers).
    const std::uint64_t per_measure = pages.getNsample(0) / 2;
    for (unsigned int k = 0; k < 2; ++k) {
        const HighPrecisionTime measure = binx.getData(k).getStartTime(true);
        const HighPrecisionTime data = pages.getStartTime(0) + pages.getSampleTime(0) * static_cast<std::int64_t>(k * per_measure);
        EXPECT_LT(HighPrecisionTime::absDiff(measure, data), HighPrecisionTime::s_second)
            << k << ": " << HighPrecisionTime::convertDateTime(measure) << " vs " << HighPrecisionTime::convertDateTime(data);
    }
}

TEST(DownloadSession, OnlyStampedRecordsGetATime)
{
    // Version 2 records carry no time stamp: no time, rather than the receivers' origin (1970).
    for (const std::uint32_t version : {2u, 3u}) {
        ertkit_sim::MeterSimulator meter(ertkit_sim::MeterMemory::records(version, 2));
        DownloadSession session(ertkit_sim::noPauses(meter.devicePath()));
        DummyProgressCallback progress;
        session.fetch(0, 1, "L", progress);
        ASSERT_TRUE(session.failures().empty()) << session.failures()[0].message;
        const BINX_File binx = session.measures(progress);
        ASSERT_EQ(binx.getDatas().size(), 2u);
        for (unsigned int k = 0; k < 2; ++k) {
            const auto time = storedTime(binx.getData(k).getStartTime(true));
            EXPECT_EQ(time.has_value(), version == 3) << version;
            if (version == 3) {
                EXPECT_EQ(receiverSeconds(*time), meter.memory().zmeasures[k].time_stamp);
            }
        }
    }
}

TEST(DownloadSession, ReceiverTimeRoundTripsAStamp)
{
    for (const std::uint32_t stamp : {0u, 1700000000u, 0x80000000u, 0xFFFFFFFFu}) EXPECT_EQ(receiverSeconds(receiverTime(stamp)), stamp);
    EXPECT_EQ(HighPrecisionTime::convertDateTime(receiverTime(0)), 25569.0); // 1970-01-01
}

class StopAfter : public ProgressCallback {
public:
    explicit StopAfter(std::chrono::milliseconds after) : m_at(std::chrono::steady_clock::now() + after) {}
    bool isCancelled() override { return std::chrono::steady_clock::now() >= m_at; }

private:
    std::chrono::steady_clock::time_point m_at;
};

TEST(DownloadSession, AProgressSinkThatAsksToStopCancelsTheDownload)
{
    ertkit_sim::MeterBehaviour silent;
    silent.silent_after_bytes = 40;
    ertkit_sim::MeterSimulator meter(ertkit_sim::MeterMemory::records(3, 5), silent);
    DownloadSession session(meter.devicePath());
    StopAfter progress(200ms);
    const auto start = std::chrono::steady_clock::now();
    session.fetch(0, 4, "L", progress);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(session.cancelled());
    ASSERT_EQ(session.failures().size(), 1u);
    EXPECT_EQ(session.failures()[0].message, "download cancelled");
    // The meter was told to stop before the port closed.
    EXPECT_TRUE(meter.waitUntil([](const ertkit_sim::MeterLog& log) { return log.hang_ups > 0; }));
    const auto log = meter.log();
    ASSERT_FALSE(log.received.empty());
    EXPECT_EQ(log.received.back(), TarvexKesta_File::END_BYTE);
}

// Holds each download at its first record until every one of them has reached its own, so that
// they are all under way at once. A download that never comes gives up the meeting (and fails
// the test) rather than hanging it.
class Meeting {
public:
    explicit Meeting(int expected) : m_missing(expected) {}
    bool arrive()
    {
        std::unique_lock lock(m_mutex);
        if (--m_missing == 0) m_all_here.notify_all();
        return m_all_here.wait_for(lock, 60s, [this] { return m_missing <= 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_all_here;
    int m_missing;
};

class MeetAtFirstRecord : public ProgressCallback {
public:
    explicit MeetAtFirstRecord(Meeting& meeting) : m_meeting(meeting) {}
    void setPosition(unsigned int) override
    {
        if (!m_arrived) met = m_meeting.arrive();
        m_arrived = true;
    }
    bool met = false;

private:
    Meeting& m_meeting;
    bool m_arrived = false;
};

TEST(DownloadSession, TwoMetersOnTwoPortsDownloadAtOnce)
{
    const std::uint32_t counts[] = {4, 6};
    ertkit_sim::MeterSimulator first(ertkit_sim::MeterMemory::records(3, counts[0]));
    ertkit_sim::MeterSimulator second(ertkit_sim::MeterMemory::records(3, counts[1]));
    ertkit_sim::MeterSimulator* meters[] = {&first, &second};
    Meeting meeting(2);
    std::vector<std::unique_ptr<DownloadSession>> sessions;
    std::vector<std::unique_ptr<MeetAtFirstRecord>> sinks;
    for (auto* meter : meters) {
        sessions.push_back(std::make_unique<DownloadSession>(ertkit_sim::noPauses(meter->devicePath())));
        sinks.push_back(std::make_unique<MeetAtFirstRecord>(meeting));
    }
    {
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < 2; ++i)
            threads.emplace_back([&, i] { sessions[i]->fetch(0, counts[i] - 1, "L", *sinks[i]); });
    }
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(sinks[i]->met) << "download " << i << " ran alone";
        ASSERT_TRUE(sessions[i]->failures().empty()) << sessions[i]->failures()[0].message;
        DummyProgressCallback progress;
        const BINX_File binx = sessions[i]->measures(progress);
        // Each from its own meter, whose time stamps OnlyStampedRecordsGetATime follows.
        EXPECT_EQ(binx.getDatas().size(), counts[i]);
    }
}

} // namespace
