#pragma once

#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>

// The host's logger. Each of error(), warning() and debug() hands out a stream that holds
// the logger's lock while it lives; whatever is written into it becomes one message, one
// line per line end, delivered to the sink when the stream goes away.
class VELTLogger {
public:
    enum class Level { Error, Warning, Debug };
    using Sink = std::function<void(Level, const std::string& line)>;

    class MTostream {
    public:
        MTostream(MTostream&& other) noexcept;
        MTostream(const MTostream&) = delete;
        MTostream& operator=(const MTostream&) = delete;
        MTostream& operator=(MTostream&&) = delete;
        ~MTostream();

        template <typename T>
        MTostream& operator<<(const T& value)
        {
            m_text << value;
            return *this;
        }
        MTostream& operator<<(std::ostream& (*manipulator)(std::ostream&))
        {
            m_text << manipulator;
            return *this;
        }

    private:
        friend class VELTLogger;
        MTostream(Level level, std::unique_lock<std::recursive_mutex> lock);

        Level m_level;
        std::unique_lock<std::recursive_mutex> m_lock;
        std::ostringstream m_text;
        bool m_active = true;
    };

    static MTostream error();
    static MTostream warning();
    static MTostream debug();

    // Replaces where lines go (the default writes warnings and errors to standard error and
    // drops debug lines); returns the previous sink. An empty sink restores the default.
    static Sink setSink(Sink sink);
    static const char* levelName(Level level);

    // Text that came from a file, fit for one log line: its line ends and tabs are shown as
    // \x0A, \x0D and \x09, so that a file cannot make a line of its own; the rest is kept.
    static std::string oneLine(std::string_view text);
};
