#include <download/LinkSettings.h>

#include <download/LinkWatch.h>
#include <download/TPortUSB.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

// Slept in slices, so that a host's request to stop is seen within one.
void sleepFor(int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
        LinkWatch::checkCancelled();
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, LinkWatch::s_poll_interval));
    }
}

} // namespace

std::unique_ptr<TPortVirt> LinkSettings::makeUsbPort() const
{
    std::unique_ptr<TPortVirt> port = make_usb_port ? make_usb_port() : nullptr;
    return port ? std::move(port) : std::make_unique<TPortUSB>(device);
}

void LinkSettings::pauseFor(int milliseconds) const
{
    LinkWatch::checkCancelled();
    if (pause) pause(scaled(milliseconds));
    else sleepFor(scaled(milliseconds));
}

int LinkSettings::scaled(int milliseconds) const
{
    if (time_scale == 1.0 || milliseconds <= 0 || !(time_scale > 0.0)) return milliseconds;
    return std::max(1, static_cast<int>(std::lround(milliseconds * time_scale)));
}
