#include <services/Interruption.h>

#include <csignal>

namespace ertkit {

namespace {

volatile std::sig_atomic_t s_signal = 0;

} // namespace

void requestInterruption(int signal) noexcept
{
    s_signal = signal;
}

int interruptionSignal() noexcept
{
    return s_signal;
}

Interrupted::Interrupted() : std::runtime_error("interrupted") {}

} // namespace ertkit
