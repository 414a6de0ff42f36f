#pragma once

#include <host/Internal.h>

#include <binx/StreamBufferWindow.h>
#include <host/LittleEndian.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <type_traits>

namespace binx_io ERTKIT_INTERNAL {

// Field writer of the result formats. Writers do not check the stream between fields: a
// failed write shows only in the stream's state, and once the stream has failed nothing
// more is written, as with ostream::write. Bytes go straight to the stream buffer.
class BinaryOutput {
public:
    explicit BinaryOutput(std::ostream& out) : m_out(out), m_buf(out.rdbuf()) {}

    std::ostream& stream() { return m_out; }

    template <typename T>
    void write(const T& value)
    {
        static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>);
        char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        put(bytes, sizeof(T));
    }

    template <typename T>
    void writeArray(const T* values, std::size_t count)
    {
        static_assert(std::is_arithmetic_v<T>);
        put(reinterpret_cast<const char*>(values), count * sizeof(T));
    }

    // A stored text: its byte count (u32), then its bytes.
    void writeText(const std::string& text)
    {
        write(static_cast<std::uint32_t>(text.size()));
        put(text.data(), text.size());
    }

    void put(const char* bytes, std::size_t size)
    {
        if (!m_out.good() || size == 0) return;
        if (size <= s_piece && StreamBufferWindow::put(*m_buf, bytes, size)) return;
        bool ok = true;
        if (size <= 16) {
            for (std::size_t i = 0; i < size && ok; ++i)
                ok = !std::ostream::traits_type::eq_int_type(m_buf->sputc(bytes[i]), std::ostream::traits_type::eof());
        } else {
            // File buffers hand a put of a kilobyte or more straight to the system; in
            // smaller pieces a record's stack stays in the stream's buffer with the rest.
            for (std::size_t done = 0; done < size && ok;) {
                const auto n = static_cast<std::streamsize>(size - done < s_piece ? size - done : s_piece);
                ok = m_buf->sputn(bytes + done, n) == n;
                done += static_cast<std::size_t>(n);
            }
        }
        if (!ok) m_out.setstate(std::ios::badbit);
    }

private:
    static constexpr std::size_t s_piece = 512;

    std::ostream& m_out;
    std::streambuf* m_buf;
};

} // namespace binx_io
