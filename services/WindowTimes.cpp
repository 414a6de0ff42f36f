#include <services/WindowTimes.h>

#include <services/MessageText.h>

#include <fmt/format.h>

#include <binx/BINX_Data.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace ertkit {

namespace {

constexpr double s_ms_per_tick = 1e-6;

std::int32_t tenths(std::uint64_t samples)
{
    if (samples > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max() / 10))
        throw std::invalid_argument("window time too large for a BINX record");
    return static_cast<std::int32_t>(samples * 10);
}

} // namespace

double samplePeriodMs(const Result_Reader& result)
{
    return static_cast<double>(result.getSampleTime(true).ticks()) * s_ms_per_tick;
}

void readWindowTimes(const Result_Reader& result, std::vector<double>& times_ms)
{
    thread_local std::vector<std::uint64_t> samples;
    times_ms.clear();
    double period_ms = 0.0;
    try {
        period_ms = samplePeriodMs(result);
    } catch (const std::exception&) {
        return;
    }
    result.fillTM(samples);
    for (const std::uint64_t s : samples) times_ms.push_back(static_cast<double>(s) * period_ms);
}

void writeWindowTimes(BINX_Data& record, const std::vector<double>& times_ms)
{
    if (times_ms.empty() || times_ms.size() > BINX_Data::N_WINDOWS + 1)
        throw std::invalid_argument("window_times: t0 and the end of each window, at most 20 windows");
    double period_ms = 0.0;
    try {
        period_ms = samplePeriodMs(record);
    } catch (const std::exception& e) {
        throw std::invalid_argument(e.what());
    }
    std::vector<std::uint64_t> samples;
    for (const double t : times_ms) {
        if (!(t >= 0.0) || t / period_ms > 1e9) throw std::invalid_argument("window_times out of range");
        samples.push_back(static_cast<std::uint64_t>(std::llround(t / period_ms)));
        if (samples.size() > 1 && samples.back() < samples[samples.size() - 2]) throw std::invalid_argument("window_times must not decrease");
    }
    std::array<std::int32_t, BINX_Data::N_WINDOWS> widths{};
    const std::int32_t delay = tenths(samples[0]);
    for (std::size_t i = 1; i < samples.size(); ++i) widths[i - 1] = tenths(samples[i] - samples[i - 1]);
    record.tmDelay = delay;
    record.tm = widths;
    record.nTM = static_cast<std::uint32_t>(samples.size() - 1);
}

std::vector<double> windowBounds(const std::vector<std::pair<double, double>>& windows)
{
    if (windows.empty() || windows.size() > BINX_Data::N_WINDOWS) throw std::invalid_argument("give from 1 to 20 windows");
    std::vector<double> bounds{windows.front().first};
    for (std::size_t w = 0; w < windows.size(); ++w) {
        const auto [start, end] = windows[w];
        if (!(start >= 0.0) || !std::isfinite(end))
            throw std::invalid_argument(fmt::format("window {} ({}:{}) starts before the switch-off", w + 1, start, end));
        if (!(end > start)) throw std::invalid_argument(fmt::format("window {} ({}:{}) does not end after it starts", w + 1, start, end));
        if (start != bounds.back())
            throw std::invalid_argument(fmt::format("window {} ({}:{}) does not start where window {} ends ({} ms)", w + 1, start, end, w, bounds.back()));
        bounds.push_back(end);
    }
    return bounds;
}

namespace {

// A number of milliseconds as a person writes it: decimal, with an optional fraction and
// exponent; no sign but '-', no hexadecimal, no infinity or NaN, nothing around it.
bool parseMs(std::string_view text, double& value)
{
    if (text.empty() || text.front() == '+') return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

} // namespace

std::vector<double> windowBounds(std::string_view text)
{
    std::vector<std::pair<double, double>> windows;
    const std::string_view whole = text;
    for (bool more = !text.empty(); more;) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        more = comma != std::string_view::npos;
        text = more ? text.substr(comma + 1) : std::string_view{};
        if (item.empty())
            throw std::invalid_argument(fmt::format("'{}' holds an empty window (a comma too many?): give start:end in ms, e.g. 40:60,60:100",
                                                    excerpt(whole)));
        const std::size_t colon = item.find(':');
        double start = 0.0, end = 0.0;
        if (colon == std::string_view::npos || !parseMs(item.substr(0, colon), start) || !parseMs(item.substr(colon + 1), end))
            throw std::invalid_argument(fmt::format("'{}' is not a window: give start:end in ms, e.g. 40:60", excerpt(item)));
        windows.emplace_back(start, end);
    }
    return windowBounds(windows);
}

namespace {

std::size_t logGateCount(const LogGates& gates)
{
    return static_cast<std::size_t>(std::ceil(gates.per_decade * std::log10(gates.last_ms / gates.first_ms) - 1e-9));
}

} // namespace

void checkLogGates(const LogGates& gates)
{
    if (!(gates.first_ms > 0.0) || !std::isfinite(gates.first_ms))
        throw std::invalid_argument(fmt::format("the first gate must start after the switch-off (above 0 ms), not at {} ms", gates.first_ms));
    if (!(gates.last_ms > gates.first_ms) || !std::isfinite(gates.last_ms))
        throw std::invalid_argument(fmt::format("the last gate must end after the first starts ({} ms), not at {} ms", gates.first_ms, gates.last_ms));
    if (!(gates.per_decade > 0.0) || !std::isfinite(gates.per_decade))
        throw std::invalid_argument(fmt::format("give a positive number of gates a decade, not {}", gates.per_decade));
    if (const std::size_t n = logGateCount(gates); n > BINX_Data::N_WINDOWS)
        throw std::invalid_argument(fmt::format("{} gates a decade from {} to {} ms make {} gates, and a record holds at most {}: ask fewer a decade",
                                                gates.per_decade, gates.first_ms, gates.last_ms, n, BINX_Data::N_WINDOWS));
}

LogGates logGatesNamed(std::string_view text)
{
    LogGates gates;
    const std::string_view whole = text;
    const auto fail = [&] {
        return std::invalid_argument(fmt::format("'{}' is not a gate spacing: give log:FIRST_MS:LAST_MS:PER_DECADE, e.g. log:10:1900:6", excerpt(whole)));
    };
    if (!text.starts_with("log:")) throw fail();
    text.remove_prefix(4);
    double* const fields[] = {&gates.first_ms, &gates.last_ms, &gates.per_decade};
    for (std::size_t f = 0; f < 3; ++f) {
        const std::size_t colon = text.find(':');
        if ((colon == std::string_view::npos) != (f == 2) || !parseMs(text.substr(0, colon), *fields[f])) throw fail();
        text = f == 2 ? std::string_view{} : text.substr(colon + 1);
    }
    checkLogGates(gates);
    return gates;
}

std::vector<double> logGateBounds(const LogGates& gates)
{
    checkLogGates(gates);
    const std::size_t n = std::max<std::size_t>(1, logGateCount(gates));
    std::vector<double> bounds{gates.first_ms};
    const double ratio = gates.last_ms / gates.first_ms;
    for (std::size_t g = 1; g < n; ++g) bounds.push_back(gates.first_ms * std::pow(ratio, static_cast<double>(g) / static_cast<double>(n)));
    bounds.push_back(gates.last_ms);
    return bounds;
}

} // namespace ertkit
