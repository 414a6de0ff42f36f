#include <download/TPortVirt.h>

#include <download/LinkWatch.h>

#include <fullwave/IAB_VMN_RawPage.h>

#include <host/ProgressCallback.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace {

constexpr std::size_t s_page_size = IAB_VMN_RawPage::s_size_in_bytes;

unsigned int pagesIn(std::size_t bytes)
{
    return static_cast<unsigned int>((bytes + s_page_size - 1) / s_page_size);
}

} // namespace

TPortVirt::~TPortVirt() = default;

void TPortVirt::watchSilence()
{
    m_watching = true;
    m_last_heard = linkClock();
}

std::chrono::steady_clock::time_point TPortVirt::silenceDeadline() const
{
    if (!m_watching) return std::chrono::steady_clock::time_point::max();
    return m_last_heard + LinkWatch::current().silence_limit;
}

void TPortVirt::checkLink(std::chrono::steady_clock::time_point now) const
{
    LinkWatch::checkCancelled();
    if (now < silenceDeadline()) return;
    const auto limit = std::chrono::duration<double>(LinkWatch::current().silence_limit).count();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", limit);
    throw LinkLost(std::string("No answer from the meter for ") + seconds + " s");
}

void TPortVirt::deviceGone()
{
    m_gone = true;
    if (m_watching) throw LinkLost(LinkLost::s_device_gone);
}

std::uint32_t TPortVirt::receiveRawCount()
{
    unsigned char word[4];
    if (readBufferTimed(word, 4, s_raw_count_timeout_ms) != 4) throw std::runtime_error("Time out raw transfer size");
    const std::uint32_t count = decodeWord(word);
    if (count > s_max_raw_transfer)
        throw std::runtime_error("Raw transfer too large: " + std::to_string(count) + " bytes announced");
    return count;
}

void TPortVirt::xbtCLoadBuffer(bool& complete, ProgressCallback& progress)
{
    complete = false;
    m_buffer.clear();
    const std::uint32_t count = receiveRawCount();
    progress.setRange(0, pagesIn(count), 1);
    progress.setPosition(0);
    // Never trust the announced count for the allocation: grow with what actually arrives.
    m_buffer.reserve(std::min<std::size_t>(count, std::size_t{1} << 20));
    std::vector<char> chunk(s_raw_chunk_size);
    while (m_buffer.size() < count) {
        const int wanted = static_cast<int>(std::min<std::size_t>(chunk.size(), count - m_buffer.size()));
        const int got = std::max(0, std::min(wanted, readBufferTimed(chunk.data(), wanted, s_raw_chunk_timeout_ms)));
        m_buffer.insert(m_buffer.end(), chunk.data(), chunk.data() + got);
        if (got < wanted)
            throw std::runtime_error("Time out raw transfer: " + std::to_string(m_buffer.size()) + " of " +
                                     std::to_string(count) + " bytes received");
        progress.setPosition(pagesIn(m_buffer.size()));
    }
    complete = true;
}

void TPortVirt::saveToFile(std::string path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

void TPortVirt::copyStream(std::stringstream& stream)
{
    stream.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
}
