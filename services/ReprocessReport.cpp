#include <services/ReprocessReport.h>

#include <cmath>
#include <optional>

namespace ertkit {

namespace {

ReportCell real(std::optional<double> value)
{
    if (!value || !std::isfinite(*value)) return std::monostate{};
    return *value;
}

std::optional<double> relativeDifference(double stored, std::optional<double> recomputed)
{
    if (!recomputed || stored == 0.0) return std::nullopt;
    return (*recomputed - stored) / std::abs(stored);
}

} // namespace

const std::vector<ReportColumn>& reprocessReportColumns()
{
    using T = ReportType;
    static const std::vector<ReportColumn> columns = {
        {"index", "", T::Integer},
        {"ok", "", T::Flag},
        {"failure", "", T::Text},
        {"voltage_recording", "", T::Text},
        {"current_recording", "", T::Text},
        {"voltage_start", "", T::Integer},
        {"voltage_channel", "", T::Integer},
        {"current_start", "", T::Integer},
        {"current_channel", "", T::Integer},
        {"halves_used", "", T::Integer},
        {"halves_dropped", "", T::Integer},
        {"vp_stored_mV", "mV", T::Real},
        {"vp_new_mV", "mV", T::Real},
        {"vp_rel_diff", "", T::Real},
        {"vp_std_mV", "mV", T::Real},
        {"i_stored_mA", "mA", T::Real},
        {"i_new_mA", "mA", T::Real},
        {"i_rel_diff", "", T::Real},
        {"i_std_mA", "mA", T::Real},
        {"m_stored_mV_V", "mV/V", T::Real},
        {"m_new_mV_V", "mV/V", T::Real},
        {"m_rel_diff", "", T::Real},
        {"m_std_mV_V", "mV/V", T::Real},
        {"r_stored_ohm", "ohm", T::Real},
        {"r_new_ohm", "ohm", T::Real},
        {"rhoa_stored_ohm_m", "ohm.m", T::Real},
        {"rhoa_new_ohm_m", "ohm.m", T::Real},
    };
    return columns;
}

const std::vector<ReportColumn>& reprocessReportColumns(bool beyond_meter)
{
    using T = ReportType;
    static const std::vector<ReportColumn> columns = [] {
        std::vector<ReportColumn> all = reprocessReportColumns();
        all.insert(all.end(), {
                                  {"spikes", "", T::Integer},
                                  {"mains_removed", "", T::Integer},
                                  {"gates", "", T::Integer},
                                  {"cc_m", "", T::Real},
                                  {"cc_m_std", "", T::Real},
                                  {"cc_tau_s", "s", T::Real},
                                  {"cc_tau_std_s", "s", T::Real},
                                  {"cc_c", "", T::Real},
                                  {"cc_c_std", "", T::Real},
                                  {"cc_misfit", "", T::Real},
                                  {"cc_failure", "", T::Text},
                              });
        return all;
    }();
    return beyond_meter ? columns : reprocessReportColumns();
}

const std::vector<ReportCell>& ReprocessReport::row(std::int64_t index, const Result_Reader& stored, const Reprocessed& values)
{
    readResultValues(stored, m_stored);
    const bool ok = values.ok;
    // Without windows (a full duty cycle, or none given nor stored) nothing was recomputed for M.
    const bool has_m = ok && !values.window_m.empty();
    std::optional<double> vp, current, m;
    if (ok) {
        vp = values.vp;
        current = values.current;
        m_new.vp = values.vp;
        m_new.current = values.current;
        m_new.k = m_stored.k;
        computeResistivity(m_new);
    }
    if (has_m) m = values.m;
    const bool joined = !values.voltage_recording.empty();
    const auto whole = [joined](std::uint64_t value) -> ReportCell {
        if (!joined) return std::monostate{};
        return static_cast<std::int64_t>(value);
    };

    m_row.resize(reprocessReportColumns(m_beyond_meter).size());
    auto cell = m_row.begin();
    const auto put = [&cell](ReportCell value) { *cell++ = std::move(value); };
    const auto text = [&cell](const std::string& value) {
        if (auto* held = std::get_if<std::string>(&*cell)) *held = value; // keeps its storage
        else *cell = value;
        ++cell;
    };
    put(index);
    put(std::int64_t{ok ? 1 : 0});
    text(ok ? std::string() : values.failure);
    text(values.voltage_recording);
    text(values.current_recording);
    put(whole(values.voltage_start));
    put(whole(values.voltage_channel));
    put(whole(values.current_start));
    put(whole(values.current_channel));
    put(static_cast<std::int64_t>(values.halves_used));
    put(static_cast<std::int64_t>(values.halves_dropped));
    put(real(m_stored.vp));
    put(real(vp));
    put(real(relativeDifference(m_stored.vp, vp)));
    put(real(ok ? std::optional<double>(values.vp_deviation) : std::nullopt));
    put(real(m_stored.current));
    put(real(current));
    put(real(relativeDifference(m_stored.current, current)));
    put(real(ok ? std::optional<double>(values.current_deviation) : std::nullopt));
    put(real(m_stored.m));
    put(real(m));
    put(real(relativeDifference(m_stored.m, m)));
    put(real(has_m ? std::optional<double>(values.m_deviation) : std::nullopt));
    put(real(m_stored.resistance));
    put(real(ok ? m_new.resistance : std::nullopt));
    put(real(m_stored.rhoa));
    put(real(ok ? m_new.rhoa : std::nullopt));
    if (!m_beyond_meter) return m_row;
    put(static_cast<std::int64_t>(values.spikes));
    put(static_cast<std::int64_t>(values.mains_removed));
    put(static_cast<std::int64_t>(values.gates.size()));
    const ColeColeFit* const fit = ok && values.cole_cole && values.cole_cole->ok ? &*values.cole_cole : nullptr;
    const auto model = [&](double ColeColeFit::*member) { return real(fit ? std::optional<double>(fit->*member) : std::nullopt); };
    const auto parameter = [&](double ColeColeParameters::*member) {
        return real(fit ? std::optional<double>(fit->parameters.*member) : std::nullopt);
    };
    put(parameter(&ColeColeParameters::m));
    put(model(&ColeColeFit::m_deviation));
    put(parameter(&ColeColeParameters::tau));
    put(model(&ColeColeFit::tau_deviation));
    put(parameter(&ColeColeParameters::c));
    put(model(&ColeColeFit::c_deviation));
    put(model(&ColeColeFit::misfit));
    text(ok && values.cole_cole && !values.cole_cole->ok ? values.cole_cole->failure : std::string());
    return m_row;
}

} // namespace ertkit
