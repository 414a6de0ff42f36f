#pragma once

#include <host/Internal.h>

#include <fullwave/IAB_VMN_RawPage.h>

#include <cstdint>
#include <exception>
#include <istream>
#include <memory>

// Pages of a recording read from a stream in large chunks, handed out one at a time.
//
// To the stream it looks as if it were read one page at a time with plain reads. A seekable
// stream is read in chunks straight from its buffer; the read that finds fewer than 528 bytes
// (or a buffer that throws) is made again as a plain read from where the pages handed out end,
// so the stream ends in the state, position and count a page-by-page walk leaves; when the
// walk stops early (a stop request, a corrupted page) `rewind` puts the stream back just
// after the last page handed out. A stream that cannot seek is read with one plain read per
// page, so nothing past that page is ever taken.
class ERTKIT_INTERNAL PageStream {
public:
    explicit PageStream(std::istream& stream);

    // The next whole page, or nullptr when the plain read of it fails (fewer than 528 bytes
    // left, a stream no longer good, a buffer that failed).
    const IAB_VMN_RawPage* next();
    // Bytes from the current position to the end of a seekable stream, 0 when unknown.
    std::uint64_t remainingBytes() const { return m_remaining; }
    // Leaves a seekable stream just after the last page handed out, unless plain reads took
    // over (the stream is then where they left it).
    void rewind() noexcept;

private:
    bool refill();
    const IAB_VMN_RawPage* readOne();

    std::istream& m_stream;
    std::unique_ptr<IAB_VMN_RawPage[]> m_chunk;
    std::size_t m_filled = 0;   // whole pages in the chunk
    std::size_t m_next = 0;     // next page to hand out
    std::streamoff m_base = -1; // stream offset of the chunk's first page; -1: plain reads
    std::streamoff m_start = -1; // stream offset of the first page
    std::uint64_t m_remaining = 0;
    bool m_last_chunk = false;  // the chunk ended short: the stream has nothing after it
};
