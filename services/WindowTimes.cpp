#include <services/WindowTimes.h>

#include <fmt/format.h>

#include <binx/BINX_Data.h>

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

std::vector<double> windowBounds(std::string_view text)
{
    std::vector<std::pair<double, double>> windows;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string item(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        const std::size_t colon = item.find(':');
        std::size_t used_start = 0, used_end = 0;
        try {
            if (colon == std::string::npos) throw std::invalid_argument(item);
            const double start = std::stod(item.substr(0, colon), &used_start);
            const double end = std::stod(item.substr(colon + 1), &used_end);
            if (used_start != colon || used_end != item.size() - colon - 1) throw std::invalid_argument(item);
            windows.emplace_back(start, end);
        } catch (const std::logic_error&) {
            throw std::invalid_argument(fmt::format("'{}' is not a window: give start:end in ms, e.g. 40:60", item));
        }
    }
    return windowBounds(windows);
}

} // namespace ertkit
