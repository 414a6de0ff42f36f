#pragma once

// The bytes of a file the extension reads itself: a regular file mapped into memory, or a
// Python buffer. The readers see them through MemoryBuffer, whose read position is the
// progress in bytes. (A pipe, a FIFO or a device is read as it comes: SourceStream.h.)

#include <pybind11/pybind11.h>

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

namespace ertkit_py {

namespace py = pybind11;

// A read-only, seekable stream buffer over bytes that stay where they are.
class MemoryBuffer final : public std::streambuf {
public:
    MemoryBuffer(const char* data, std::size_t size);
    std::uint64_t position() const { return static_cast<std::uint64_t>(gptr() - eback()); }
    std::uint64_t size() const { return static_cast<std::uint64_t>(egptr() - eback()); }

protected:
    pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode which) override;
    pos_type seekpos(pos_type position, std::ios_base::openmode which) override;
};

// The bytes of the regular file at a path, mapped, with the GIL released. A failure raises
// the OSError that opening or mapping the path gives (ESPIPE for a path that is no longer a
// regular file).
class FileBytes {
public:
    static FileBytes load(const std::string& path);
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&&) = delete;
    FileBytes(const FileBytes&) = delete;
    ~FileBytes();

    const char* data() const { return m_mapped; }
    std::size_t size() const { return m_size; }

private:
    FileBytes() = default;

    char* m_mapped = nullptr; // none for an empty file
    std::size_t m_size = 0;
};

// Raises the OSError opening `path` for reading gives (FileNotFoundError, PermissionError,
// IsADirectoryError...), before the library sees the path and reports it in its own words;
// returns the size of a regular file, none for anything else. Never waits for a FIFO's
// writer, and runs with the GIL released.
std::optional<std::uint64_t> requireReadableFile(const std::string& path);

// A Python object that supports the buffer protocol, held for as long as its bytes are read.
class PythonBytes {
public:
    explicit PythonBytes(const py::buffer& buffer);
    const char* data() const { return static_cast<const char*>(m_info.ptr); }
    std::size_t size() const { return static_cast<std::size_t>(m_info.size * m_info.itemsize); }

private:
    py::buffer_info m_info;
};

} // namespace ertkit_py
