#include <fullwave/PageStream.h>

namespace {

// 496 pages, about 256 KiB: large enough that system calls do not count, small enough to
// stay in the processor's cache while its pages are decoded.
constexpr std::size_t kChunkPages = 496;

constexpr std::streamoff kPage = IAB_VMN_RawPage::s_size_in_bytes;

} // namespace

PageStream::PageStream(std::istream& stream) : m_stream(stream)
{
    std::streambuf* buffer = stream.rdbuf();
    if (!buffer || !stream.good()) return;
    try {
        const std::streamoff here = buffer->pubseekoff(0, std::ios::cur, std::ios::in);
        if (here < 0) return;
        const std::streamoff end = buffer->pubseekoff(0, std::ios::end, std::ios::in);
        if (buffer->pubseekpos(here, std::ios::in) != here) return;
        m_base = m_start = here;
        m_remaining = end > here ? static_cast<std::uint64_t>(end - here) : 0;
    } catch (...) {
        // A buffer that throws when asked to seek is read with plain reads.
        m_base = -1;
        m_remaining = 0;
    }
}

bool PageStream::refill()
{
    if (!m_chunk) m_chunk.reset(new IAB_VMN_RawPage[kChunkPages]);
    m_base += static_cast<std::streamoff>(m_filled) * kPage;
    m_filled = 0;
    m_next = 0;
    const auto wanted = static_cast<std::streamsize>(kChunkPages * kPage);
    std::streamsize got = 0;
    try {
        got = m_stream.rdbuf()->sgetn(reinterpret_cast<char*>(m_chunk.get()), wanted);
    } catch (...) {
        // The pages read whole before the buffer failed still count, as they would page by
        // page; the plain read of the next one meets the failure itself.
        m_last_chunk = true;
        try {
            const std::streamoff here = m_stream.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
            if (here > m_base) got = std::min<std::streamoff>(here - m_base, wanted);
        } catch (...) {
        }
    }
    if (got < wanted) m_last_chunk = true;
    m_filled = static_cast<std::size_t>(got / kPage);
    return m_filled > 0;
}

const IAB_VMN_RawPage* PageStream::next()
{
    if (m_next < m_filled) return &m_chunk[m_next++];
    if (m_base >= 0 && !m_last_chunk && refill()) return &m_chunk[m_next++];
    return readOne();
}

const IAB_VMN_RawPage* PageStream::readOne()
{
    if (m_base >= 0) {
        // From here on plain reads, from where the pages handed out end.
        const std::streamoff at = m_base + static_cast<std::streamoff>(m_next) * kPage;
        m_base = -1;
        m_filled = m_next = 0;
        try {
            m_stream.rdbuf()->pubseekpos(at, std::ios::in);
        } catch (...) {
        }
    }
    if (!m_chunk) m_chunk.reset(new IAB_VMN_RawPage[1]);
    if (!m_stream.read(reinterpret_cast<char*>(m_chunk.get()), kPage)) return nullptr;
    return m_chunk.get();
}

void PageStream::rewind() noexcept
{
    if (m_base < 0 || m_base + static_cast<std::streamoff>(m_next) * kPage == m_start) return;
    // The last page handed out is read again with a plain read, which leaves the stream just
    // after it with the count a page-by-page walk leaves.
    const std::streamoff last = m_base + static_cast<std::streamoff>(m_next) * kPage - kPage;
    try {
        if (m_stream.rdbuf()->pubseekpos(last, std::ios::in) != last) return;
        IAB_VMN_RawPage page;
        m_stream.read(page.data(), kPage);
    } catch (...) {
    }
}
