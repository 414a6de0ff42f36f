#include <services/WindowTimes.h>

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

} // namespace ertkit
