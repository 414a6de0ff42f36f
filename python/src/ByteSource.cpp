#include "ByteSource.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ertkit_py {

MemoryBuffer::MemoryBuffer(const char* data, std::size_t size)
{
    // The get area is only read from: std::streambuf just spells its pointers non-const.
    char* begin = const_cast<char*>(data);
    setg(begin, begin, begin + size);
}

MemoryBuffer::pos_type MemoryBuffer::seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode which)
{
    if ((which & std::ios_base::in) == 0) return pos_type(off_type(-1));
    off_type base = 0;
    if (way == std::ios_base::cur)
        base = static_cast<off_type>(gptr() - eback());
    else if (way == std::ios_base::end)
        base = static_cast<off_type>(egptr() - eback());
    const off_type target = base + offset;
    if (target < 0 || target > static_cast<off_type>(egptr() - eback())) return pos_type(off_type(-1));
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
}

MemoryBuffer::pos_type MemoryBuffer::seekpos(pos_type position, std::ios_base::openmode which)
{
    return seekoff(off_type(position), std::ios_base::beg, which);
}

namespace {

[[noreturn]] void raiseOsError(int error, const std::string& path)
{
    errno = error;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
}

// A descriptor closed on every way out.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

std::optional<std::uint64_t> requireReadableFile(const std::string& path)
{
    int error = 0;
    std::optional<std::uint64_t> size;
    {
        py::gil_scoped_release release;
        // Non-blocking: a FIFO opens at once, writer or not; the reader's own open waits.
        Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
        struct stat status {};
        if (file.fd < 0)
            error = errno;
        else if (::fstat(file.fd, &status) != 0)
            error = errno;
        else if (S_ISDIR(status.st_mode))
            error = EISDIR;
        else if (S_ISREG(status.st_mode))
            size = static_cast<std::uint64_t>(status.st_size);
    }
    if (error != 0) raiseOsError(error, path);
    return size;
}

FileBytes FileBytes::load(const std::string& path)
{
    FileBytes bytes;
    int error = 0;
    {
        py::gil_scoped_release release;
        Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
        struct stat status {};
        if (file.fd < 0 || ::fstat(file.fd, &status) != 0) {
            error = errno;
        } else if (S_ISDIR(status.st_mode)) {
            error = EISDIR;
        } else if (S_ISREG(status.st_mode) && status.st_size > 0) {
            const auto size = static_cast<std::size_t>(status.st_size);
            void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd, 0);
            if (mapped == MAP_FAILED) {
                error = errno;
            } else {
                ::madvise(mapped, size, MADV_SEQUENTIAL);
                bytes.m_mapped = static_cast<char*>(mapped);
                bytes.m_size = size;
            }
        } else if (!S_ISREG(status.st_mode)) {
            // Pipes, FIFOs and devices are read as they come (SourceStream.h), never here.
            error = ESPIPE;
        }
    }
    if (error != 0) raiseOsError(error, path);
    return bytes;
}

FileBytes::FileBytes(FileBytes&& other) noexcept
    : m_mapped(std::exchange(other.m_mapped, nullptr)), m_size(std::exchange(other.m_size, 0))
{
}

FileBytes::~FileBytes()
{
    if (m_mapped != nullptr) ::munmap(m_mapped, m_size);
}

PythonBytes::PythonBytes(const py::buffer& buffer) : m_info(buffer.request())
{
    if (m_info.ndim > 1 && !PyBuffer_IsContiguous(m_info.view(), 'C'))
        throw py::value_error("the bytes of a file must be contiguous");
}

} // namespace ertkit_py
