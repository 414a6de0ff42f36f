#pragma once

#include <host/VELTLogger.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace ertkit_test {

// A fresh folder removed with everything in it when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Collects the logger's lines while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const std::vector<std::pair<VELTLogger::Level, std::string>>& lines() const { return m_lines; }
    std::vector<std::string> lines(VELTLogger::Level level) const;

private:
    std::vector<std::pair<VELTLogger::Level, std::string>> m_lines;
    VELTLogger::Sink m_previous;
};

// Little-endian byte writer for building test files field by field.
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

private:
    std::vector<std::uint8_t> m_data;
};

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFile(const std::string& path);

} // namespace ertkit_test
