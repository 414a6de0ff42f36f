#include <services/FileBuffer.h>

#include <cerrno>
#include <unistd.h>

namespace ertkit {

FileBuffer::FileBuffer(int fd) : m_fd(fd)
{
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

bool FileBuffer::writeAll(const char* bytes, std::size_t count)
{
    while (count > 0 && m_error == 0) {
        const ssize_t put = ::write(m_fd, bytes, count);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            m_error = put < 0 ? errno : EIO;
            break;
        }
        bytes += put;
        count -= static_cast<std::size_t>(put);
    }
    return m_error == 0;
}

bool FileBuffer::drain()
{
    const bool ok = writeAll(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return ok;
}

FileBuffer::int_type FileBuffer::overflow(int_type c)
{
    if (!drain()) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int FileBuffer::sync()
{
    return drain() ? 0 : -1;
}

std::streamsize FileBuffer::xsputn(const char* bytes, std::streamsize count)
{
    if (m_error != 0) return 0;
    // What fits goes into the buffer; a larger piece goes to the system at once.
    if (count <= epptr() - pptr()) {
        traits_type::copy(pptr(), bytes, static_cast<std::size_t>(count));
        pbump(static_cast<int>(count));
        return count;
    }
    if (!drain() || !writeAll(bytes, static_cast<std::size_t>(count))) return 0;
    return count;
}

} // namespace ertkit
