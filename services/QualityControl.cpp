#include <services/QualityControl.h>

#include <services/ReciprocalPairs.h>
#include <services/WindowTimes.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ertkit {

namespace {

constexpr QcReasons s_all_but_reciprocal = ~qcBit(QcReason::Reciprocal);

std::optional<double> absResistance(const ResultValues& v)
{
    if (!v.resistance || !std::isfinite(*v.resistance)) return std::nullopt;
    return std::abs(*v.resistance);
}

bool hasChargeability(const ResultValues& v)
{
    return std::isfinite(v.m) && (v.m != 0.0 || windowCount(v) > 0);
}

// The file's own flags: one that every reading raises is one the file does not record.
QcFileFlags fileFlags(const std::vector<QcReading>& readings)
{
    QcFileFlags file{false, false};
    for (const QcReading& r : readings) {
        file.pps = file.pps || !r.flags.lost_pps;
        file.noisy = file.noisy || !r.flags.noisy;
    }
    return file;
}

void addPairReason(QcResult& out, const QcSettings& settings)
{
    for (std::size_t i = 0; i < out.readings.size(); ++i) {
        QcReading& reading = out.readings[i];
        if (!reading.reciprocal) continue;
        const auto mine = absResistance(out.values[i]), theirs = absResistance(out.values[*reading.reciprocal]);
        if (!mine || !theirs) continue;
        const double mean = 0.5 * (*mine + *theirs);
        reading.reciprocal_error = mean > 0.0 ? std::abs(*mine - *theirs) / mean : 0.0;
        if (settings.enabled(QcReason::Reciprocal) && *reading.reciprocal_error * 100.0 > settings.reciprocal_percent)
            reading.reasons |= qcBit(QcReason::Reciprocal);
    }
}

void fitModel(QcResult& out, const std::vector<std::pair<std::size_t, std::size_t>>& pairs, const QcSettings& settings)
{
    std::vector<double> levels, differences, m_levels, m_differences;
    for (const auto& [i, j] : pairs) {
        if ((out.readings[i].reasons | out.readings[j].reasons) & s_all_but_reciprocal) continue;
        const auto ri = absResistance(out.values[i]), rj = absResistance(out.values[j]);
        if (!ri || !rj) continue;
        levels.push_back(0.5 * (*ri + *rj));
        differences.push_back(*ri - *rj);
        const ResultValues &vi = out.values[i], &vj = out.values[j];
        if (hasChargeability(vi) && hasChargeability(vj)) {
            m_levels.push_back(0.5 * (std::abs(vi.m) + std::abs(vj.m)));
            m_differences.push_back(std::abs(vi.m) - std::abs(vj.m));
        }
    }
    out.model_pairs = levels.size();
    out.model.resistance = fitErrorModel(levels, differences, settings.min_pairs);
    out.model.chargeability = fitErrorModel(m_levels, m_differences, settings.min_pairs);
    out.model.source = out.model.resistance.fitted ? ErrorSource::Reciprocals : ErrorSource::Stack;
    if (pairs.empty())
        out.notes.push_back(fmt::format("no reciprocal pair in the file: errors from the stacking deviation, at least {} %", settings.error_floor_percent));
    else if (!out.model.resistance.fitted)
        out.notes.push_back(fmt::format("{} reciprocal pairs fit to model, fewer than {}: errors from the stacking deviation, at least {} %",
                                        out.model_pairs, settings.min_pairs, settings.error_floor_percent));
}

} // namespace

void applyErrorModel(const QcModel& model, const ResultValues& v, QcReading& reading)
{
    const double floor = model.floor_percent / 100.0;
    reading.err.reset();
    if (const auto r = absResistance(v); r && *r > 0.0) {
        double relative = 0.0;
        if (model.source == ErrorSource::Reciprocals) relative = model.resistance.at(*r) / *r;
        else if (const auto stacking = relativeError(v)) relative = *stacking;
        reading.err = std::max(relative, floor);
    }
    reading.ip_err.reset();
    if (hasChargeability(v)) {
        double error = std::isfinite(v.m_error) ? std::abs(v.m_error) : 0.0;
        if (model.source == ErrorSource::Reciprocals && model.chargeability.fitted) error = model.chargeability.at(v.m);
        reading.ip_err = std::max(error, model.ip_floor);
    }
}

QcResult runQualityControl(const std::vector<Result_Reader*>& results, const QcSettings& settings, const std::vector<Reprocessed>* recomputed)
{
    QcResult out;
    const std::size_t n = results.size();
    out.values.resize(n);
    out.readings.resize(n);
    out.model.floor_percent = settings.error_floor_percent;
    out.model.ip_floor = s_qc_ip_floor;
    std::vector<Quadrupole> quadrupoles(n);
    for (std::size_t i = 0; i < n; ++i) {
        readResultValues(*results[i], out.values[i]);
        out.readings[i].flags = qcFlags(*results[i]);
        if (recomputed && i < recomputed->size() && (*recomputed)[i].ok) {
            const Reprocessed& fresh = (*recomputed)[i];
            // As the record would report it once the deviation is stored (sqrt(2) times it).
            if (!(out.values[i].vp_error > 0.0)) out.values[i].vp_error = fresh.vp_deviation * std::numbers::sqrt2;
            if (fresh.halves_dropped > 0) out.readings[i].flags.overload = true;
        }
        quadrupoles[i] = out.values[i].electrodes;
    }
    out.file_flags = fileFlags(out.readings);
    for (std::size_t i = 0; i < n; ++i) {
        QcReading& reading = out.readings[i];
        const DecayCheck decay = checkDecay(out.values[i], settings);
        reading.reasons = readingReasons(out.values[i], reading.flags, decay, settings, out.file_flags);
        reading.decay_misfit = decay.misfit_percent;
    }
    const ReciprocalPairs pairs = pairReciprocals(quadrupoles, settings.tolerance_m);
    for (std::size_t i = 0; i < n; ++i) out.readings[i].reciprocal = pairs.partner[i];
    out.pairs = pairs.pairs.size();
    addPairReason(out, settings);
    fitModel(out, pairs.pairs, settings);
    for (std::size_t i = 0; i < n; ++i) {
        QcReading& reading = out.readings[i];
        applyErrorModel(out.model, out.values[i], reading);
        if (reading.reasons != 0) ++out.rejected;
        for (std::size_t k = 0; k < s_qc_reason_count; ++k)
            if (reading.reasons & (QcReasons{1} << k)) ++out.counts[k];
    }
    if (n == 0) out.notes.push_back("the file holds no reading");
    else if (out.rejected == n) out.notes.push_back("every reading is rejected");
    return out;
}

std::optional<double> phaseOfChargeability(const ResultValues& v, double pulse_ms)
{
    if (v.window_times.size() < 2 || !(pulse_ms > 0.0)) return std::nullopt;
    const double t1 = v.window_times.front(), t2 = v.window_times.back();
    if (!(t1 > 0.0) || !(t2 > t1)) return std::nullopt;
    // The integral of ln((T + t) / t) is (T + t) ln(T + t) - t ln t.
    const auto integral = [pulse_ms](double t) { return (pulse_ms + t) * std::log(pulse_ms + t) - t * std::log(t); };
    const double mean_log = (integral(t2) - integral(t1)) / (t2 - t1);
    if (!(mean_log > 0.0)) return std::nullopt;
    return v.m * std::numbers::pi / (2.0 * mean_log);
}

double pulseMs(const Result_Reader& result)
{
    const double cycle = static_cast<double>(result.getPeriod(true)) * samplePeriodMs(result);
    return cycle / (fullDutyCycle(result) ? 2.0 : 4.0);
}

const std::vector<ReportColumn>& qcReportColumns()
{
    using T = ReportType;
    static const std::vector<ReportColumn> columns{
        {"index", "", T::Integer},         {"reasons", "", T::Text},          {"err", "", T::Real},
        {"reciprocal_index", "", T::Integer}, {"reciprocal_error", "", T::Real}, {"r_ohm", "ohm", T::Real},
        {"k_m", "m", T::Real},             {"rhoa_ohm_m", "ohm.m", T::Real},  {"m_mV_V", "mV/V", T::Real},
        {"i_mA", "mA", T::Real},           {"vp_mV", "mV", T::Real},          {"stack_percent", "%", T::Real},
        {"decay_misfit_percent", "%", T::Real}, {"contact", "", T::Real},     {"flags", "", T::Text},
        {"reciprocal_r_ohm", "ohm", T::Real}, {"ip_err_mV_V", "mV/V", T::Real},
    };
    return columns;
}

void qcReportRow(const QcResult& result, std::size_t index, std::vector<ReportCell>& row)
{
    const ResultValues& v = result.values[index];
    const QcReading& q = result.readings[index];
    const auto real = [](const std::optional<double>& x) -> ReportCell {
        if (x && std::isfinite(*x)) return *x;
        return std::monostate{};
    };
    row.clear();
    row.emplace_back(static_cast<std::int64_t>(index));
    row.emplace_back(qcReasonList(q.reasons));
    row.push_back(real(q.err));
    if (q.reciprocal) row.emplace_back(static_cast<std::int64_t>(*q.reciprocal));
    else row.emplace_back(std::monostate{});
    row.push_back(real(q.reciprocal_error));
    row.push_back(real(v.resistance));
    row.push_back(real(v.k));
    row.push_back(real(v.rhoa));
    row.push_back(real(v.m));
    row.push_back(real(v.current));
    row.push_back(real(v.vp));
    row.push_back(real(stackingDeviation(v)));
    row.push_back(real(q.decay_misfit));
    row.push_back(real(q.flags.contact));
    std::string flags;
    const auto flag = [&flags](bool raised, const char* name) {
        if (!raised) return;
        if (!flags.empty()) flags += ';';
        flags += name;
    };
    flag(q.flags.open_line, "open_line");
    flag(q.flags.over_current, "over_current");
    flag(q.flags.overload, "overload");
    flag(q.flags.lost_pps, "pps");
    flag(q.flags.noisy, "noisy");
    row.emplace_back(std::move(flags));
    row.push_back(real(q.reciprocal ? result.values[*q.reciprocal].resistance : std::nullopt));
    row.push_back(real(q.ip_err));
}

namespace {

nlohmann::json modelJson(const LinearErrorModel& model, const char* a_name)
{
    nlohmann::json j;
    j["fitted"] = model.fitted;
    j[a_name] = model.fitted ? nlohmann::json(model.a) : nlohmann::json();
    j["b"] = model.fitted ? nlohmann::json(model.b) : nlohmann::json();
    j["pairs"] = model.pairs;
    j["bins"] = model.bins;
    j["r2"] = model.r2 ? nlohmann::json(*model.r2) : nlohmann::json();
    j["rms_relative_misfit"] = model.fitted ? nlohmann::json(model.rms_relative_misfit) : nlohmann::json();
    return j;
}

} // namespace

std::string qcModelJson(const QcResult& result, const QcSettings& settings)
{
    nlohmann::json j;
    j["resistance"] = modelJson(result.model.resistance, "a_ohm");
    j["chargeability"] = modelJson(result.model.chargeability, "a_mV_V");
    j["source"] = result.model.source == ErrorSource::Reciprocals ? "reciprocals" : "stack";
    j["floor_percent"] = result.model.floor_percent;
    j["ip_floor_mV_V"] = result.model.ip_floor;
    j["reciprocal_pairs"] = result.pairs;
    nlohmann::json rules = nlohmann::json::object();
    for (const QcSettings::Entry& e : settings.entries()) {
        if (!e.on) rules[e.name] = false;
        else if (e.value) rules[e.name] = *e.value;
        else rules[e.name] = true;
    }
    j["rules"] = rules;
    nlohmann::json counts = nlohmann::json::object();
    for (std::size_t k = 0; k < s_qc_reason_count; ++k) counts[std::string(qcReasonName(static_cast<QcReason>(k)))] = result.counts[k];
    j["counts"] = counts;
    j["readings"] = result.readings.size();
    j["rejected"] = result.rejected;
    j["notes"] = result.notes;
    return j.dump(2) + "\n";
}

std::vector<std::string> qcSummaryLines(const QcResult& result)
{
    std::vector<std::string> lines;
    for (std::size_t k = 0; k < s_qc_reason_count; ++k)
        lines.push_back(fmt::format("{:<14} {}", qcReasonName(static_cast<QcReason>(k)), result.counts[k]));
    lines.push_back(fmt::format("rejected {} of {} readings; {} reciprocal pairs, {} fitted", result.rejected, result.readings.size(), result.pairs,
                                result.model_pairs));
    const LinearErrorModel& r = result.model.resistance;
    if (result.model.source == ErrorSource::Reciprocals) {
        lines.push_back(fmt::format("error of R: {:.4g} ohm + {:.4g} |R| ({} pairs, {} bins{}), at least {} %", r.a, r.b, r.pairs, r.bins,
                                    r.r2 ? fmt::format(", r2 {:.3f}", *r.r2) : std::string(), result.model.floor_percent));
        const LinearErrorModel& m = result.model.chargeability;
        if (m.fitted)
            lines.push_back(fmt::format("error of M: {:.4g} mV/V + {:.4g} |M| ({} pairs), at least {} mV/V", m.a, m.b, m.pairs, result.model.ip_floor));
        else
            lines.push_back(fmt::format("error of M: each reading's deviation, at least {} mV/V", result.model.ip_floor));
    } else {
        lines.push_back(fmt::format("error of R: each reading's stacking deviation, at least {} %", result.model.floor_percent));
        lines.push_back(fmt::format("error of M: each reading's deviation, at least {} mV/V", result.model.ip_floor));
    }
    for (const std::string& note : result.notes) lines.push_back("note: " + note);
    return lines;
}

} // namespace ertkit
