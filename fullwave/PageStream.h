#pragma once

#include <fullwave/IAB_VMN_RawPage.h>

#include <cstdint>
#include <istream>
#include <memory>

// Pages of a recording read from a stream in large chunks, handed out one at a time.
//
// To the stream it looks as if it were read one page at a time: a short page sets eofbit and
// failbit as a plain read would, and when the walk stops early (a stop request, a corrupted
// page) `rewind` puts a seekable stream back just after the last page handed out. A stream
// that cannot seek is read one page per call, so nothing past that page is ever taken.
class PageStream {
public:
    explicit PageStream(std::istream& stream);

    // The next whole page, or nullptr when fewer than 528 bytes remain (the stream then
    // fails, as after a short read). A stream that is no longer good gives nothing.
    const IAB_VMN_RawPage* next();
    // Bytes from the current position to the end of a seekable stream, 0 when unknown.
    std::uint64_t remainingBytes() const { return m_remaining; }
    // Leaves a seekable stream just after the last page handed out, unless it was used up.
    void rewind() noexcept;

private:
    bool refill();

    std::istream& m_stream;
    std::unique_ptr<IAB_VMN_RawPage[]> m_chunk;
    std::size_t m_chunk_pages = 1;
    std::size_t m_filled = 0;   // whole pages in the chunk
    std::size_t m_next = 0;     // next page to hand out
    std::streamoff m_base = -1; // stream offset of the chunk's first page; -1 if not seekable
    std::uint64_t m_remaining = 0;
};
