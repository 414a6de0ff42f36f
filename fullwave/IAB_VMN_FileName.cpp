// Serial numbers, kind and start date of a recording from its file name.

#include <fullwave/IAB_VMN_File.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <stdexcept>

namespace {

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The decimal conversion to a 32-bit unsigned long of the compilers the recordings come
// from: blanks and a sign accepted, stops at the first non-digit, no digit at all is
// std::invalid_argument, a magnitude beyond 32 bits std::out_of_range, a minus sign wraps.
// Linux's unsigned long is 64 bits wide, so the range is checked here.
unsigned long toUnsigned32(const std::string& text)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(begin, &end, 10);
    if (end == begin) throw std::invalid_argument("stoul");
    std::size_t sign = 0;
    while (std::isspace(static_cast<unsigned char>(begin[sign]))) ++sign;
    const bool negative = begin[sign] == '-';
    const unsigned long long magnitude = negative ? (0 - value) : value;
    if (errno == ERANGE || magnitude > std::numeric_limits<std::uint32_t>::max()) throw std::out_of_range("stoul");
    return static_cast<std::uint32_t>(value);
}

unsigned short numberBetween(const std::string& path, std::size_t from, std::size_t to)
{
    // to < from gives an unsigned count that runs to the end, as the substring rules do.
    return static_cast<unsigned short>(toUnsigned32(path.substr(from, to - from)) & 0xFFFFu);
}

int twoDigits(const std::string& path, std::size_t at)
{
    return std::stoi(path.substr(at, 2));
}

// Position before which every found position lies: an absent one compares greater.
constexpr std::size_t kAbsent = std::string::npos;

} // namespace

void IAB_VMN_File::GetSerials(const std::string& path, unsigned short& serial, unsigned short& user_serial, bool& is_vmn,
                              HighPrecisionTime& time)
{
    if (path.size() < 4) throw std::invalid_argument("invalid file: " + path);
    const std::string extension = lowerCase(path.substr(path.size() - 4));
    is_vmn = extension == ".vmn" || extension == ".vrw";
    if (!is_vmn && extension != ".iab" && extension != ".irw") throw std::invalid_argument("invalid file: " + path);

    const std::string lower = lowerCase(path);
    std::size_t base = lower.rfind('/');
    if (base == kAbsent) base = lower.rfind('\\');
    base = base == kAbsent ? 0 : base + 1;

    const std::size_t at = lower.find('@', base);
    if (at == kAbsent) return;

    const std::size_t tagpos = lower.rfind(is_vmn ? "vp" : "in");
    const std::size_t dash = lower.find('-', base);
    if (tagpos < dash && dash < at) {
        user_serial = numberBetween(lower, base + 2, dash);
        serial = numberBetween(lower, dash + 1, at);
    } else {
        if (tagpos != kAbsent) user_serial = numberBetween(lower, tagpos + 2, at);
        // Older receivers name the folder after the serial number: f<serial>dat.
        if (base >= 10 && lower.compare(base - 4, 3, "dat") == 0) {
            const std::size_t f = lower.rfind('f', base);
            if (f != kAbsent && base - f >= 5) serial = numberBetween(lower, f + 1, f + 1 + (base - f - 5));
        }
    }

    if (at + 18 == lower.size()) {
        std::tm tm{};
        tm.tm_mon = twoDigits(lower, at + 1) - 1;
        tm.tm_mday = twoDigits(lower, at + 3);
        const int year = twoDigits(lower, at + 5);
        tm.tm_year = year < 80 ? year + 100 : year;
        tm.tm_hour = twoDigits(lower, at + 8);
        tm.tm_min = twoDigits(lower, at + 10);
        tm.tm_sec = twoDigits(lower, at + 12);
        time = HighPrecisionTime::fromLocalTm(&tm);
    }
}

void IAB_VMN_File::GetSerials(const std::string& path, unsigned short& serial, unsigned short& user_serial, bool& is_vmn)
{
    HighPrecisionTime dropped;
    GetSerials(path, serial, user_serial, is_vmn, dropped);
}
