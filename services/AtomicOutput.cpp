#include <services/AtomicOutput.h>

#include <services/FileBuffer.h>
#include <services/Interruption.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <iostream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace ertkit {

namespace {

std::filesystem::path temporaryIn(const std::filesystem::path& folder, const std::filesystem::path& destination)
{
    static std::atomic<unsigned int> counter{0};
    std::string name = ".";
    name += destination.stem().string();
    name += ".ertkit-tmp-";
    name += std::to_string(getpid()) + "-" + std::to_string(counter++);
    name += destination.extension().string();
    return folder / name;
}

std::string reason(int error)
{
    return error != 0 ? ": " + std::string(std::strerror(error)) : std::string();
}

// "cannot write PATH: reason", with the system's reason when there is one.
WriteError writeError(const std::filesystem::path& path, int error)
{
    return WriteError(path, "cannot write " + path.string() + reason(error), error);
}

// Temporary files that may exist now, for removeTemporaryOutputs: each slot points at the path
// of a live AtomicOutput. Lock-free, so that a signal handler may read them.
std::array<std::atomic<const char*>, 32> s_temporaries{};

// What the final rename replaces, and whether the destination is written through instead.
struct Target {
    std::filesystem::path path;
    bool through = false;
};

// Whether `destination` is the file our standard output writes to (/dev/stdout, or its file
// named otherwise): written into through that descriptor, where the rest of the standard
// output goes, rather than opened anew at its start or replaced by a rename.
bool isStandardOutput(const std::filesystem::path& destination)
{
    struct stat out {}, st {};
    return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(destination.c_str(), &st) == 0 && out.st_dev == st.st_dev && out.st_ino == st.st_ino;
}

Target targetOf(const std::filesystem::path& destination)
{
    struct stat st {};
    if (::stat(destination.c_str(), &st) != 0) return {destination, false};
    if (isStandardOutput(destination)) return {destination, true};
    if (S_ISDIR(st.st_mode)) return {destination, false}; // fails with the system's reason
    if (!S_ISREG(st.st_mode)) return {destination, true};
    struct stat link {};
    if (::lstat(destination.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return {destination, false};
    std::error_code error;
    const std::filesystem::path named = std::filesystem::canonical(destination, error);
    return {error ? destination : named, false};
}

std::filesystem::path folderOf(const std::filesystem::path& path)
{
    return path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
}

} // namespace

void removeTemporaryOutputs() noexcept
{
    for (auto& slot : s_temporaries)
        if (const char* path = slot.load()) ::unlink(path);
}

WriteError::WriteError(const std::filesystem::path& path, const std::string& message, int error_number)
    : std::runtime_error(message), m_path(path), m_error_number(error_number)
{
}

void checkWritable(const std::filesystem::path& destination)
{
    struct stat st {};
    if (::stat(destination.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw WriteError(destination, "cannot write " + destination.string() + ": it is a folder", EISDIR);
        if (!S_ISREG(st.st_mode)) {
            if (::access(destination.c_str(), W_OK) != 0) throw writeError(destination, errno);
            return;
        }
    }
    const std::filesystem::path folder = folderOf(targetOf(destination).path);
    if (::stat(folder.c_str(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT)
            throw WriteError(destination, "cannot write " + destination.string() + ": the folder " + folder.string() + " does not exist", error);
        throw writeError(destination, error);
    }
    if (!S_ISDIR(st.st_mode)) throw writeError(destination, ENOTDIR);
    if (::access(folder.c_str(), W_OK) != 0) throw writeError(destination, errno);
}

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    struct stat sa {}, sb {};
    const bool a_exists = ::stat(a.c_str(), &sa) == 0, b_exists = ::stat(b.c_str(), &sb) == 0;
    if (a_exists && b_exists) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    if (a_exists != b_exists) return false;
    std::error_code error_a, error_b;
    const std::filesystem::path full_a = std::filesystem::weakly_canonical(std::filesystem::absolute(a, error_a), error_a);
    const std::filesystem::path full_b = std::filesystem::weakly_canonical(std::filesystem::absolute(b, error_b), error_b);
    return error_a || error_b ? a.lexically_normal() == b.lexically_normal() : full_a == full_b;
}

void refuseInputAsOutput(const std::filesystem::path& output, const std::vector<std::string>& inputs)
{
    struct stat out {};
    if (::stat(output.c_str(), &out) != 0) return; // a file yet to be made is none of the inputs
    for (const std::string& input : inputs) {
        struct stat in {};
        if (::stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino)
            throw std::invalid_argument("it is also an input: writing it would destroy what is read (choose another output)");
    }
}

AtomicOutput::AtomicOutput(std::filesystem::path destination) : m_destination(std::move(destination))
{
    const Target target = targetOf(m_destination);
    m_target = target.path;
    m_through = target.through;
    std::error_code error;
    const std::filesystem::path temporary_folder = m_through ? std::filesystem::temp_directory_path(error) : folderOf(m_target);
    m_temporary = temporaryIn(error ? std::filesystem::path("/tmp") : temporary_folder, m_destination);
}

AtomicOutput::~AtomicOutput()
{
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed || m_through) {
        std::error_code ignored;
        std::filesystem::remove(m_temporary, ignored);
    }
    if (m_tracked)
        for (auto& slot : s_temporaries) {
            const char* mine = m_temporary.c_str();
            slot.compare_exchange_strong(mine, nullptr);
        }
}

void AtomicOutput::track()
{
    if (m_tracked) return;
    m_tracked = true;
    for (auto& slot : s_temporaries) {
        const char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, m_temporary.c_str())) return;
    }
}

std::ostream& AtomicOutput::stream()
{
    if (!m_opened) {
        m_opened = true;
        track();
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (m_fd < 0) throw writeError(m_destination, errno);
        m_buffer = std::make_unique<FileBuffer>(m_fd);
        m_stream.rdbuf(m_buffer.get());
    }
    return m_stream;
}

const std::filesystem::path& AtomicOutput::create()
{
    track();
    const int fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw writeError(m_destination, errno);
    ::close(fd);
    return m_temporary;
}

void AtomicOutput::commit(const std::function<void(const std::filesystem::path&)>& check)
{
    finish(check);
    publish();
}

void AtomicOutput::finish(const std::function<void(const std::filesystem::path&)>& check)
{
    if (interruptionSignal() != 0) throw Interrupted();
    if (m_finished) return;
    if (m_opened && m_fd >= 0) {
        m_stream.flush();
        int error = m_buffer->error();
        if (::close(m_fd) != 0 && error == 0) error = errno;
        m_fd = -1;
        if (error == 0 && !m_stream) error = EIO;
        if (error != 0) throw writeError(m_destination, error);
    }
    if (!std::filesystem::exists(m_temporary)) throw writeError(m_destination, 0);
    if (check) check(m_temporary);
    m_finished = true;
}

void AtomicOutput::publish()
{
    if (!m_finished) finish();
    if (m_committed) return;
    if (interruptionSignal() != 0) throw Interrupted();
    if (m_through) {
        copyIntoDestination();
        m_committed = true;
        return;
    }
    std::error_code error;
    std::filesystem::rename(m_temporary, m_target, error);
    if (error) throw WriteError(m_destination, "cannot write " + m_destination.string() + ": " + error.message(), error.value());
    m_committed = true;
}

namespace {

constexpr int s_poll_ms = 50;

} // namespace

void AtomicOutput::copyIntoDestination() const
{
    const int in = ::open(m_temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw writeError(m_destination, errno);
    const bool standard = isStandardOutput(m_destination);
    if (standard) std::cout.flush(); // what the process wrote there comes first
    // Opened without blocking and waited for in short polls: a FIFO without a reader would
    // otherwise hold open() and write() where a signal that came just before them is missed.
    int out = standard ? ::dup(STDOUT_FILENO) : -1;
    while (!standard) {
        out = ::open(m_destination.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
        if (out >= 0 || errno != ENXIO || interruptionSignal() != 0) break;
        ::poll(nullptr, 0, s_poll_ms); // no reader yet
    }
    if (out < 0) {
        const int error = errno;
        ::close(in);
        if (interruptionSignal() != 0) throw Interrupted();
        throw writeError(m_destination, error);
    }
    const int flags = ::fcntl(out, F_GETFL);
    if (flags >= 0) ::fcntl(out, F_SETFL, flags | O_NONBLOCK);
    std::array<char, 1 << 16> buffer;
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            if (got < 0) error = errno;
            break;
        }
        for (ssize_t done = 0; done < got && error == 0;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            // A pipe nobody reads takes nothing more: wait for room in short polls, so that
            // the first signal stops the wait.
            if (put < 0 && (errno == EAGAIN || errno == EINTR) && interruptionSignal() == 0) {
                pollfd room{out, POLLOUT, 0};
                ::poll(&room, 1, s_poll_ms);
                continue;
            }
            if (put <= 0) error = put < 0 ? errno : EIO;
            else done += put;
        }
        if (error != 0) break;
    }
    ::close(in);
    if (flags >= 0) ::fcntl(out, F_SETFL, flags); // standard output is shared: as it was
    if (::close(out) != 0 && error == 0) error = errno;
    if (interruptionSignal() != 0) throw Interrupted();
    if (error != 0) throw writeError(m_destination, error);
}

} // namespace ertkit
