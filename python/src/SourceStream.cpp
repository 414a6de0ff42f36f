#include "SourceStream.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ertkit_py {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 16;
// How long one wait for data lasts before the caller is asked whether to stop.
constexpr int kPollMilliseconds = 50;

[[noreturn]] void raiseOsError(int error, const std::string& message, const std::string& path)
{
    py::object name = py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size())));
    if (!name) throw py::error_already_set();
    PyErr_SetObject(PyExc_OSError, py::make_tuple(error, message, name).ptr());
    throw py::error_already_set();
}

} // namespace

SourceBuffer::SourceBuffer(int fd, std::uint64_t limit) : m_fd(fd), m_limit(limit), m_buffer(kChunk)
{
    setg(m_buffer.data(), m_buffer.data(), m_buffer.data());
}

SourceBuffer::~SourceBuffer()
{
    ::close(m_fd);
}

bool SourceBuffer::waitForData()
{
    for (;;) {
        if (m_stop && m_stop()) return false;
        pollfd wanted{m_fd, POLLIN, 0};
        const int ready = ::poll(&wanted, 1, kPollMilliseconds);
        if (ready > 0) return true; // data, the end (a writer gone) or an error the read reports
        if (ready < 0 && errno != EINTR) {
            m_error = errno;
            return false;
        }
    }
}

SourceBuffer::int_type SourceBuffer::underflow()
{
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    while (!m_ended) {
        // A FIFO reads as ended before any writer came: poll first, which waits for one.
        if (!waitForData()) break;
        // One byte past the limit tells a source that goes on from one that ends there.
        const std::uint64_t left = m_limit - m_taken;
        const std::size_t wanted = left >= m_buffer.size() ? m_buffer.size() : static_cast<std::size_t>(left) + 1;
        const ssize_t got = ::read(m_fd, m_buffer.data(), wanted);
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (got < 0) {
            m_error = errno;
            break;
        }
        if (got == 0) break;
        if (static_cast<std::uint64_t>(got) > m_limit - m_taken) {
            m_over_limit = true;
            break;
        }
        m_taken += static_cast<std::uint64_t>(got);
        setg(m_buffer.data(), m_buffer.data(), m_buffer.data() + got);
        return traits_type::to_int_type(*gptr());
    }
    m_ended = true;
    setg(m_buffer.data(), m_buffer.data(), m_buffer.data());
    return traits_type::eof();
}

void SourceBuffer::raiseIfCut(const std::string& path) const
{
    if (m_over_limit)
        raiseOsError(EFBIG,
                     "more than " + std::to_string(m_limit) +
                         " bytes from a source that is not a regular file (max_bytes= sets the limit)",
                     path);
    if (m_error != 0) {
        errno = m_error;
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
        throw py::error_already_set();
    }
}

OpenedPath openPath(const std::string& path, std::uint64_t limit)
{
    int error = 0;
    OpenedPath opened;
    {
        py::gil_scoped_release release;
        // Non-blocking: a FIFO opens at once, writer or not; the reads wait in polls.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat status {};
        if (fd < 0) {
            error = errno;
        } else if (::fstat(fd, &status) != 0) {
            error = errno;
        } else if (S_ISDIR(status.st_mode)) {
            error = EISDIR;
        } else if (S_ISREG(status.st_mode)) {
            opened.size = static_cast<std::uint64_t>(status.st_size);
        } else {
            opened.stream = std::make_unique<SourceBuffer>(fd, limit);
        }
        if (fd >= 0 && !opened.stream) ::close(fd);
    }
    if (error != 0) {
        errno = error;
        PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
        throw py::error_already_set();
    }
    return opened;
}

} // namespace ertkit_py
