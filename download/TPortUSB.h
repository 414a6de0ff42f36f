#pragma once

#include <download/TPortVirt.h>

#include <string>
#include <utility>
#include <vector>

// The USB link: a USB serial device driven through the POSIX terminal interface in raw mode.
// The port finds the meter itself (the first of /dev/serial/by-id/*, /dev/ttyUSB*,
// /dev/ttyACM*) unless it is given a device.
class TPortUSB : public TPortVirt {
public:
    // Speeds tried by setBaud, fastest first; the link opens at the first one.
    static const std::vector<int> s_speeds;
    static constexpr int s_identify_timeout_ms = 500;

    TPortUSB() = default;
    // A port that opens `device` instead of searching (an empty one searches).
    explicit TPortUSB(std::string device) : m_device(std::move(device)) {}
    ~TPortUSB() override;

    const std::string& device() const { return m_device; }
    // Candidate devices in search order.
    static std::vector<std::string> findDevices();

    // Why the last open on this thread failed: the device tried (empty when the search found
    // none) and the system's error number (ENOTTY for a device that is not a terminal, EBUSY
    // for one another program holds).
    struct OpenFailure {
        std::string device;
        int error = 0;
    };
    static OpenFailure lastOpenFailure();

    // The numeric and text arguments belong to the host's port interface and are not used by
    // this implementation. Returns 1 once a device is open and configured.
    int open(std::function<bool()> retry, int, long, std::string, bool, std::string, int) override;
    bool isPortComOpen() const override { return m_fd >= 0; }
    bool setBaud(std::string& system, std::string& speed) override;
    int readBufferTimed(void* buffer, int count, int timeout_ms) override;
    void putCom(unsigned char byte) override;
    void clearRxBuffer() override;
    void close() override;
    bool hasInput() override;

private:
    bool openDevice(const std::string& path);
    bool applySpeed(int baud);
    bool identify(std::string& name);

    std::string m_device;
    int m_fd = -1;
};
