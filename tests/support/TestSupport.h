#pragma once

#include <host/ProgressCallback.h>
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

// Notes every progress call it gets, in order; given stop_after, asks to stop at its
// (stop_after + 1)-th question. Asked for its error code, it gives error_code.
class ProgressLog : public ProgressCallback {
public:
    explicit ProgressLog(int stop_after = -1) : m_stop_after(stop_after) {}
    bool isCancelled() override { return m_stop_after >= 0 && ++m_queries > m_stop_after; }
    void setTextId(std::uint32_t id) override { calls.push_back("text " + std::to_string(id)); }
    void setFormattedText(std::uint32_t id, const std::string& a, const std::string& b) override
    {
        calls.push_back("formatted " + std::to_string(id) + " [" + a + "] [" + b + "]");
    }
    void setRange(unsigned int a, unsigned int b, unsigned int step) override
    {
        calls.push_back("range " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(step));
    }
    void setPosition(unsigned int p) override { calls.push_back("position " + std::to_string(p)); }
    void step() override { calls.push_back("step"); }
    int getErrorCode() override
    {
        calls.push_back("error code");
        return error_code;
    }
    std::vector<std::string> calls;
    int error_code = 42;

private:
    int m_stop_after;
    int m_queries = 0;
};

// Everything a read shows: what describe(result, lines) says of its result or the message of
// what it threw, then its log lines and its progress calls. Two reads that should behave the
// same give equal outcomes.
template <typename Read, typename Describe>
std::vector<std::string> readingOutcome(Read read, Describe describe)
{
    LogCapture log;
    ProgressLog progress;
    std::vector<std::string> seen;
    try {
        describe(read(progress), seen);
    } catch (const std::exception& e) {
        seen.push_back(std::string("throws ") + e.what());
    }
    for (const auto& [level, line] : log.lines()) seen.push_back("log " + std::to_string(static_cast<int>(level)) + " " + line);
    seen.insert(seen.end(), progress.calls.begin(), progress.calls.end());
    return seen;
}

// Little-endian byte writer for building test files field by field.
using Bytes = ertkit_writers::Bytes;

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFile(const std::string& path);
std::string readText(const std::filesystem::path& path);
// How many entries a folder holds.
std::size_t filesIn(const std::filesystem::path& folder);

// What a call throws, as its message, or "no exception". An exception that is not an
// Expected is not caught: it fails the test.
template <typename Expected = std::exception, typename F>
std::string failure(F call)
{
    try {
        call();
    } catch (const Expected& e) {
        return e.what();
    }
    return "no exception";
}

} // namespace ertkit_test
