#include <download/LinkWatch.h>

#include <utility>

namespace {

LinkWatch& threadWatch()
{
    thread_local LinkWatch watch;
    return watch;
}

} // namespace

const LinkWatch& LinkWatch::current()
{
    return threadWatch();
}

void LinkWatch::checkCancelled()
{
    const LinkWatch& watch = current();
    if (watch.cancelled && watch.cancelled()) throw LinkCancelled();
}

ScopedLinkWatch::ScopedLinkWatch(LinkWatch watch) : m_previous(std::exchange(threadWatch(), std::move(watch))) {}

ScopedLinkWatch::~ScopedLinkWatch()
{
    threadWatch() = std::move(m_previous);
}

LinkCancelled::LinkCancelled() : std::runtime_error("download cancelled") {}
