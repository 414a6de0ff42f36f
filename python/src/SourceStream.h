#pragma once

// A pipe, a FIFO or a device read as its bytes come, for the readers' stream constructors:
// memory stays bounded by what the reader keeps (as when the tool reads such a path), a wait
// for a writer or for data is broken off when the caller asks to stop (Ctrl-C), and a source
// that does not end is cut at a limit.

#include <pybind11/pybind11.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <vector>

namespace ertkit_py {

namespace py = pybind11;

// What ertkit reads at most from a source that is not a regular file, unless told otherwise.
inline constexpr std::uint64_t kDefaultSourceLimit = std::uint64_t{1} << 32;

// A non-seekable stream buffer over a descriptor opened without waiting (O_NONBLOCK): each
// refill waits for data in short polls, asking `stop` between them, so that a FIFO with no
// writer yet waits without holding the caller beyond its next check. The stream ends, as if
// the source had, when `stop` answers true, after `limit` bytes (overLimit() then says so), or
// on a read error (error() gives its errno).
class SourceBuffer final : public std::streambuf {
public:
    SourceBuffer(int fd, std::uint64_t limit);
    SourceBuffer(const SourceBuffer&) = delete;
    SourceBuffer& operator=(const SourceBuffer&) = delete;
    ~SourceBuffer() override;

    void stopWhen(std::function<bool()> stop) { m_stop = std::move(stop); }
    // Bytes handed to the reader so far.
    std::uint64_t position() const { return m_taken - static_cast<std::uint64_t>(egptr() - gptr()); }
    bool overLimit() const { return m_over_limit; }
    int error() const { return m_error; }
    // Raises the OSError for a source cut at the limit or by a read error; nothing otherwise.
    // Call with the GIL held.
    void raiseIfCut(const std::string& path) const;

protected:
    int_type underflow() override;

private:
    bool waitForData();

    int m_fd;
    std::uint64_t m_limit;
    std::uint64_t m_taken = 0;
    std::vector<char> m_buffer;
    std::function<bool()> m_stop;
    bool m_ended = false;
    bool m_over_limit = false;
    int m_error = 0;
};

// A path opened for reading without waiting for a FIFO's writer. A regular file is closed
// again and its size given (the callers map or read it by path); anything else is kept open
// as a SourceBuffer. Raises the OSError opening the path gives (FileNotFoundError,
// PermissionError, IsADirectoryError...). Runs with the GIL released.
struct OpenedPath {
    std::optional<std::uint64_t> size;
    std::unique_ptr<SourceBuffer> stream;
};
OpenedPath openPath(const std::string& path, std::uint64_t limit);

} // namespace ertkit_py
