#include <services/ResultColumns.h>

namespace ertkit {

namespace {

using Real = std::function<std::optional<double>(const ResultRow&)>;
using Whole = std::function<std::int64_t(const ResultRow&)>;

ResultColumn real(std::string name, std::string unit, ColumnGroup group, Real get)
{
    return {std::move(name), std::move(unit), ColumnType::Real, group, std::move(get), {}, {}};
}

ResultColumn whole(std::string name, ColumnType type, ColumnGroup group, Whole get)
{
    return {std::move(name), "", type, group, {}, std::move(get), {}};
}

std::optional<double> entry(const std::vector<double>& values, std::size_t i)
{
    return i < values.size() ? std::optional<double>(values[i]) : std::nullopt;
}

// Appended piece by piece: g++ 12 warns falsely (-Wrestrict) on a literal + std::string in an
// optimised build.
std::string numbered(const char* prefix, std::size_t n, const char* suffix)
{
    std::string name(prefix);
    name += std::to_string(n);
    name += suffix;
    return name;
}

// A deviation of 0 is how the formats store none (a download's Vp deviation when the meter sent
// that of M instead, a legacy file's): empty, as a start time of 0 is.
std::optional<double> recordedDeviation(double deviation)
{
    return deviation != 0.0 ? std::optional<double>(deviation) : std::nullopt;
}

} // namespace

std::vector<ResultColumn> resultColumns(std::size_t windows)
{
    using G = ColumnGroup;
    std::vector<ResultColumn> c;
    c.push_back(whole("index", ColumnType::Integer, G::Index, [](const ResultRow& r) { return r.index; }));
    for (std::size_t e = 0; e < 4; ++e) {
        const std::string name(1, "abmn"[e]);
        c.push_back(real(name + "x", "m", G::Electrodes, [e](const ResultRow& r) { return r.values.electrodes[e].x; }));
        c.push_back(real(name + "y", "m", G::Electrodes, [e](const ResultRow& r) { return r.values.electrodes[e].y; }));
        c.push_back(real(name + "z", "m", G::Electrodes, [e](const ResultRow& r) { return r.values.electrodes[e].z; }));
    }
    c.push_back(real("vp_mV", "mV", G::Values, [](const ResultRow& r) { return r.values.vp; }));
    c.push_back(real("i_mA", "mA", G::Values, [](const ResultRow& r) { return r.values.current; }));
    c.push_back(real("r_ohm", "ohm", G::Values, [](const ResultRow& r) { return r.values.resistance; }));
    c.push_back(real("k_m", "m", G::Values, [](const ResultRow& r) { return r.values.k; }));
    c.push_back(real("rhoa_ohm_m", "ohm.m", G::Values, [](const ResultRow& r) { return r.values.rhoa; }));
    c.push_back(real("m_mV_V", "mV/V", G::Values, [](const ResultRow& r) { return r.values.m; }));
    c.push_back(real("sp_mV", "mV", G::Values, [](const ResultRow& r) { return r.values.sp; }));
    c.push_back(real("vp_error_mV", "mV", G::Values, [](const ResultRow& r) { return recordedDeviation(r.values.vp_error); }));
    c.push_back(real("m_error", "mV/V", G::Values, [](const ResultRow& r) { return r.values.m_error; }));
    c.push_back(whole("stacks", ColumnType::Integer, G::Record, [](const ResultRow& r) { return static_cast<std::int64_t>(r.values.stacks); }));
    ResultColumn start{"start_time", "", ColumnType::Time, G::Record, {}, {}, [](const ResultRow& r) { return tableTime(r.values.start_time); }};
    c.push_back(std::move(start));
    c.push_back(whole("ignore", ColumnType::Flag, G::Record, [](const ResultRow& r) { return r.values.ignore ? 1 : 0; }));
    c.push_back(whole("valid", ColumnType::Flag, G::Record, [](const ResultRow& r) { return usable(r.values) ? 1 : 0; }));
    c.push_back(whole("serial_v", ColumnType::Integer, G::Record, [](const ResultRow& r) { return r.values.serial_v; }));
    c.push_back(whole("user_serial_v", ColumnType::Integer, G::Record, [](const ResultRow& r) { return r.values.user_serial_v; }));
    c.push_back(whole("serial_i", ColumnType::Integer, G::Record, [](const ResultRow& r) { return r.values.serial_i; }));
    c.push_back(whole("user_serial_i", ColumnType::Integer, G::Record, [](const ResultRow& r) { return r.values.user_serial_i; }));
    c.push_back(real("t0_ms", "ms", G::Windows, [](const ResultRow& r) { return entry(r.values.window_times, 0); }));
    for (std::size_t w = 0; w < windows; ++w)
        c.push_back(real(numbered("m", w + 1, "_mV_V"), "mV/V", G::Windows,
                         [w](const ResultRow& r) { return entry(r.values.window_m, w); }));
    for (std::size_t w = 1; w <= windows; ++w)
        c.push_back(real(numbered("t", w, "_ms"), "ms", G::Windows, [w](const ResultRow& r) { return entry(r.values.window_times, w); }));
    return c;
}

} // namespace ertkit
