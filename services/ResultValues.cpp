#include <services/ResultValues.h>

#include <services/WindowTimes.h>

#include <algorithm>
#include <cmath>

namespace ertkit {

namespace {

constexpr double s_per_mille = 1000.0;

} // namespace

bool fullDutyCycle(const Result_Reader& result)
{
    return result.getInjectionType() == InjectionType::FullDutyCycle;
}

void computeResistivity(ResultValues& v)
{
    v.resistance = v.current != 0.0 ? std::optional<double>(v.vp / v.current) : std::nullopt;
    v.rhoa = v.k && v.resistance ? std::optional<double>(*v.k * *v.resistance) : std::nullopt;
}

void readResultValues(const Result_Reader& r, ResultValues& v)
{
    for (std::size_t e = 0; e < v.electrodes.size(); ++e) {
        const auto name = static_cast<ElectrodeName>(e);
        v.electrodes[e] = {r.getElectrodeX(name), r.getElectrodeY(name), r.getElectrodeZ(name)};
    }
    v.vp = r.getPolarizationVoltage(true);
    v.current = r.getInjectedCurrent(true);
    v.k = geometricFactor(v.electrodes);
    computeResistivity(v);
    const bool full = fullDutyCycle(r);
    v.m = r.getIp(true, full) * s_per_mille;
    r.fillMIp(true, full, v.window_m);
    for (double& m : v.window_m) m *= s_per_mille;
    readWindowTimes(r, v.window_times);
    v.sp = r.getSpontaneousPotential();
    v.vp_error = r.getPolarizationVoltageError(true);
    v.m_error = r.getIpError(true, full);
    v.stacks = r.getNStack(true) + r.getNStack(false);
    v.start_time = r.getStartTime(true);
    v.ignore = r.getIgnore();
    v.serial_v = r.getSerialNumber(true);
    v.user_serial_v = r.getUserSerialNumber(true);
    v.serial_i = r.getSerialNumber(false);
    v.user_serial_i = r.getUserSerialNumber(false);
}

ResultValues resultValues(const Result_Reader& result)
{
    ResultValues values;
    readResultValues(result, values);
    return values;
}

std::size_t windowCount(const ResultValues& values)
{
    return values.window_times.empty() ? 0 : values.window_times.size() - 1;
}

std::size_t mostWindows(const std::vector<Result_Reader*>& results)
{
    std::size_t windows = 0;
    ResultValues v;
    for (const Result_Reader* r : results) {
        readResultValues(*r, v);
        windows = std::max(windows, windowCount(v));
    }
    return windows;
}

bool usable(const ResultValues& values)
{
    return !values.ignore && values.rhoa && std::isfinite(*values.rhoa);
}

std::optional<double> relativeError(const ResultValues& values)
{
    if (!(values.vp_error > 0.0) || values.vp == 0.0 || !std::isfinite(values.vp_error)) return std::nullopt;
    return values.vp_error / std::abs(values.vp);
}

std::optional<HighPrecisionTime> storedTime(const HighPrecisionTime& time)
{
    static const HighPrecisionTime none = HighPrecisionTime::convertDateTime(0.0);
    if (time == none) return std::nullopt;
    return time;
}

std::optional<HighPrecisionTime> tableTime(const HighPrecisionTime& time)
{
    if (!storedTime(time)) return std::nullopt;
    constexpr HighPrecisionTime::Ticks millisecond = 1000000;
    const HighPrecisionTime::Ticks shifted = time.ticks() + millisecond / 2;
    HighPrecisionTime::Ticks whole = shifted / millisecond;
    if (shifted % millisecond < 0) --whole; // towards the earlier millisecond, whatever the sign
    return HighPrecisionTime::fromTicks(whole * millisecond);
}

std::vector<DecayPoint> decayCurve(const ResultValues& values)
{
    std::vector<DecayPoint> points;
    const std::vector<double>& bounds = values.window_times;
    for (std::size_t w = 0; w < values.window_m.size() && w + 1 < bounds.size(); ++w)
        points.push_back({(bounds[w] + bounds[w + 1]) / 2, values.window_m[w]});
    return points;
}

} // namespace ertkit
