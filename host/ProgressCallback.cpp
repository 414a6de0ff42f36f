#include <host/ProgressCallback.h>

#include <atomic>

std::uint32_t ProgressCallback::addTextId()
{
    // Identifiers below 100 are kept for the host's own texts.
    static std::atomic<std::uint32_t> next{100};
    return next++;
}
