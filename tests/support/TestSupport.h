#pragma once

#include <host/VELTLogger.h>
#include <writers/Bytes.h>

#include <cstdint>
#include <exception>
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
using Bytes = ertkit_writers::Bytes;

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFile(const std::string& path);

// What a call throws, as its message, or "no exception".
template <typename F>
std::string failure(F call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no exception";
}

} // namespace ertkit_test
