#include "ResultValues.h"

namespace ertkit_cli {

namespace {

constexpr double s_per_mille = 1000.0;

void windowTimes(const Result_Reader& r, std::vector<double>& times)
{
    thread_local std::vector<std::uint64_t> samples;
    times.clear();
    double period_ms = 0.0;
    try {
        period_ms = static_cast<double>(r.getSampleTime(true).ticks()) * 1e-6;
    } catch (const std::exception&) {
        return;
    }
    r.fillTM(samples);
    for (const std::uint64_t s : samples) times.push_back(static_cast<double>(s) * period_ms);
}

} // namespace

bool fullDutyCycle(const Result_Reader& result)
{
    return result.getInjectionType() == InjectionType::FullDutyCycle;
}

void readResultValues(const Result_Reader& r, ResultValues& v)
{
    for (std::size_t e = 0; e < v.electrodes.size(); ++e) {
        const auto name = static_cast<ElectrodeName>(e);
        v.electrodes[e] = {r.getElectrodeX(name), r.getElectrodeY(name), r.getElectrodeZ(name)};
    }
    v.vp = r.getPolarizationVoltage(true);
    v.current = r.getInjectedCurrent(true);
    v.resistance = v.current != 0.0 ? std::optional<double>(v.vp / v.current) : std::nullopt;
    v.k = geometricFactor(v.electrodes);
    v.rhoa = v.k && v.resistance ? std::optional<double>(*v.k * *v.resistance) : std::nullopt;
    const bool full = fullDutyCycle(r);
    v.m = r.getIp(true, full) * s_per_mille;
    r.fillMIp(true, full, v.window_m);
    for (double& m : v.window_m) m *= s_per_mille;
    windowTimes(r, v.window_times);
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

} // namespace ertkit_cli
