#include <download/TarvexKesta_File.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

template <typename Record>
std::uint32_t sumOf(const Record& record)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record) + Record::s_summed_offset;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < Record::s_summed_size; ++i) sum += bytes[i];
    return sum;
}

} // namespace

const std::string TarvexKesta_File::NO_DATA_STORED(11, '\xFF');

std::string TarvexKesta_File::TMeasureHead::nameText() const
{
    const char* end = std::find(name, name + sizeof(name), '\0');
    return std::string(name, end);
}

bool TarvexKesta_File::TMeasureHead::isEmptySlot() const
{
    return nameText() == NO_DATA_STORED;
}

void TarvexKesta_File::TMeasureHead::setName(const std::string& text)
{
    std::memset(name, 0, sizeof(name));
    std::memcpy(name, text.data(), std::min(text.size(), sizeof(name)));
}

std::uint32_t TarvexKesta_File::TMeasure::byteSum() const
{
    return sumOf(*this);
}

std::uint32_t TarvexKesta_File::TZMeasure::byteSum() const
{
    return sumOf(*this);
}

TarvexKesta_File::TarvexKesta_File(std::function<bool(TPortVirt::TypePort)> port_callback,
                                   std::function<void()> on_open_failure, std::function<bool()> on_open_success,
                                   std::function<void(int, std::string)> on_error, TPortVirt::TypePort port_type,
                                   std::string text)
    : m_port_type(port_type),
      m_text(std::move(text)),
      m_port_callback(std::move(port_callback)),
      m_on_open_failure(std::move(on_open_failure)),
      m_on_open_success(std::move(on_open_success)),
      m_on_error(std::move(on_error))
{
}

TarvexKesta_File::~TarvexKesta_File()
{
    m_port.reset();
}

bool TarvexKesta_File::initUSB()
{
    m_port.reset();
    m_port = m_link.makeUsbPort(); // a TPortUSB unless a test or the fuzzer says otherwise
    std::function<bool()> retry = [callback = m_port_callback] { return callback(TPortVirt::USB); };
    if (m_port->open(std::move(retry), 99, 273000, std::string(), false, std::string(), 0) == 0) {
        m_on_open_failure();
        return false;
    }
    return m_on_open_success();
}

bool TarvexKesta_File::initWifi()
{
    m_port.reset();
    throw std::runtime_error("not implemented");
}
