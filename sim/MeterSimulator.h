#pragma once

#include <sim/MeterMemory.h>
#include <sim/PseudoTerminal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ertkit_sim {

// Ways to spoil one sending of a record.
enum class RecordFault {
    WrongChecksum,   // checksum word one above the true sum (the same wrong value every time)
    GarbledByte,     // one summed byte flipped, the true checksum sent
    GarbledZeroSum,  // one summed byte flipped and a checksum word of 0
    DroppedBytes,    // ten record bytes left out, the checksum sent
    TruncatedRecord, // index (and time stamp) and half the record, then nothing
    MissingIndex,    // nothing at all
    TruncatedIndex,  // two bytes of the index word, then nothing
    MissingChecksum, // index, time stamp and record, no checksum
    Garbage,         // the index, then 400 bytes of noise that read as absurd words
};

struct FaultPlan {
    std::uint32_t index = 0; // absolute slot index
    RecordFault fault = RecordFault::WrongChecksum;
    unsigned int times = 1;  // the first `times` sendings of the slot are spoilt
};

// How the meter behaves apart from its memory.
struct MeterBehaviour {
    std::string name = "SIM-METER 1.0";
    bool silent = false;                     // never answers anything
    std::optional<std::uint32_t> version;    // version word sent instead of the memory's
    std::optional<std::uint32_t> size;       // size word sent instead of the right one
    bool hang_up_before_version = false;     // the device vanishes right after identifying
    bool hang_up_in_size = false;            // ... after the version word and two size bytes
    bool end_above_last = false;             // end a transfer with last + 1 rather than 0xFFFFFFFF
    std::optional<std::uint32_t> raw_count;  // byte count announced instead of the real one
    std::optional<std::size_t> raw_limit;    // raw bytes actually sent, at most
    bool hang_up_after_raw_limit = false;    // ... and then the device vanishes
    std::vector<FaultPlan> faults;
    // Link faults, counted in bytes the meter sent since it last identified itself (the
    // identification answer included): it stops answering for good, or its device vanishes,
    // once it has sent that many bytes.
    std::optional<std::size_t> silent_after_bytes;
    std::optional<std::size_t> hang_up_after_bytes;
    // A slow meter: waits this long before each sending of a record or end index.
    std::chrono::milliseconds answer_delay{0};
    // Real time = meter time × time_scale for the meter's own waits (answer delay, the grace
    // before a hang-up), so that tests keep them short.
    double time_scale = 1.0;
};

// What the simulator saw and did; one entry in `sessions` per identification answered.
struct MeterSession {
    std::vector<std::uint8_t> received; // every byte from the host, identification request first
    bool range_received = false;
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::vector<std::uint8_t> name;     // the name bytes as received
    std::vector<std::uint8_t> acks;     // acknowledge bytes in order
    std::vector<std::uint32_t> indexes; // index words sent, end marker included
    std::size_t raw_sent = 0;
};

struct MeterLog {
    std::vector<std::uint8_t> received; // every byte from the host, sessions or not
    std::vector<MeterSession> sessions;
    unsigned int identification_requests = 0;
    unsigned int hang_ups = 0;          // times the host closed the device
};

// Plays the meter's side of the whole download exchange (see docs/link-protocol.md) on a
// pseudo-terminal, in a thread of its own, until destroyed.
class MeterSimulator {
public:
    explicit MeterSimulator(MeterMemory memory, MeterBehaviour behaviour = {});
    ~MeterSimulator();
    MeterSimulator(const MeterSimulator&) = delete;
    MeterSimulator& operator=(const MeterSimulator&) = delete;

    // The device path to give the port layer.
    const std::string& devicePath() const { return m_terminal.slavePath(); }
    const MeterMemory& memory() const { return m_memory; }

    MeterLog log() const;
    // Waits until the log satisfies `condition`; false on time-out.
    bool waitUntil(const std::function<bool(const MeterLog&)>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

private:
    using Status = PseudoTerminal::Status;

    void run();
    bool readByte(std::uint8_t& byte, std::chrono::milliseconds timeout);
    bool readWord(std::uint32_t& word, std::chrono::milliseconds timeout);
    bool send(const std::vector<std::uint8_t>& bytes);
    void serveSession();
    bool sendHandshake(std::uint32_t version);
    void serveRecords(std::uint32_t version);
    bool receiveName();
    bool sendSlot(std::uint32_t version, std::uint32_t index);
    void serveRaw();
    std::optional<RecordFault> takeFault(std::uint32_t index);
    void update(const std::function<void(MeterLog&)>& change);
    void hangUp();
    void pause(std::chrono::milliseconds meter_time) const;

    const MeterMemory m_memory;
    const MeterBehaviour m_behaviour;
    PseudoTerminal m_terminal;
    std::map<std::uint32_t, unsigned int> m_sendings;
    bool m_connected = false;
    bool m_idle = true;
    std::uint32_t m_first = 0; // range of the session being served
    std::uint32_t m_last = 0;
    bool m_gone = false;
    std::size_t m_sent = 0; // bytes sent since the last identification
    bool m_mute = false;    // stopped answering for good

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    MeterLog m_log;

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace ertkit_sim
