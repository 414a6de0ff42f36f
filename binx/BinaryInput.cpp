#include <binx/BinaryInput.h>
#include <host/Internal.h>

#include <algorithm>

namespace binx_io ERTKIT_INTERNAL {

void BinaryInput::readChecked(void* dst, std::size_t count, std::size_t size)
{
    if (count == 0) return;
    check();
    const std::size_t total = count * size;
    const std::size_t got = take(static_cast<char*>(dst), total);
    if (got == total) return;
    markFailed();
    // The field that came short is got / size; the check before the next one throws.
    if (got / size + 1 < count) fail();
}

void BinaryInput::skipBytes(std::size_t count)
{
    char scratch[256];
    while (count > 0) {
        const std::size_t n = std::min(count, sizeof(scratch));
        readBytes(scratch, n);
        if (!m_in.good()) {
            if (count > n) fail(); // the check before the next byte
            return;                // short on the last byte: the next field's check reports it
        }
        count -= n;
    }
}

void BinaryInput::readText(std::string& text)
{
    std::uint32_t length = 0;
    read(length);
    readTextBytes(text, length);
}

void BinaryInput::readTextBytes(std::string& text, std::size_t size)
{
    text.clear();
    // Read in chunks, so that a damaged length costs no more memory than the bytes really there.
    char chunk[1024];
    bool ended = false;
    while (size > 0) {
        const std::size_t n = std::min(size, sizeof(chunk));
        readBytes(chunk, n);
        if (!m_in.good()) {
            if (size > n) fail(); // the check before the next byte
            return;               // short on the very last byte: the next field's check reports it
        }
        if (!ended) {
            const void* zero = std::memchr(chunk, 0, n);
            const std::size_t keep = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - chunk) : n;
            text.append(chunk, keep);
            ended = zero != nullptr;
        }
        size -= n;
    }
}

std::uint64_t BinaryInput::remaining()
{
    const auto here = m_buf->pubseekoff(0, std::ios::cur, std::ios::in);
    if (here < 0) return 0;
    const auto end = m_buf->pubseekoff(0, std::ios::end, std::ios::in);
    m_buf->pubseekpos(here, std::ios::in);
    return end > here ? static_cast<std::uint64_t>(end - here) : 0;
}

} // namespace binx_io
