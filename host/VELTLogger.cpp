#include <host/VELTLogger.h>

#include <iostream>

namespace {

std::recursive_mutex& loggerMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}

void defaultSink(VELTLogger::Level level, const std::string& line)
{
    if (level == VELTLogger::Level::Debug) return;
    std::cerr << VELTLogger::levelName(level) << ": " << line << '\n';
}

VELTLogger::Sink& currentSink()
{
    static VELTLogger::Sink sink = defaultSink;
    return sink;
}

} // namespace

VELTLogger::MTostream::MTostream(Level level, std::unique_lock<std::recursive_mutex> lock)
    : m_level(level), m_lock(std::move(lock))
{
}

VELTLogger::MTostream::MTostream(MTostream&& other) noexcept
    : m_level(other.m_level), m_lock(std::move(other.m_lock)), m_text(std::move(other.m_text))
{
    other.m_active = false;
}

VELTLogger::MTostream::~MTostream()
{
    if (!m_active) return;
    const std::string text = m_text.str();
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        try {
            currentSink()(m_level, text.substr(begin, end - begin));
        } catch (...) {
            // A failing sink must not take the reader down with it.
        }
        begin = end + 1;
    }
}

VELTLogger::MTostream VELTLogger::error()
{
    return MTostream(Level::Error, std::unique_lock<std::recursive_mutex>(loggerMutex()));
}

VELTLogger::MTostream VELTLogger::warning()
{
    return MTostream(Level::Warning, std::unique_lock<std::recursive_mutex>(loggerMutex()));
}

VELTLogger::MTostream VELTLogger::debug()
{
    return MTostream(Level::Debug, std::unique_lock<std::recursive_mutex>(loggerMutex()));
}

VELTLogger::Sink VELTLogger::setSink(Sink sink)
{
    std::lock_guard<std::recursive_mutex> lock(loggerMutex());
    Sink previous = currentSink();
    currentSink() = sink ? std::move(sink) : Sink(defaultSink);
    return previous;
}

const char* VELTLogger::levelName(Level level)
{
    switch (level) {
    case Level::Error: return "error";
    case Level::Warning: return "warning";
    case Level::Debug: return "debug";
    }
    return "log";
}

std::string VELTLogger::oneLine(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c != '\n' && c != '\r' && c != '\t') {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}
