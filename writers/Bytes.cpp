#include <writers/Bytes.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace ertkit_writers {

Bytes& Bytes::u8(std::uint8_t v)
{
    m_data.push_back(v);
    return *this;
}

Bytes& Bytes::u16(std::uint16_t v)
{
    for (int i = 0; i < 2; ++i) m_data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
}

Bytes& Bytes::u32(std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) m_data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
}

Bytes& Bytes::u64(std::uint64_t v)
{
    for (int i = 0; i < 8; ++i) m_data.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
}

Bytes& Bytes::f32(float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return u32(bits);
}

Bytes& Bytes::f64(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return u64(bits);
}

Bytes& Bytes::raw(const void* data, std::size_t size)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    m_data.insert(m_data.end(), p, p + size);
    return *this;
}

Bytes& Bytes::zeros(std::size_t n)
{
    m_data.insert(m_data.end(), n, 0);
    return *this;
}

void Bytes::save(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(m_data.data()), static_cast<std::streamsize>(m_data.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

} // namespace ertkit_writers
