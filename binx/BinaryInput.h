#pragma once

#include <host/Internal.h>

#include <binx/StreamBufferWindow.h>
#include <host/LittleEndian.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <istream>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace binx_io ERTKIT_INTERNAL {


// Field reader of the result formats. Every field is preceded by a check that the stream
// is still good; a field that cannot be read in full leaves the stream failed, so that the
// failure shows at the next check, exactly as an unformatted istream::read would. The
// bytes come straight from the stream buffer's get area (or sbumpc/sgetn when it runs out)
// rather than through istream::read, whose sentry would otherwise be built for every field
// of every record.
class BinaryInput {
public:
    BinaryInput(std::istream& in, const char* failure_message)
        : m_in(in), m_buf(in.rdbuf()), m_failure(failure_message)
    {
    }

    std::istream& stream() { return m_in; }

    // Throws std::runtime_error with the failure message unless the stream is good.
    void check() const
    {
        if (!m_in.good()) fail();
    }
    [[noreturn]] void fail() const { throw std::runtime_error(m_failure); }

    template <typename T>
    void read(T& value)
    {
        check();
        readUnchecked(value);
    }

    template <typename T>
    T get()
    {
        T value{};
        read(value);
        return value;
    }

    // A field read without a check before it: a failure shows at the next check.
    template <typename T>
    void readUnchecked(T& value)
    {
        static_assert(std::is_arithmetic_v<T> || std::is_enum_v<T>);
        char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T)); // a short read keeps the old trailing bytes
        const std::size_t got = take(bytes, sizeof(T));
        std::memcpy(&value, bytes, sizeof(T));
        if (got < sizeof(T)) markFailed();
    }

    // `count` fields of `size` bytes each, with a check before each field. Equivalent to
    // reading them one by one: a field that comes short fails the stream, and the check
    // before the field after it throws.
    void readChecked(void* dst, std::size_t count, std::size_t size);

    template <typename T>
    void readArray(T* dst, std::size_t count)
    {
        static_assert(std::is_arithmetic_v<T>);
        readChecked(dst, count, sizeof(T));
    }

    // Bytes that are read one at a time, each after a check.
    void readBytes(char* dst, std::size_t count) { readChecked(dst, count, 1); }
    void skipBytes(std::size_t count);

    // A stored text: a u32 byte count, then that many bytes; the text ends at the first zero
    // byte, and all the bytes are consumed whatever it holds.
    void readText(std::string& text);
    // The same for a block of `size` bytes without a count before it.
    void readTextBytes(std::string& text, std::size_t size);

    // Bytes left between the read position and the end of the stream (0 when unknown).
    std::uint64_t remaining();

private:
    std::size_t take(char* dst, std::size_t size)
    {
        if (StreamBufferWindow::take(*m_buf, dst, size)) return size;
        if (size > 16) return static_cast<std::size_t>(m_buf->sgetn(dst, static_cast<std::streamsize>(size)));
        std::size_t i = 0;
        for (; i < size; ++i) {
            const auto c = m_buf->sbumpc();
            if (std::istream::traits_type::eq_int_type(c, std::istream::traits_type::eof())) break;
            dst[i] = std::istream::traits_type::to_char_type(c);
        }
        return i;
    }
    void markFailed() { m_in.setstate(std::ios::eofbit | std::ios::failbit); }

    std::istream& m_in;
    std::streambuf* m_buf;
    const char* m_failure;
};

// The error of every result record and geometry reader.
inline constexpr const char* s_record_read_error = "error reading file";

} // namespace binx_io
