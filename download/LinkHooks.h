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
// The setting is process-wide and not guarded: change it only while no download runs.
struct LinkHooks {
    std::function<std::unique_ptr<TPortVirt>()> make_usb_port;
    std::function<void(int milliseconds)> pause;

    static LinkHooks defaults();
    // The setting in force; assign to it to change it.
    static LinkHooks& current();

    // Either member left empty (or a factory that gives no port) falls back to its default.
    static std::unique_ptr<TPortVirt> makeUsbPort();
    static void pauseFor(int milliseconds);
};
