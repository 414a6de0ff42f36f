#include <sim/PseudoTerminal.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace ertkit_sim {

namespace {

constexpr std::chrono::milliseconds s_slice(20);

} // namespace

PseudoTerminal::PseudoTerminal()
{
    termios raw{};
    ::cfmakeraw(&raw);
    int slave = -1;
    if (::openpty(&m_master, &slave, nullptr, &raw, nullptr) != 0) throw std::runtime_error("cannot create a pseudo-terminal");
    char name[128] = {};
    const bool named = ::ptsname_r(m_master, name, sizeof(name)) == 0;
    // Nobody holds the slave until a port opens it: the simulator sees each close as a hang-up.
    ::close(slave);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    if (!named) {
        ::close(m_master);
        throw std::runtime_error("cannot name the pseudo-terminal");
    }
    m_slave_path = name;
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
}

void PseudoTerminal::hangUp()
{
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

PseudoTerminal::Status PseudoTerminal::waitFor(short events, std::chrono::milliseconds timeout,
                                               const std::atomic<bool>& stop)
{
    if (m_master < 0) return Status::HungUp;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (stop) return Status::Stopped;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd request{m_master, events, 0};
        const int ready = ::poll(&request, 1, static_cast<int>(std::clamp(left, std::chrono::milliseconds(0), s_slice).count()));
        if (ready > 0 && (request.revents & events) != 0) return Status::Ok;
        if (ready > 0) return Status::HungUp;
        if (ready < 0 && errno != EINTR) return Status::HungUp;
        if (left <= std::chrono::milliseconds(0)) return Status::TimedOut;
    }
}

PseudoTerminal::Status PseudoTerminal::readByte(std::uint8_t& byte, std::chrono::milliseconds timeout,
                                                const std::atomic<bool>& stop)
{
    for (;;) {
        const Status status = waitFor(POLLIN, timeout, stop);
        if (status != Status::Ok) return status;
        const ssize_t n = ::read(m_master, &byte, 1);
        if (n == 1) return Status::Ok;
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        return Status::HungUp;
    }
}

PseudoTerminal::Status PseudoTerminal::write(const std::uint8_t* data, std::size_t size, const std::atomic<bool>& stop)
{
    while (size > 0) {
        const Status status = waitFor(POLLOUT, std::chrono::hours(1), stop);
        if (status != Status::Ok) return status;
        const ssize_t n = ::write(m_master, data, size);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) return Status::HungUp;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return Status::Ok;
}

} // namespace ertkit_sim
