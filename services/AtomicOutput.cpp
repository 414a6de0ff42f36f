#include <services/AtomicOutput.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace ertkit {

namespace {

std::filesystem::path temporaryFor(const std::filesystem::path& destination)
{
    static std::atomic<unsigned int> counter{0};
    std::string name = ".";
    name += destination.stem().string();
    name += ".ertkit-tmp-";
    name += std::to_string(getpid()) + "-" + std::to_string(counter++);
    name += destination.extension().string();
    return destination.parent_path() / name;
}

// "cannot write PATH: reason", with the system's reason when there is one.
WriteError writeError(const std::filesystem::path& path, int error)
{
    return WriteError(path, "cannot write " + path.string() + (error != 0 ? ": " + std::string(std::strerror(error)) : ""), error);
}

} // namespace

WriteError::WriteError(const std::filesystem::path& path, const std::string& message, int error_number)
    : std::runtime_error(message), m_path(path), m_error_number(error_number)
{
}

AtomicOutput::AtomicOutput(std::filesystem::path destination)
    : m_destination(std::move(destination)), m_temporary(temporaryFor(m_destination))
{
}

AtomicOutput::~AtomicOutput()
{
    if (m_committed) return;
    if (m_stream.is_open()) m_stream.close();
    std::error_code ignored;
    std::filesystem::remove(m_temporary, ignored);
}

std::ofstream& AtomicOutput::stream()
{
    if (!m_opened) {
        m_opened = true;
        errno = 0;
        m_stream.open(m_temporary, std::ios::binary | std::ios::trunc);
        if (!m_stream) throw writeError(m_destination, errno);
    }
    return m_stream;
}

const std::filesystem::path& AtomicOutput::create()
{
    const int fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    // Worded as when such a writer leaves nothing behind; the number carries the reason.
    if (fd < 0) throw WriteError(m_destination, "cannot write " + m_destination.string(), errno);
    ::close(fd);
    return m_temporary;
}

void AtomicOutput::commit(const std::function<void(const std::filesystem::path&)>& check)
{
    if (m_opened) {
        errno = 0;
        m_stream.flush();
        const int flush_error = errno;
        m_stream.close();
        if (m_stream.fail()) throw writeError(m_destination, flush_error);
    }
    if (!std::filesystem::exists(m_temporary)) throw writeError(m_destination, 0);
    if (check) check(m_temporary);
    std::error_code error;
    std::filesystem::rename(m_temporary, m_destination, error);
    if (error) throw WriteError(m_destination, "cannot write " + m_destination.string() + ": " + error.message(), error.value());
    m_committed = true;
}

} // namespace ertkit
