#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ertkit_writers {

// Little-endian byte writer: builds a file field by field, as the formats store them.
class Bytes {
public:
    Bytes& u8(std::uint8_t v);
    Bytes& u16(std::uint16_t v);
    Bytes& u32(std::uint32_t v);
    Bytes& u64(std::uint64_t v);
    Bytes& i16(std::int16_t v) { return u16(static_cast<std::uint16_t>(v)); }
    Bytes& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    Bytes& f32(float v);
    Bytes& f64(double v);
    Bytes& raw(const void* data, std::size_t size);
    Bytes& text(const std::string& s) { return raw(s.data(), s.size()); }
    Bytes& zeros(std::size_t n);
    Bytes& append(const Bytes& other) { return raw(other.m_data.data(), other.m_data.size()); }

    const std::vector<std::uint8_t>& data() const { return m_data; }
    std::vector<std::uint8_t>& data() { return m_data; }
    std::size_t size() const { return m_data.size(); }

    // Writes the bytes to a file, replacing it; throws std::runtime_error when that fails.
    void save(const std::string& path) const;

private:
    std::vector<std::uint8_t> m_data;
};

} // namespace ertkit_writers
