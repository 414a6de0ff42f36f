#pragma once

#include <stdexcept>

namespace ertkit {

// A request to stop the work under way, made by a front end from a signal handler. The front
// end's progress sinks answer it as a cancellation (a download then tells the meter to stop),
// and no output is committed once it is made (AtomicOutput throws Interrupted instead).
void requestInterruption(int signal) noexcept; // safe in a signal handler
// The signal that asked, 0 while none did.
int interruptionSignal() noexcept;

class Interrupted : public std::runtime_error {
public:
    Interrupted();
};

// Removes the temporary files of the outputs being written, for a front end that must end at
// once (a second signal): safe in a signal handler.
void removeTemporaryOutputs() noexcept;

} // namespace ertkit
