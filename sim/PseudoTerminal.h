#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ertkit_sim {

// The master side of a pseudo-terminal in raw mode. Whoever opens the slave device (its path
// is slavePath()) talks to this side through the kernel exactly as to a serial device. All
// waits are cut in short slices so that a stop request is seen quickly.
class PseudoTerminal {
public:
    enum class Status { Ok, TimedOut, HungUp, Stopped };

    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& slavePath() const { return m_slave_path; }
    // HungUp while nobody has the slave open (or after hangUp()).
    Status readByte(std::uint8_t& byte, std::chrono::milliseconds timeout, const std::atomic<bool>& stop);
    Status write(const std::uint8_t* data, std::size_t size, const std::atomic<bool>& stop);
    // Closes the master: to the slave side the device has gone.
    void hangUp();

private:
    Status waitFor(short events, std::chrono::milliseconds timeout, const std::atomic<bool>& stop);

    int m_master = -1;
    std::string m_slave_path;
};

} // namespace ertkit_sim
