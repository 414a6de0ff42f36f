#include <sim/MemoryPort.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace ertkit_sim {

namespace {

constexpr std::size_t s_range_bytes = 8;

} // namespace

MemoryPort::MemoryPort(MemoryMeter meter, std::shared_ptr<MemoryPortLog> log)
    : m_meter(std::move(meter)), m_log(std::move(log))
{
}

int MemoryPort::open(std::function<bool()>, int, long, std::string, bool, std::string, int)
{
    ++m_log->opens;
    m_open = true;
    return 1;
}

bool MemoryPort::setBaud(std::string& system, std::string& speed)
{
    if (m_meter.name.empty()) return false;
    system = m_meter.name;
    speed = s_speed;
    return true;
}

int MemoryPort::readBufferTimed(void* buffer, int count, int timeout_ms)
{
    m_log->timeouts.push_back(timeout_ms);
    if (count <= 0 || buffer == nullptr) return 0;
    checkLink(m_clock);
    const std::vector<std::uint8_t>& stream = m_meter.stream;
    const std::size_t left = stream.size() - m_read;
    std::size_t served = 0;
    if (left != 0) {
        served = std::min(static_cast<std::size_t>(count), left);
        std::memcpy(buffer, stream.data() + m_read, served);
        m_read += served;
    } else if (m_meter.after == MemoryMeter::AfterStream::EndIndex && count == 4) {
        std::memset(buffer, 0xFF, 4);
        served = 4;
    }
    if (served != 0) heardMeter(m_clock);
    if (served < static_cast<std::size_t>(count)) m_clock += std::chrono::milliseconds(std::max(0, timeout_ms));
    return static_cast<int>(served);
}

void MemoryPort::putCom(unsigned char byte)
{
    m_log->sent.push_back(byte);
}

void MemoryPort::clearRxBuffer()
{
    ++m_log->rx_clears;
}

void MemoryPort::close()
{
    ++m_log->closes;
    m_open = false;
}

LinkSettings noPauses(std::string device)
{
    return LinkSettings{std::move(device), nullptr, [](int) {}, 1.0};
}

MemoryLink::MemoryLink(const MemoryMeter& meter) : m_meter(meter)
{
}

LinkSettings MemoryLink::settings() const
{
    return LinkSettings{{}, [meter = m_meter, log = m_log] { return std::make_unique<MemoryPort>(meter, log); },
                        [pauses = m_pauses](int milliseconds) { pauses->push_back(milliseconds); }, 1.0};
}

std::vector<std::uint8_t> MemoryLink::sentAfterRange() const
{
    const auto& sent = m_log->sent;
    return {sent.begin() + static_cast<std::ptrdiff_t>(std::min(s_range_bytes, sent.size())), sent.end()};
}

} // namespace ertkit_sim
