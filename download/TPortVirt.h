#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

class ProgressCallback;

// The serial link to a meter, as the download object drives it. The byte-level exchanges that
// belong to the link itself (identifying the meter, framing a raw full-wave transfer) are this
// layer's own and are described in docs/link-protocol.md; everything else is the download's.
class TPortVirt {
public:
    // Stored on 32 bits by the host; values other than these two are representable and mean
    // "no link" to the download object.
    enum TypePort : std::int32_t { USB = 0, WIFI = 1 };

    // Identification exchange: the host sends the request byte, the meter answers with the
    // answer byte, a length byte (1 to s_max_name_length) and that many printable characters.
    static constexpr unsigned char s_identify_request = 0x05;
    static constexpr unsigned char s_identify_answer = 0x06;
    static constexpr int s_max_name_length = 63;
    // Raw transfers: a 32-bit little-endian byte count, then the bytes. A count above this bound
    // is refused before anything is allocated; the buffer then grows only with bytes received.
    static constexpr std::uint32_t s_max_raw_transfer = 1u << 30;
    static constexpr int s_raw_count_timeout_ms = 20000;
    static constexpr int s_raw_chunk_size = 4096;
    static constexpr int s_raw_chunk_timeout_ms = 5000;

    TPortVirt() = default;
    virtual ~TPortVirt();
    TPortVirt(const TPortVirt&) = delete;
    TPortVirt& operator=(const TPortVirt&) = delete;

    // Returns 0 when no link could be opened; `retry` is asked whether to try again.
    virtual int open(std::function<bool()> retry, int, long, std::string, bool, std::string, int) = 0;
    virtual bool isPortComOpen() const = 0;
    // Finds the meter's speed; on success writes the meter's name into `system` and the speed
    // into `speed`, otherwise leaves both as given.
    virtual bool setBaud(std::string& system, std::string& speed) = 0;
    // Number of bytes received within `timeout_ms` (at most `count`).
    virtual int readBufferTimed(void* buffer, int count, int timeout_ms) = 0;
    virtual void putCom(unsigned char byte) = 0;
    virtual void clearRxBuffer() = 0;
    virtual void close() = 0;
    // Whether bytes from the meter wait to be read (none unless an implementation can tell).
    virtual bool hasInput() { return false; }

    // Receives one whole raw transfer into the internal buffer; `complete` is set once every
    // announced byte arrived. Throws std::runtime_error on a time-out or an oversized count.
    void xbtCLoadBuffer(bool& complete, ProgressCallback& progress);
    // Writes the internal buffer to a file; throws std::runtime_error when it cannot.
    void saveToFile(std::string path);
    void copyStream(std::stringstream& stream);

    const std::vector<char>& buffer() const { return m_buffer; }

    // From now on, reads fail with LinkLost once the meter has sent nothing for the silence
    // limit of the thread's LinkWatch, or at once when its device has gone. The download arms
    // it when the record transfer starts; a fresh port is not watched.
    void watchSilence();
    // Whether a read found the meter's device gone, watched or not.
    bool deviceHasGone() const { return m_gone; }
    // The time on the link's clock: the time the reads and the silence limit count in.
    std::chrono::steady_clock::time_point now() const { return linkClock(); }

    // Words travel on the link as four bytes, lowest first.
    static std::uint32_t decodeWord(const unsigned char* bytes)
    {
        return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
               std::uint32_t{bytes[3]} << 24;
    }

protected:
    // For the implementations of readBufferTimed. The time is on linkClock().
    // Throws LinkCancelled when the host asked to stop, LinkLost when the watched silence is over.
    void checkLink(std::chrono::steady_clock::time_point now) const;
    // Bytes came from the meter.
    void heardMeter(std::chrono::steady_clock::time_point now) { m_last_heard = now; }
    // The device is gone: throws LinkLost when the silence is watched, else returns.
    void deviceGone();
    // When the watched silence will be over (never while not watched).
    std::chrono::steady_clock::time_point silenceDeadline() const;
    virtual std::chrono::steady_clock::time_point linkClock() const { return std::chrono::steady_clock::now(); }

private:
    std::uint32_t receiveRawCount();

    bool m_watching = false;
    bool m_gone = false;
    std::chrono::steady_clock::time_point m_last_heard{};

    std::vector<char> m_buffer;
};
