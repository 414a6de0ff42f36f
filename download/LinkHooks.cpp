#include <download/LinkHooks.h>

#include <download/LinkWatch.h>
#include <download/TPortUSB.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

std::unique_ptr<TPortVirt> newSerialPort()
{
    return std::make_unique<TPortUSB>();
}

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

LinkHooks LinkHooks::defaults()
{
    return LinkHooks{newSerialPort, sleepFor, 1.0};
}

LinkHooks& LinkHooks::current()
{
    static LinkHooks hooks = defaults();
    return hooks;
}

std::unique_ptr<TPortVirt> LinkHooks::makeUsbPort()
{
    const LinkHooks& hooks = current();
    std::unique_ptr<TPortVirt> port = hooks.make_usb_port ? hooks.make_usb_port() : nullptr;
    return port ? std::move(port) : newSerialPort();
}

void LinkHooks::pauseFor(int milliseconds)
{
    LinkWatch::checkCancelled();
    const LinkHooks& hooks = current();
    if (hooks.pause) hooks.pause(scaled(milliseconds));
    else sleepFor(scaled(milliseconds));
}

int LinkHooks::scaled(int milliseconds)
{
    const double scale = current().time_scale;
    if (scale == 1.0 || milliseconds <= 0 || !(scale > 0.0)) return milliseconds;
    return std::max(1, static_cast<int>(std::lround(milliseconds * scale)));
}
