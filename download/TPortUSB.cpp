#include <download/TPortUSB.h>

#include <download/LinkWatch.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <filesystem>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

TPortUSB::OpenFailure& openFailure()
{
    thread_local TPortUSB::OpenFailure failure;
    return failure;
}

speed_t speedCode(int baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    default: return B115200;
    }
}

// Device names sorted the way a person counts them: ttyUSB2 before ttyUSB10.
void sortNaturally(std::vector<std::string>& names)
{
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
}

std::vector<std::string> entriesOf(const std::filesystem::path& folder, const std::string& prefix)
{
    std::vector<std::string> found;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->path().filename().string().rfind(prefix, 0) == 0) found.push_back(it->path().string());
    sortNaturally(found);
    return found;
}

int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

} // namespace

const std::vector<int> TPortUSB::s_speeds = {115200, 57600, 38400, 19200, 9600};

TPortUSB::~TPortUSB()
{
    close();
}

std::vector<std::string> TPortUSB::findDevices()
{
    std::vector<std::string> devices = entriesOf("/dev/serial/by-id", "");
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        const auto more = entriesOf("/dev", prefix);
        devices.insert(devices.end(), more.begin(), more.end());
    }
    return devices;
}

TPortUSB::OpenFailure TPortUSB::lastOpenFailure()
{
    return openFailure();
}

int TPortUSB::open(std::function<bool()> retry, int, long, std::string, bool, std::string, int)
{
    close();
    for (;;) {
        std::string path = m_device;
        if (path.empty()) {
            const auto devices = findDevices();
            if (!devices.empty()) path = devices.front();
        }
        openFailure() = {path, ENOENT};
        if (!path.empty() && openDevice(path)) {
            openFailure() = {};
            return 1;
        }
        if (!retry || !retry()) return 0;
    }
}

bool TPortUSB::openDevice(const std::string& path)
{
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        openFailure().error = errno;
        return false;
    }
    // Claim the line, so that a second program opening it is told it is busy instead of
    // sharing the meter's bytes with us.
    const bool terminal = ::isatty(m_fd) != 0;
    const bool claimed = terminal && ::ioctl(m_fd, TIOCEXCL) == 0;
    if (!terminal || !claimed || !applySpeed(s_speeds.front())) {
        openFailure().error = terminal ? errno : ENOTTY;
        close();
        return false;
    }
    ::tcflush(m_fd, TCIOFLUSH);
    return true;
}

bool TPortUSB::applySpeed(int baud)
{
    termios settings{};
    if (::tcgetattr(m_fd, &settings) != 0) return false;
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, speedCode(baud));
    ::cfsetospeed(&settings, speedCode(baud));
    return ::tcsetattr(m_fd, TCSANOW, &settings) == 0;
}

bool TPortUSB::identify(std::string& name)
{
    ::tcflush(m_fd, TCIOFLUSH);
    putCom(s_identify_request);
    unsigned char head[2];
    if (readBufferTimed(head, 2, s_identify_timeout_ms) != 2) return false;
    if (head[0] != s_identify_answer || head[1] == 0 || head[1] > s_max_name_length) return false;
    char text[s_max_name_length];
    const int length = head[1];
    if (readBufferTimed(text, length, s_identify_timeout_ms) != length) return false;
    if (!std::all_of(text, text + length, [](char c) { return std::isprint(static_cast<unsigned char>(c)) != 0; }))
        return false;
    name.assign(text, static_cast<std::size_t>(length));
    return true;
}

bool TPortUSB::setBaud(std::string& system, std::string& speed)
{
    if (m_fd < 0) return false;
    std::string name;
    for (const int baud : s_speeds) {
        if (applySpeed(baud) && identify(name)) {
            system = name;
            speed = std::to_string(baud) + " baud";
            return true;
        }
    }
    applySpeed(s_speeds.front());
    return false;
}

int TPortUSB::readBufferTimed(void* buffer, int count, int timeout_ms)
{
    if (m_fd < 0 || buffer == nullptr || count <= 0) return 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, timeout_ms));
    int got = 0;
    while (got < count) {
        // Waits are cut in slices so that a host's request to stop is seen within one.
        const auto now = std::chrono::steady_clock::now();
        // Bytes that came while the host was not reading (a pause between two tries) broke
        // the silence: only time with nothing arriving counts against the limit.
        if (now >= silenceDeadline() && hasInput()) heardMeter(now);
        checkLink(now);
        if (now >= deadline) break;
        const auto slice_end = std::min({deadline, now + LinkWatch::s_poll_interval, silenceDeadline()});
        pollfd request{m_fd, POLLIN, 0};
        const int ready = ::poll(&request, 1, remainingMs(slice_end));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        if (ready == 0) continue;
        if ((request.revents & POLLIN) == 0) { // hung up or failed
            deviceGone();
            break;
        }
        const ssize_t n = ::read(m_fd, bytes + got, static_cast<std::size_t>(count - got));
        if (n > 0) {
            got += static_cast<int>(n);
            heardMeter(std::chrono::steady_clock::now());
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            deviceGone();
            break;
        }
    }
    return got;
}

void TPortUSB::putCom(unsigned char byte)
{
    if (m_fd < 0) return;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ssize_t n = ::write(m_fd, &byte, 1);
        if (n == 1) return;
        if (n < 0 && errno != EAGAIN && errno != EINTR) return;
        pollfd request{m_fd, POLLOUT, 0};
        ::poll(&request, 1, 1000);
    }
}

void TPortUSB::clearRxBuffer()
{
    if (m_fd < 0) return;
    // Dropped bytes still came from the meter: it was not silent.
    if (hasInput()) heardMeter(std::chrono::steady_clock::now());
    ::tcflush(m_fd, TCIFLUSH);
}

bool TPortUSB::hasInput()
{
    int waiting = 0;
    return m_fd >= 0 && ::ioctl(m_fd, FIONREAD, &waiting) == 0 && waiting > 0;
}

void TPortUSB::close()
{
    if (m_fd < 0) return;
    ::close(m_fd);
    m_fd = -1;
}
