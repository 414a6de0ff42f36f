#include "support/TestSupport.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace ertkit_test {

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    m_path = std::filesystem::temp_directory_path() /
             ("ertkit-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(random()));
    std::filesystem::create_directories(m_path);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

LogCapture::LogCapture()
{
    m_previous = VELTLogger::setSink([this](VELTLogger::Level level, const std::string& line) { m_lines.emplace_back(level, line); });
}

LogCapture::~LogCapture()
{
    VELTLogger::setSink(m_previous);
}

std::vector<std::string> LogCapture::lines(VELTLogger::Level level) const
{
    std::vector<std::string> out;
    for (const auto& [l, text] : m_lines)
        if (l == level) out.push_back(text);
    return out;
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write test file " + path);
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t filesIn(const std::filesystem::path& folder)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
}

} // namespace ertkit_test
