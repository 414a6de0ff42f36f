#include <download/LinkHooks.h>

#include <download/TPortUSB.h>

#include <chrono>
#include <thread>

namespace {

std::unique_ptr<TPortVirt> newSerialPort()
{
    return std::make_unique<TPortUSB>();
}

void sleepFor(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace

LinkHooks LinkHooks::defaults()
{
    return LinkHooks{newSerialPort, sleepFor};
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
    const LinkHooks& hooks = current();
    if (hooks.pause) hooks.pause(milliseconds);
    else sleepFor(milliseconds);
}
