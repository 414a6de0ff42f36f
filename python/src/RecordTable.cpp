#include "RecordTable.h"

#include "Times.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <numbers>

namespace ertkit_py {

namespace {

constexpr double s_remote_coordinate = 9999998.0;
constexpr double s_per_mille = 1000.0;
constexpr double s_nan = std::numeric_limits<double>::quiet_NaN();

// Everything the columns read, taken from one record once, in the units of the instruments:
// Vp and SP in mV, I in mA, so R in ohm, K in m and rho_a in ohm.m; chargeabilities in mV/V
// (the host interface gives them as fractions).
struct Row {
    std::int64_t index = 0;
    double xyz[4][3]{};
    double vp = 0, current = 0, resistance = 0, k = 0, rhoa = 0, m = 0, sp = 0, vp_error = 0, m_error = 0;
    std::vector<double> window_m;
    std::vector<std::uint64_t> window_times;
    std::int64_t stacks = 0, start_time_ns = 0;
    bool ignore = false;
    std::int64_t serial_v = 0, user_serial_v = 0, serial_i = 0, user_serial_i = 0;
};

void fillRow(const Result_Reader& r, std::int64_t index, Row& row)
{
    row.index = index;
    double x[4], y[4], z[4];
    for (int e = 0; e < 4; ++e) {
        const auto name = static_cast<ElectrodeName>(e);
        row.xyz[e][0] = x[e] = r.getElectrodeX(name);
        row.xyz[e][1] = y[e] = r.getElectrodeY(name);
        row.xyz[e][2] = z[e] = r.getElectrodeZ(name);
    }
    row.vp = r.getPolarizationVoltage(true);
    row.current = r.getInjectedCurrent(true);
    row.resistance = row.current != 0.0 ? row.vp / row.current : s_nan;
    row.k = geometricFactor(x, y, z);
    row.rhoa = row.k * row.resistance;
    // A record answers the chargeability questions of its own injection type only.
    const bool full_duty_cycle = r.getInjectionType() == InjectionType::FullDutyCycle;
    row.m = r.getIp(true, full_duty_cycle) * s_per_mille;
    r.fillMIp(true, full_duty_cycle, row.window_m);
    for (double& m : row.window_m) m *= s_per_mille;
    r.fillTM(row.window_times);
    row.sp = r.getSpontaneousPotential();
    row.vp_error = r.getPolarizationVoltageError(true);
    row.m_error = r.getIpError(true, full_duty_cycle);
    row.stacks = static_cast<std::int64_t>(r.getNStack(true) + r.getNStack(false));
    row.start_time_ns = unixNanoseconds(r.getStartTime(true));
    row.ignore = r.getIgnore();
    row.serial_v = r.getSerialNumber(true);
    row.user_serial_v = r.getUserSerialNumber(true);
    row.serial_i = r.getSerialNumber(false);
    row.user_serial_i = r.getUserSerialNumber(false);
}

std::size_t windowCount(const Row& row)
{
    return row.window_times.empty() ? 0 : row.window_times.size() - 1;
}

double windowTime(const Row& row, std::size_t i)
{
    return i < row.window_times.size() ? static_cast<double>(row.window_times[i]) : s_nan;
}

struct ColumnDef {
    Column column;
    std::function<double(const Row&)> real;         // Real columns
    std::function<std::int64_t(const Row&)> whole;  // Integer, Time and Flag columns
};

ColumnDef real(std::string name, std::function<double(const Row&)> get)
{
    return {{std::move(name), Kind::Real}, std::move(get), {}};
}

ColumnDef whole(std::string name, Kind kind, std::function<std::int64_t(const Row&)> get)
{
    return {{std::move(name), kind}, {}, std::move(get)};
}

// The columns, in the order of the command-line CSV export, with `windows` window columns.
std::vector<ColumnDef> columnDefs(std::size_t windows)
{
    std::vector<ColumnDef> c;
    c.push_back(whole("index", Kind::Integer, [](const Row& r) { return r.index; }));
    for (int e = 0; e < 4; ++e)
        for (int axis = 0; axis < 3; ++axis)
            c.push_back(real(std::string(1, "abmn"[e]) + "xyz"[axis], [e, axis](const Row& r) { return r.xyz[e][axis]; }));
    c.push_back(real("vp_mV", [](const Row& r) { return r.vp; }));
    c.push_back(real("i_mA", [](const Row& r) { return r.current; }));
    c.push_back(real("r_ohm", [](const Row& r) { return r.resistance; }));
    c.push_back(real("k_m", [](const Row& r) { return r.k; }));
    c.push_back(real("rhoa_ohm_m", [](const Row& r) { return r.rhoa; }));
    c.push_back(real("m_mV_V", [](const Row& r) { return r.m; }));
    c.push_back(real("sp_mV", [](const Row& r) { return r.sp; }));
    c.push_back(real("vp_error_mV", [](const Row& r) { return r.vp_error; }));
    c.push_back(real("m_error", [](const Row& r) { return r.m_error; }));
    c.push_back(whole("stacks", Kind::Integer, [](const Row& r) { return r.stacks; }));
    c.push_back(whole("start_time", Kind::Time, [](const Row& r) { return r.start_time_ns; }));
    c.push_back(whole("ignore", Kind::Flag, [](const Row& r) { return r.ignore ? 1 : 0; }));
    c.push_back(whole("serial_v", Kind::Integer, [](const Row& r) { return r.serial_v; }));
    c.push_back(whole("user_serial_v", Kind::Integer, [](const Row& r) { return r.user_serial_v; }));
    c.push_back(whole("serial_i", Kind::Integer, [](const Row& r) { return r.serial_i; }));
    c.push_back(whole("user_serial_i", Kind::Integer, [](const Row& r) { return r.user_serial_i; }));
    c.push_back(real("t0_ms", [](const Row& r) { return windowTime(r, 0); }));
    for (std::size_t w = 0; w < windows; ++w)
        c.push_back(real("m" + std::to_string(w + 1) + "_mV_V",
                         [w](const Row& r) { return w < r.window_m.size() ? r.window_m[w] : s_nan; }));
    for (std::size_t w = 1; w <= windows; ++w)
        c.push_back(real("t" + std::to_string(w) + "_ms", [w](const Row& r) { return windowTime(r, w); }));
    return c;
}

std::size_t cellSize(Kind kind)
{
    return kind == Kind::Flag ? 1 : 8;
}

const char* cellFormat(Kind kind)
{
    switch (kind) {
    case Kind::Integer: return "i8";
    case Kind::Real: return "f8";
    case Kind::Time: return "M8[ns]";
    case Kind::Flag: return "?";
    }
    return "f8";
}

bool isRemote(double x, double y)
{
    return std::fabs(x) >= s_remote_coordinate || std::fabs(y) >= s_remote_coordinate;
}

py::dtype dtypeOf(const std::vector<ColumnDef>& defs)
{
    py::list names, formats, offsets;
    std::size_t offset = 0;
    for (const ColumnDef& def : defs) {
        names.append(def.column.name);
        formats.append(cellFormat(def.column.kind));
        offsets.append(offset);
        offset += cellSize(def.column.kind);
    }
    py::dict fields;
    fields["names"] = names;
    fields["formats"] = formats;
    fields["offsets"] = offsets;
    fields["itemsize"] = offset;
    return py::dtype::from_args(fields);
}

void writeCells(const std::vector<ColumnDef>& defs, const Row& row, unsigned char* cell)
{
    for (const ColumnDef& def : defs) {
        if (def.column.kind == Kind::Real) {
            const double value = def.real(row);
            std::memcpy(cell, &value, sizeof value);
        } else if (def.column.kind == Kind::Flag) {
            *cell = def.whole(row) != 0 ? 1 : 0;
        } else {
            const std::int64_t value = def.whole(row);
            std::memcpy(cell, &value, sizeof value);
        }
        cell += cellSize(def.column.kind);
    }
}

} // namespace

std::vector<Column> recordColumns(std::size_t windows)
{
    std::vector<Column> out;
    for (const ColumnDef& def : columnDefs(windows)) out.push_back(def.column);
    return out;
}

double geometricFactor(const double (&x)[4], const double (&y)[4], const double (&z)[4])
{
    constexpr int A = 0, B = 1, M = 2, N = 3;
    bool remote[4];
    for (int e = 0; e < 4; ++e) remote[e] = isRemote(x[e], y[e]);
    if ((remote[A] && remote[B]) || (remote[M] && remote[N])) return s_nan;
    bool coinciding = false;
    // 1/r between a current and a potential electrode; 0 with either at infinity.
    auto inverse = [&](int p, int q) {
        if (remote[p] || remote[q]) return 0.0;
        const double d = std::sqrt((x[p] - x[q]) * (x[p] - x[q]) + (y[p] - y[q]) * (y[p] - y[q]) + (z[p] - z[q]) * (z[p] - z[q]));
        if (!(d > 0.0)) coinciding = true;
        return coinciding ? 0.0 : 1.0 / d;
    };
    const double am = inverse(A, M), bm = inverse(B, M), an = inverse(A, N), bn = inverse(B, N);
    const double sum = am - bm - an + bn;
    // Terms that cancel to rounding noise (a quadrupole on the equipotential) leave no factor.
    const double scale = std::max({am, bm, an, bn});
    if (coinciding || !std::isfinite(sum) || std::fabs(sum) <= scale * 1e-12) return s_nan;
    return 2.0 * std::numbers::pi / sum;
}

py::array recordTable(const std::vector<const Result_Reader*>& records, std::int64_t first_index)
{
    // As many window columns as the record with the most windows has.
    std::size_t windows = 0;
    std::vector<std::uint64_t> bounds;
    for (const Result_Reader* record : records) {
        record->fillTM(bounds);
        windows = std::max(windows, bounds.empty() ? 0 : bounds.size() - 1);
    }
    const std::vector<ColumnDef> defs = columnDefs(windows);
    py::array table(dtypeOf(defs), std::vector<py::ssize_t>{static_cast<py::ssize_t>(records.size())});
    auto* bytes = static_cast<unsigned char*>(table.mutable_data());
    const auto itemsize = static_cast<std::size_t>(table.itemsize());
    Row row;
    for (std::size_t i = 0; i < records.size(); ++i) {
        fillRow(*records[i], first_index + static_cast<std::int64_t>(i), row);
        writeCells(defs, row, bytes + i * itemsize);
    }
    return table;
}

py::dict recordDict(const Result_Reader& record, std::int64_t index)
{
    Row row;
    fillRow(record, index, row);
    py::object datetime64 = py::module_::import("numpy").attr("datetime64");
    py::dict out;
    for (const ColumnDef& def : columnDefs(windowCount(row))) {
        const char* name = def.column.name.c_str();
        switch (def.column.kind) {
        case Kind::Real: out[name] = def.real(row); break;
        case Kind::Integer: out[name] = def.whole(row); break;
        case Kind::Flag: out[name] = def.whole(row) != 0; break;
        case Kind::Time: out[name] = datetime64(def.whole(row), "ns"); break;
        }
    }
    return out;
}

} // namespace ertkit_py
