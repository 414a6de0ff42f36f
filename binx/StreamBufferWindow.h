#pragma once

#include <host/Internal.h>

#include <cstddef>
#include <cstring>
#include <limits>
#include <streambuf>

namespace binx_io ERTKIT_INTERNAL {

// The get and put areas of a stream buffer, reached from outside it. A record is hundreds of
// small fields; copying each straight from or into the buffer's current area, and leaving the
// buffer's virtual operations for the moment the area runs out, is what keeps reading and
// writing near the speed of a raw transfer. The pointers to protected members are formed
// through a derived class, which the language allows for any stream buffer object.
class StreamBufferWindow : private std::streambuf {
public:
    // Copies `size` bytes out of the get area when it holds them all; false leaves it untouched.
    static bool take(std::streambuf& buffer, char* dst, std::size_t size)
    {
        char* const begin = (buffer.*&StreamBufferWindow::gptr)();
        char* const end = (buffer.*&StreamBufferWindow::egptr)();
        if (begin == nullptr || static_cast<std::size_t>(end - begin) < size || size > s_max_step) return false;
        std::memcpy(dst, begin, size);
        (buffer.*&StreamBufferWindow::gbump)(static_cast<int>(size));
        return true;
    }

    // Copies `size` bytes into the put area when it has room for them all; false otherwise.
    static bool put(std::streambuf& buffer, const char* src, std::size_t size)
    {
        char* const begin = (buffer.*&StreamBufferWindow::pptr)();
        char* const end = (buffer.*&StreamBufferWindow::epptr)();
        if (begin == nullptr || static_cast<std::size_t>(end - begin) < size || size > s_max_step) return false;
        std::memcpy(begin, src, size);
        (buffer.*&StreamBufferWindow::pbump)(static_cast<int>(size));
        return true;
    }

private:
    // The buffer's pointers move by an int: larger copies take the buffer's own path.
    static constexpr std::size_t s_max_step = static_cast<std::size_t>(std::numeric_limits<int>::max());
};

} // namespace binx_io
