#include <fullwave/PageStream.h>

namespace {

// 496 pages, about 256 KiB: large enough that system calls do not count, small enough to
// stay in the processor's cache while its pages are decoded.
constexpr std::size_t kChunkPages = 496;

} // namespace

PageStream::PageStream(std::istream& stream) : m_stream(stream)
{
    std::streambuf* buffer = stream.rdbuf();
    if (!buffer || !stream.good()) return;
    const std::streamoff here = buffer->pubseekoff(0, std::ios::cur, std::ios::in);
    if (here < 0) return;
    const std::streamoff end = buffer->pubseekoff(0, std::ios::end, std::ios::in);
    if (buffer->pubseekpos(here, std::ios::in) != here) return;
    m_base = here;
    m_remaining = end > here ? static_cast<std::uint64_t>(end - here) : 0;
    m_chunk_pages = kChunkPages;
}

bool PageStream::refill()
{
    if (!m_chunk) m_chunk.reset(new IAB_VMN_RawPage[m_chunk_pages]);
    if (m_base >= 0) m_base += static_cast<std::streamoff>(m_filled * IAB_VMN_RawPage::s_size_in_bytes);
    m_filled = 0;
    m_next = 0;
    const auto wanted = static_cast<std::streamsize>(m_chunk_pages * IAB_VMN_RawPage::s_size_in_bytes);
    std::streamsize got = 0;
    try {
        got = m_stream.rdbuf()->sgetn(reinterpret_cast<char*>(m_chunk.get()), wanted);
    } catch (...) {
        // What a plain read does when its buffer throws.
        m_stream.setstate(std::ios::badbit);
        return false;
    }
    // A short chunk means the end of the stream; the stream itself fails only when the walk
    // reaches the short page, as it would reading page by page.
    m_filled = static_cast<std::size_t>(got) / IAB_VMN_RawPage::s_size_in_bytes;
    return m_filled > 0;
}

const IAB_VMN_RawPage* PageStream::next()
{
    if (m_stream.good() && (m_next < m_filled || refill())) return &m_chunk[m_next++];
    // The stream is used up as a short read leaves it: nothing to put back any more.
    m_base = -1;
    m_stream.setstate(m_stream.good() ? std::ios::eofbit | std::ios::failbit : std::ios::failbit);
    return nullptr;
}

void PageStream::rewind() noexcept
{
    if (m_base < 0) return;
    try {
        m_stream.rdbuf()->pubseekpos(m_base + static_cast<std::streamoff>(m_next * IAB_VMN_RawPage::s_size_in_bytes),
                                     std::ios::in);
    } catch (...) {
    }
}
