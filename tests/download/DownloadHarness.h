#pragma once

// Shared pieces of the download tests: a download object whose protected parts the tests reach,
// a progress sink that records its calls, a simulated meter the USB port is pointed at, and the
// measures a download of it should hold.

#include <download/TPortUSB.h>
#include <download/TarvexKesta_File.h>
#include <host/ProgressCallback.h>
#include <sim/MeterSimulator.h>

#include <sim/MemoryPort.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <optional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace download_test {

// The two acknowledges, as bytes on the link.
inline constexpr std::uint8_t OLD = TarvexKesta_File::OLD_DATADOWNLOAD;
inline constexpr std::uint8_t NEW = TarvexKesta_File::NEW_DATADOWNLOAD;

struct CallbackLog {
    std::vector<TPortVirt::TypePort> port_callbacks;
    int open_failures = 0;
    int open_successes = 0;
    std::vector<std::pair<int, std::string>> errors;
};

class TestDownload : public TarvexKesta_File {
public:
    explicit TestDownload(TPortVirt::TypePort type = TPortVirt::USB, bool accept_link = true)
        : TestDownload(std::make_shared<CallbackLog>(), type, accept_link)
    {
    }

    using TarvexKesta_File::importRawFile;
    using TarvexKesta_File::initUSB;

    const CallbackLog& calls() const { return *m_calls; }
    bool hasPort() const { return m_port != nullptr; }
    bool portOpen() const { return m_port && m_port->isPortComOpen(); }
    int version() const { return m_version; }
    const std::vector<TZMeasure>& zmeasures() const { return m_tab_tzmeasure; }
    std::vector<TZMeasure>& zmeasures() { return m_tab_tzmeasure; }
    const std::vector<TMeasure>& measures() const { return m_tab_tmeasure; }
    std::vector<TMeasure>& measures() { return m_tab_tmeasure; }
    std::string rawStream() const { return m_raw_stream.str(); }
    void clearErrorCallback() { m_on_error = nullptr; }
    void setLink(LinkSettings link) { m_link = std::move(link); }
    // As if a transfer of this version had brought these bytes.
    void setTransfer(int version, const std::string& bytes)
    {
        m_version = version;
        m_raw_stream.str(bytes);
        m_raw_stream.clear();
    }

private:
    TestDownload(std::shared_ptr<CallbackLog> calls, TPortVirt::TypePort type, bool accept_link)
        : TarvexKesta_File([calls](TPortVirt::TypePort port) { calls->port_callbacks.push_back(port); return false; },
                           [calls] { ++calls->open_failures; },
                           [calls, accept_link] { ++calls->open_successes; return accept_link; },
                           [calls](int code, std::string message) { calls->errors.emplace_back(code, std::move(message)); },
                           type, "test download"),
          m_calls(std::move(calls))
    {
    }

    std::shared_ptr<CallbackLog> m_calls;
};

// Every progress call, as a short text, in order.
using RecordingProgress = ertkit_test::ProgressLog;

// A simulated meter on a pseudo-terminal, for the USB port layer to open.
class MeterOnPort {
public:
    explicit MeterOnPort(ertkit_sim::MeterMemory memory, ertkit_sim::MeterBehaviour behaviour = {})
        : m_sim(std::move(memory), std::move(behaviour))
    {
    }
    MeterOnPort(const MeterOnPort&) = delete;
    MeterOnPort& operator=(const MeterOnPort&) = delete;

    ertkit_sim::MeterSimulator& sim() { return m_sim; }
    // The settings of a download from this meter.
    LinkSettings link() const { return LinkSettings{m_sim.devicePath(), nullptr, nullptr, 1.0}; }
    ertkit_sim::MeterLog log() const { return m_sim.log(); }
    // Waits for the host to close the device, then returns what the meter saw.
    ertkit_sim::MeterLog logAfterHangUp()
    {
        m_sim.waitUntil([](const ertkit_sim::MeterLog& log) { return log.hang_ups > 0; });
        return m_sim.log();
    }

private:
    ertkit_sim::MeterSimulator m_sim;
};

// One download against a simulated meter: the meter, the object and the sink of a test. The
// pauses between retries take no time: the simulator does not need them, the read time-outs
// still run, and the pauses asked for are checked against the in-memory meter.
class DownloadRun {
public:
    explicit DownloadRun(ertkit_sim::MeterMemory memory, ertkit_sim::MeterBehaviour behaviour = {})
        : meter(std::move(memory), std::move(behaviour))
    {
        download.setLink(ertkit_sim::noPauses(meter.sim().devicePath()));
    }
    DownloadRun& run(std::uint32_t first, std::uint32_t last, const std::string& name = "L")
    {
        download.download(first, last, progress, name);
        return *this;
    }
    const ertkit_sim::MeterMemory& memory() { return meter.sim().memory(); }
    ertkit_sim::MeterSession session() { return meter.log().sessions.at(0); }

    MeterOnPort meter;
    TestDownload download;
    RecordingProgress progress;
};

inline ertkit_sim::MeterBehaviour withFaults(std::vector<ertkit_sim::FaultPlan> faults)
{
    ertkit_sim::MeterBehaviour behaviour;
    behaviour.faults = std::move(faults);
    return behaviour;
}

// Points the system temporary folder somewhere else while it lives.
class TemporaryFolderOverride {
public:
    explicit TemporaryFolderOverride(const std::string& folder)
    {
        if (const char* previous = std::getenv("TMPDIR")) m_previous = previous;
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TemporaryFolderOverride()
    {
        if (m_previous) ::setenv("TMPDIR", m_previous->c_str(), 1);
        else ::unsetenv("TMPDIR");
    }
    TemporaryFolderOverride(const TemporaryFolderOverride&) = delete;
    TemporaryFolderOverride& operator=(const TemporaryFolderOverride&) = delete;

private:
    std::optional<std::string> m_previous;
};

template <typename Record>
bool sameBytes(const Record& a, const Record& b)
{
    return std::memcmp(&a, &b, sizeof(Record)) == 0;
}

// The slots of [first, last] that hold a measure, as a download stores them: empty ones left
// out, version 2 without its time stamp (it travels only in version 3).
template <typename Record>
std::vector<Record> storedSlots(const std::vector<Record>& slots, std::uint32_t version, std::uint32_t first, std::uint32_t last)
{
    std::vector<Record> stored;
    for (std::uint32_t index = first; index <= last && index < slots.size(); ++index) {
        if (slots[index].head.isEmptySlot()) continue;
        stored.push_back(slots[index]);
        if constexpr (std::is_same_v<Record, TarvexKesta_File::TZMeasure>) {
            if (version == 2) stored.back().time_stamp = 0;
        }
    }
    return stored;
}

template <typename Record>
void expectSameRecords(const std::vector<Record>& got, const std::vector<Record>& expected)
{
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(sameBytes(got[i], expected[i])) << "record " << i;
}

// A download holds every served measure of [first, last] once, intact and in order, and nothing else.
inline void expectStored(const TestDownload& download, const ertkit_sim::MeterMemory& memory, std::uint32_t first, std::uint32_t last)
{
    expectSameRecords(download.measures(), storedSlots(memory.measures, memory.version, first, last));
    expectSameRecords(download.zmeasures(), storedSlots(memory.zmeasures, memory.version, first, last));
}

} // namespace download_test
