#pragma once

#include <array>
#include <streambuf>

namespace ertkit {

// A stream buffer writing into an open file descriptor, which keeps the system's reason for
// the first write that failed: a file stream only says that it failed, and by the time its
// caller looks, errno may well hold something else. Once a write failed, nothing more is
// written. The descriptor stays the caller's.
class FileBuffer : public std::streambuf {
public:
    explicit FileBuffer(int fd);
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    // The errno of the first failed write, EIO for a write that wrote nothing; 0 while none failed.
    int error() const { return m_error; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;
    std::streamsize xsputn(const char* bytes, std::streamsize count) override;

private:
    bool drain();
    bool writeAll(const char* bytes, std::size_t count);

    int m_fd;
    int m_error = 0;
    std::array<char, 1 << 16> m_buffer;
};

} // namespace ertkit
