#pragma once

#include <chrono>
#include <functional>
#include <stdexcept>

// What a host may ask of the downloads it runs on a thread, beyond the exchange itself
// (docs/link-protocol.md, "Silence and cancellation"):
//
// - A limit on the meter's silence once records are being transferred. The record loop asks
//   again for a record it did not get, without end, so a meter that went silent or a cable
//   pulled out would keep it waiting for ever. Once no byte has come from the meter for
//   `silence_limit`, or its device has gone, the wait fails with LinkLost. Every retry of the
//   exchange still happens inside the limit.
// - A way to stop: `cancelled` is asked at least every s_poll_interval while the download
//   waits for the meter (reads, and the pauses between two tries of a record); when it
//   answers true the wait fails with LinkCancelled.
//
// Either failure ends the exchange like any other: the error callback receives its message,
// the end byte 0x81 is sent and the port closed. The setting belongs to the thread that makes
// it and holds while its ScopedLinkWatch lives; without one, downloads have the default limit
// and cannot be cancelled.
struct LinkWatch {
    static constexpr std::chrono::milliseconds s_default_silence_limit{10000};
    static constexpr std::chrono::milliseconds s_poll_interval{100};

    std::chrono::milliseconds silence_limit = s_default_silence_limit;
    std::function<bool()> cancelled;
    // The limit bounds the two handshake words too, which otherwise wait 20 s each: for a host
    // whose user set the limit, so that a meter silent from the start is given up as soon.
    bool bounds_handshake = false;

    // The setting in force on this thread.
    static const LinkWatch& current();
    // Throws LinkCancelled when the setting in force asks to stop.
    static void checkCancelled();
};

class ScopedLinkWatch {
public:
    explicit ScopedLinkWatch(LinkWatch watch);
    ~ScopedLinkWatch();
    ScopedLinkWatch(const ScopedLinkWatch&) = delete;
    ScopedLinkWatch& operator=(const ScopedLinkWatch&) = delete;

private:
    LinkWatch m_previous;
};

// The host asked to stop: "download cancelled".
class LinkCancelled : public std::runtime_error {
public:
    LinkCancelled();
};

// The meter fell silent for longer than the limit, or its device went away.
class LinkLost : public std::runtime_error {
public:
    static constexpr const char* s_device_gone = "The meter's device has gone (unplugged?)";
    using std::runtime_error::runtime_error;
};
