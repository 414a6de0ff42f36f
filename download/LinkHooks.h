#pragma once

#include <download/TPortVirt.h>

#include <functional>
#include <memory>

// What the download object takes from its surroundings to talk to a meter: the USB port object
// it opens, and the pause it makes between two tries of a record. A host never touches these;
// they exist so that the tests and the fuzzer can run the whole exchange against bytes in
// memory, without a device and without waiting. The defaults are the real serial port and a
// real sleep.
//
// The time scale stretches or shrinks the exchange's own waits (its read time-outs and the
// pauses between two tries): a test that runs a slow simulated meter at a tenth of its pace
// runs the host at the same tenth, so that their timings meet as they would at full pace. The
// host's silence limit (LinkWatch) is not scaled: it is the host's own setting.
//
// The setting is process-wide and not guarded: change it only while no download runs.
struct LinkHooks {
    std::function<std::unique_ptr<TPortVirt>()> make_usb_port;
    std::function<void(int milliseconds)> pause;
    double time_scale = 1.0;

    static LinkHooks defaults();
    // The setting in force; assign to it to change it.
    static LinkHooks& current();

    // Either member left empty (or a factory that gives no port) falls back to its default.
    static std::unique_ptr<TPortVirt> makeUsbPort();
    // Pauses for `milliseconds` of the exchange's time, that is scaled(milliseconds).
    static void pauseFor(int milliseconds);
    // A wait of the exchange in real milliseconds (at least 1 for a positive wait).
    static int scaled(int milliseconds);
};
