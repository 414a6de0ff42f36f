#pragma once

#include <download/TPortVirt.h>

#include <functional>
#include <memory>
#include <string>

// How one download object reaches its meter: the serial device to open, and what the exchange
// takes from its surroundings. They belong to the object, not to the process, so that two
// downloads on two ports can run at once, each on its own thread.
//
// Beside the device, a host leaves everything as it is. The port factory, the pause and the
// time scale exist so that the tests and the fuzzer can run the whole exchange against bytes
// in memory, without a device and without waiting; left empty they are the real serial port
// and a real sleep.
//
// The time scale stretches or shrinks the exchange's own waits (its read time-outs and the
// pauses between two tries): a test that runs a slow simulated meter at a tenth of its pace
// runs the host at the same tenth, so that their timings meet as they would at full pace. The
// host's silence limit (LinkWatch) is not scaled: it is the host's own setting.
struct LinkSettings {
    // The serial device; empty lets the port look for the meter (TPortUSB).
    std::string device;
    std::function<std::unique_ptr<TPortVirt>()> make_usb_port;
    std::function<void(int milliseconds)> pause;
    double time_scale = 1.0;

    // The port a download opens: the factory's, or a serial port on the device when the factory
    // is empty or gives none.
    std::unique_ptr<TPortVirt> makeUsbPort() const;
    // Pauses for `milliseconds` of the exchange's time, that is scaled(milliseconds).
    void pauseFor(int milliseconds) const;
    // A wait of the exchange in real milliseconds (at least 1 for a positive wait).
    int scaled(int milliseconds) const;
};
