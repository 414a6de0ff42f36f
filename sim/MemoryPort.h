#pragma once

// A meter in memory: a port that serves a fixed byte stream, for running the whole download
// exchange without a device and without waiting (tests and the download fuzzer).

#include <download/LinkSettings.h>
#include <download/TPortVirt.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ertkit_sim {

// What the host did to the port, kept after the download object dropped it.
struct MemoryPortLog {
    std::vector<std::uint8_t> sent;    // every byte the host sent, in order
    std::vector<int> timeouts;         // the time-out of every read, in order
    unsigned int opens = 0;
    unsigned int closes = 0;
    unsigned int rx_clears = 0;
};

// What the meter in memory sends and how it behaves.
struct MemoryMeter {
    // Once the stream is used up the meter has either finished (every 4-byte read yields the end
    // index 0xFFFFFFFF, any other read nothing) or fallen silent (every read yields nothing).
    enum class AfterStream { EndIndex, Silence };

    std::vector<std::uint8_t> stream;
    AfterStream after = AfterStream::EndIndex;
    std::string name = "MEMORY-METER"; // empty: the meter never identifies itself
};

class MemoryPort : public TPortVirt {
public:
    static constexpr const char* s_speed = "115200 baud";

    MemoryPort(MemoryMeter meter, std::shared_ptr<MemoryPortLog> log);

    int open(std::function<bool()> retry, int, long, std::string, bool, std::string, int) override;
    bool isPortComOpen() const override { return m_open; }
    bool setBaud(std::string& system, std::string& speed) override;
    // Serves min(count, bytes left) bytes at once; the meter never makes the host wait. The
    // port keeps a clock of its own that only a read left short moves, by its whole time-out,
    // so that a watched silence runs out without any real waiting.
    int readBufferTimed(void* buffer, int count, int timeout_ms) override;
    void putCom(unsigned char byte) override;
    // The stream holds what the meter sends next, not what already arrived: nothing to drop.
    void clearRxBuffer() override;
    void close() override;
    bool hasInput() override { return m_read < m_meter.stream.size(); }

protected:
    std::chrono::steady_clock::time_point linkClock() const override { return m_clock; }

private:
    MemoryMeter m_meter;
    std::chrono::steady_clock::time_point m_clock{};
    std::size_t m_read = 0;
    std::shared_ptr<MemoryPortLog> m_log;
    bool m_open = false;
};

// The settings of a download from the serial device `device` whose pauses between retries
// take no time; the port stays the real one.
LinkSettings noPauses(std::string device);

// A meter in memory for the downloads given its settings: every USB port they open is a
// MemoryPort playing `meter`, and the pauses between retries take no time.
class MemoryLink {
public:
    explicit MemoryLink(const MemoryMeter& meter);
    explicit MemoryLink(std::vector<std::uint8_t> stream) : MemoryLink(MemoryMeter{std::move(stream)}) {}

    const MemoryPortLog& log() const { return *m_log; }
    // Bytes sent after the range: the name, acknowledges and end byte.
    std::vector<std::uint8_t> sentAfterRange() const;
    // Pauses asked for, in milliseconds, in order.
    const std::vector<int>& pauses() const { return *m_pauses; }
    // The settings that put a download on this meter; they share its log.
    LinkSettings settings() const;

private:
    MemoryMeter m_meter;
    std::shared_ptr<MemoryPortLog> m_log = std::make_shared<MemoryPortLog>();
    std::shared_ptr<std::vector<int>> m_pauses = std::make_shared<std::vector<int>>();
};

} // namespace ertkit_sim
