#include <services/QcRules.h>

#include <services/MessageText.h>

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace ertkit {

namespace {

constexpr std::array<std::string_view, s_qc_reason_count> s_reason_names{
    "ignored", "current", "voltage", "stack", "geometry", "negative", "reciprocal", "decay",
    "chargeability", "open_line", "over_current", "overload", "pps", "noisy", "contact"};

// A setting with a value: its name, the rule it belongs to (none for the pairing and the error
// model), where it is kept and the smallest value it takes.
struct Limit {
    std::string_view name;
    std::optional<QcReason> rule;
    double QcSettings::*field;
    double minimum;
    bool minimum_allowed; // whether the minimum itself is allowed
};

constexpr std::array<Limit, 12> s_limits{{
    {"current", QcReason::Current, &QcSettings::current_min_mA, 0.0, true},
    {"voltage", QcReason::Voltage, &QcSettings::voltage_floor_mV, 0.0, true},
    {"voltage_ratio", std::nullopt, &QcSettings::voltage_ratio, 0.0, true},
    {"stack", QcReason::Stack, &QcSettings::stack_percent, 0.0, false},
    {"geometry", QcReason::Geometry, &QcSettings::geometry_max_m, 0.0, false},
    {"reciprocal", QcReason::Reciprocal, &QcSettings::reciprocal_percent, 0.0, false},
    {"decay", QcReason::Decay, &QcSettings::decay_percent, 0.0, false},
    {"chargeability", QcReason::Chargeability, &QcSettings::chargeability_max, -1e300, true},
    {"chargeability_min", std::nullopt, &QcSettings::chargeability_min, -1e300, true},
    {"contact", QcReason::Contact, &QcSettings::contact_max, 0.0, false},
    {"tolerance", std::nullopt, &QcSettings::tolerance_m, 0.0, true},
    {"error_floor", std::nullopt, &QcSettings::error_floor_percent, 0.0, false},
}};

std::optional<QcReason> reasonNamed(std::string_view name)
{
    for (std::size_t i = 0; i < s_reason_names.size(); ++i)
        if (s_reason_names[i] == name) return static_cast<QcReason>(i);
    return std::nullopt;
}

std::string known()
{
    std::string names;
    for (const std::string_view name : s_reason_names) names += fmt::format("{}{}", names.empty() ? "" : ", ", name);
    for (const Limit& limit : s_limits)
        if (!limit.rule) names += fmt::format(", {}", limit.name);
    return names + ", min_pairs";
}

bool decayBroken(const ResultValues& v, const QcSettings& settings, double& misfit_percent, bool& fitted);

} // namespace

std::string_view qcReasonName(QcReason reason)
{
    return s_reason_names[static_cast<std::size_t>(reason)];
}

std::string qcReasonList(QcReasons reasons)
{
    std::string list;
    for (std::size_t i = 0; i < s_qc_reason_count; ++i) {
        if (!(reasons & (QcReasons{1} << i))) continue;
        if (!list.empty()) list += ';';
        list += s_reason_names[i];
    }
    return list;
}

void QcSettings::set(std::string_view name, std::string_view value)
{
    double number = 0.0;
    // Plain decimal numbers only: from_chars takes no sign '+', no hexadecimal and no spaces.
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number, std::chars_format::general);
    if (value.empty() || error != std::errc() || end != value.data() + value.size())
        throw std::invalid_argument(fmt::format("rule {}: \"{}\" is not a number", excerpt(name), excerpt(value)));
    set(name, number);
}

void QcSettings::set(std::string_view name, double value)
{
    if (!std::isfinite(value)) throw std::invalid_argument(fmt::format("rule {}: the value must be a finite number", excerpt(name)));
    if (name == "min_pairs") {
        if (value < 2.0 || value != std::floor(value) || value > 1e9)
            throw std::invalid_argument("rule min_pairs: the value must be a whole number of at least 2");
        min_pairs = static_cast<std::uint32_t>(value);
        return;
    }
    for (const Limit& limit : s_limits) {
        if (limit.name != name) continue;
        if (value < limit.minimum || (!limit.minimum_allowed && value == limit.minimum))
            throw std::invalid_argument(fmt::format("rule {}: the value must be {} {}", limit.name, limit.minimum_allowed ? "at least" : "above", limit.minimum));
        this->*limit.field = value;
        if (limit.rule) on[static_cast<std::size_t>(*limit.rule)] = true;
        if (chargeability_min > chargeability_max)
            throw std::invalid_argument(fmt::format("rule {}: chargeability_min {} is above chargeability {}", limit.name, chargeability_min, chargeability_max));
        return;
    }
    if (reasonNamed(name)) throw std::invalid_argument(fmt::format("rule {} takes no value; --no-rule {} switches it off", name, name));
    throw std::invalid_argument(fmt::format("unknown rule {} (known: {})", excerpt(name), known()));
}

void QcSettings::disable(std::string_view name)
{
    const auto reason = reasonNamed(name);
    if (!reason) throw std::invalid_argument(fmt::format("unknown rule {} (rules: {})", excerpt(name), known()));
    on[static_cast<std::size_t>(*reason)] = false;
}

std::vector<QcSettings::Entry> QcSettings::entries() const
{
    std::vector<Entry> out;
    for (std::size_t i = 0; i < s_qc_reason_count; ++i) {
        const auto reason = static_cast<QcReason>(i);
        Entry entry{std::string(s_reason_names[i]), std::nullopt, on[i]};
        for (const Limit& limit : s_limits)
            if (limit.rule == reason) entry.value = this->*limit.field;
        out.push_back(std::move(entry));
    }
    for (const Limit& limit : s_limits)
        if (!limit.rule) out.push_back({std::string(limit.name), this->*limit.field, true});
    out.push_back({"min_pairs", static_cast<double>(min_pairs), true});
    return out;
}

std::optional<double> stackingDeviation(const ResultValues& values)
{
    const auto relative = relativeError(values);
    if (!relative) return std::nullopt;
    return *relative * 100.0 / std::numbers::sqrt2;
}

QcFlags qcFlags(const Result_Reader& result)
{
    QcFlags flags;
    flags.open_line = result.hasOpenLine();
    flags.over_current = result.hasOverCurrent();
    flags.overload = result.getOverloadedSamples(true) > 0;
    flags.lost_pps = result.getLostPPS();
    flags.noisy = result.isNoisy();
    const double contact = result.getRsCheck();
    if (std::isfinite(contact) && contact > 0.0) flags.contact = contact;
    return flags;
}

QcReasons readingReasons(const ResultValues& v, const QcFlags& flags, const DecayCheck& decay, const QcSettings& s, QcFileFlags file)
{
    QcReasons reasons = 0;
    const auto rule = [&](QcReason reason, bool met) {
        if (met && s.enabled(reason)) reasons |= qcBit(reason);
    };
    rule(QcReason::Ignored, v.ignore);
    rule(QcReason::Current, !(v.current > 0.0) || v.current < s.current_min_mA);
    const double vp = std::abs(v.vp);
    const auto deviation = stackingDeviation(v);
    rule(QcReason::Voltage, !(vp >= s.voltage_floor_mV) || (deviation && vp < s.voltage_ratio * *deviation * vp / 100.0));
    rule(QcReason::Stack, deviation && *deviation > s.stack_percent);
    rule(QcReason::Geometry, !v.k || !(std::abs(*v.k) <= s.geometry_max_m));
    rule(QcReason::Negative, v.rhoa && !(*v.rhoa > 0.0));
    rule(QcReason::Decay, decay.broken);
    // A reading without chargeability (no window, M 0) has nothing to judge.
    const bool has_m = v.m != 0.0 || windowCount(v) > 0;
    rule(QcReason::Chargeability, has_m && !(v.m >= s.chargeability_min && v.m <= s.chargeability_max));
    rule(QcReason::OpenLine, flags.open_line);
    rule(QcReason::OverCurrent, flags.over_current);
    rule(QcReason::Overload, flags.overload);
    rule(QcReason::Pps, file.pps && flags.lost_pps);
    rule(QcReason::Noisy, file.noisy && flags.noisy);
    rule(QcReason::Contact, flags.contact && *flags.contact > s.contact_max);
    return reasons;
}

DecayCheck checkDecay(const ResultValues& v, const QcSettings& settings)
{
    DecayCheck check;
    double misfit = 0.0;
    bool fitted = false;
    check.broken = decayBroken(v, settings, misfit, fitted);
    if (fitted) check.misfit_percent = misfit;
    return check;
}

namespace {

// A decay is judged on its windows: none may be negative or rise over the one before beyond
// the noise (three deviations of M, and 5 % of the largest window: the windows' own noise is
// not stored), and a smooth curve, a quadratic in the logarithm of time, must pass within
// `decay_percent` of the first window's value (RMS). A decay of positive values sampled
// logarithmically is near such a quadratic; a jump, a dip or a rising tail is not.
bool decayBroken(const ResultValues& v, const QcSettings& settings, double& misfit_percent, bool& fitted)
{
    const std::size_t n = std::min(windowCount(v), v.window_m.size());
    if (n < 3 || v.window_times.size() < n + 1) return false;
    double largest = 0.0;
    for (std::size_t i = 0; i < n; ++i) largest = std::max(largest, std::abs(v.window_m[i]));
    if (!(largest > 0.0) || !std::isfinite(largest)) return false;
    const double noise = 3.0 * (std::isfinite(v.m_error) ? std::abs(v.m_error) : 0.0) + 0.05 * largest;
    bool broken = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (v.window_m[i] < -noise) broken = true;
        if (i > 0 && v.window_m[i] > v.window_m[i - 1] + noise) broken = true;
    }
    // Least squares of m = c0 + c1 u + c2 u^2, u the log of each window's middle time, centred
    // so that the normal equations stay well conditioned.
    std::vector<double> u(n);
    double centre = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double middle = 0.5 * (v.window_times[i] + v.window_times[i + 1]);
        if (!(middle > 0.0)) return broken;
        u[i] = std::log(middle);
        centre += u[i] / static_cast<double>(n);
    }
    double s[5] = {}, t[3] = {};
    for (std::size_t i = 0; i < n; ++i) {
        u[i] -= centre;
        double p = 1.0;
        for (int k = 0; k < 5; ++k, p *= u[i]) {
            s[k] += p;
            if (k < 3) t[k] += p * v.window_m[i];
        }
    }
    const double a[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
    const auto det3 = [](const double m[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const double d = det3(a);
    if (!(std::abs(d) > 0.0) || !std::isfinite(d)) return broken;
    double c[3];
    for (int k = 0; k < 3; ++k) {
        double m[3][3];
        for (int r = 0; r < 3; ++r)
            for (int q = 0; q < 3; ++q) m[r][q] = q == k ? t[r] : a[r][q];
        c[k] = det3(m) / d;
    }
    double squares = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double r = v.window_m[i] - (c[0] + c[1] * u[i] + c[2] * u[i] * u[i]);
        squares += r * r;
    }
    const double scale = std::max(std::abs(v.window_m[0]), largest * 0.05);
    misfit_percent = 100.0 * std::sqrt(squares / static_cast<double>(n)) / scale;
    fitted = std::isfinite(misfit_percent);
    return broken || (fitted && misfit_percent > settings.decay_percent);
}

} // namespace

} // namespace ertkit
