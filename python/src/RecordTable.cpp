#include "RecordTable.h"

#include "Times.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <numbers>

namespace ertkit_py {

namespace {

constexpr double s_far_away = 9999998.0;
constexpr std::size_t s_n_windows = 20;
constexpr double s_nan = std::numeric_limits<double>::quiet_NaN();
constexpr const char* s_electrodes = "abmn";
constexpr const char* s_axes = "xyz";

// Everything the columns read, taken from one record once.
struct Row {
    std::int64_t index = 0;
    double x[4]{}, y[4]{}, z[4]{};
    double vp = 0, current = 0, resistance = 0, k = 0, rho_a = 0, m = 0, sp = 0, vp_dev = 0, m_dev = 0;
    std::vector<double> windows;
    std::int64_t stacks = 0, start_time_ns = 0;
    bool ignore = false;
    std::int64_t serial_v = 0, user_serial_v = 0, serial_i = 0, user_serial_i = 0;
};

void fillRow(const Result_Reader& r, std::int64_t index, Row& row)
{
    row.index = index;
    for (int e = 0; e < 4; ++e) {
        const auto name = static_cast<ElectrodeName>(e);
        row.x[e] = r.getElectrodeX(name);
        row.y[e] = r.getElectrodeY(name);
        row.z[e] = r.getElectrodeZ(name);
    }
    row.vp = r.getPolarizationVoltage(true);
    row.current = r.getInjectedCurrent(true);
    row.resistance = row.current != 0.0 ? row.vp / row.current : s_nan;
    row.k = geometricFactor(row.x, row.y, row.z);
    row.rho_a = row.k * row.resistance;
    // A record answers the chargeability questions of its own injection type only.
    const bool full_duty_cycle = r.getInjectionType() == InjectionType::FullDutyCycle;
    row.m = r.getIp(true, full_duty_cycle);
    r.fillMIp(true, full_duty_cycle, row.windows);
    row.sp = r.getSpontaneousPotential();
    row.vp_dev = r.getPolarizationVoltageError(true);
    row.m_dev = r.getIpError(true, full_duty_cycle);
    row.stacks = static_cast<std::int64_t>(r.getNStack(true) + r.getNStack(false));
    row.start_time_ns = unixNanoseconds(r.getStartTime(true));
    row.ignore = r.getIgnore();
    row.serial_v = r.getSerialNumber(true);
    row.user_serial_v = r.getUserSerialNumber(true);
    row.serial_i = r.getSerialNumber(false);
    row.user_serial_i = r.getUserSerialNumber(false);
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

std::vector<ColumnDef> makeColumns()
{
    std::vector<ColumnDef> c;
    c.push_back(whole("index", Kind::Integer, [](const Row& r) { return r.index; }));
    for (int e = 0; e < 4; ++e) {
        const std::string prefix = std::string(1, s_electrodes[e]) + "_";
        c.push_back(real(prefix + s_axes[0], [e](const Row& r) { return r.x[e]; }));
        c.push_back(real(prefix + s_axes[1], [e](const Row& r) { return r.y[e]; }));
        c.push_back(real(prefix + s_axes[2], [e](const Row& r) { return r.z[e]; }));
    }
    c.push_back(real("vp", [](const Row& r) { return r.vp; }));
    c.push_back(real("i", [](const Row& r) { return r.current; }));
    c.push_back(real("r", [](const Row& r) { return r.resistance; }));
    c.push_back(real("k", [](const Row& r) { return r.k; }));
    c.push_back(real("rho_a", [](const Row& r) { return r.rho_a; }));
    c.push_back(real("m", [](const Row& r) { return r.m; }));
    for (std::size_t w = 0; w < s_n_windows; ++w)
        c.push_back(real("m_" + std::to_string(w + 1), [w](const Row& r) { return w < r.windows.size() ? r.windows[w] : s_nan; }));
    c.push_back(real("sp", [](const Row& r) { return r.sp; }));
    c.push_back(real("vp_dev", [](const Row& r) { return r.vp_dev; }));
    c.push_back(real("m_dev", [](const Row& r) { return r.m_dev; }));
    c.push_back(whole("stacks", Kind::Integer, [](const Row& r) { return r.stacks; }));
    c.push_back(whole("start_time", Kind::Time, [](const Row& r) { return r.start_time_ns; }));
    c.push_back(whole("ignore", Kind::Flag, [](const Row& r) { return r.ignore ? 1 : 0; }));
    c.push_back(whole("serial_v", Kind::Integer, [](const Row& r) { return r.serial_v; }));
    c.push_back(whole("user_serial_v", Kind::Integer, [](const Row& r) { return r.user_serial_v; }));
    c.push_back(whole("serial_i", Kind::Integer, [](const Row& r) { return r.serial_i; }));
    c.push_back(whole("user_serial_i", Kind::Integer, [](const Row& r) { return r.user_serial_i; }));
    return c;
}

const std::vector<ColumnDef>& columnDefs()
{
    static const std::vector<ColumnDef> defs = makeColumns();
    return defs;
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

bool isFar(double x, double y)
{
    return std::fabs(x) >= s_far_away || std::fabs(y) >= s_far_away;
}

} // namespace

const std::vector<Column>& recordColumns()
{
    static const std::vector<Column> columns = [] {
        std::vector<Column> out;
        for (const ColumnDef& def : columnDefs()) out.push_back(def.column);
        return out;
    }();
    return columns;
}

double geometricFactor(const double (&x)[4], const double (&y)[4], const double (&z)[4])
{
    constexpr int A = 0, B = 1, M = 2, N = 3;
    bool any_term = false;
    bool coinciding = false;
    // The inverse distance between a current and a potential electrode; zero with one at infinity.
    auto inverse = [&](int p, int q) {
        if (isFar(x[p], y[p]) || isFar(x[q], y[q])) return 0.0;
        const double d = std::sqrt((x[p] - x[q]) * (x[p] - x[q]) + (y[p] - y[q]) * (y[p] - y[q]) + (z[p] - z[q]) * (z[p] - z[q]));
        any_term = true;
        if (d == 0.0) coinciding = true;
        return d == 0.0 ? 0.0 : 1.0 / d;
    };
    const double sum = inverse(A, M) - inverse(B, M) - inverse(A, N) + inverse(B, N);
    if (!any_term || coinciding || sum == 0.0 || !std::isfinite(sum)) return s_nan;
    return 2.0 * std::numbers::pi / sum;
}

py::dtype recordDtype()
{
    py::list names, formats, offsets;
    std::size_t offset = 0;
    for (const Column& column : recordColumns()) {
        names.append(column.name);
        formats.append(cellFormat(column.kind));
        offsets.append(offset);
        offset += cellSize(column.kind);
    }
    py::dict spec;
    spec["names"] = names;
    spec["formats"] = formats;
    spec["offsets"] = offsets;
    spec["itemsize"] = offset;
    return py::dtype::from_args(spec);
}

py::array recordTable(const std::vector<const Result_Reader*>& records, std::int64_t first_index)
{
    py::array table(recordDtype(), std::vector<py::ssize_t>{static_cast<py::ssize_t>(records.size())});
    const std::vector<ColumnDef>& defs = columnDefs();
    auto* bytes = static_cast<unsigned char*>(table.mutable_data());
    const auto itemsize = static_cast<std::size_t>(table.itemsize());
    Row row;
    for (std::size_t i = 0; i < records.size(); ++i) {
        fillRow(*records[i], first_index + static_cast<std::int64_t>(i), row);
        unsigned char* cell = bytes + i * itemsize;
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
    return table;
}

py::dict recordDict(const Result_Reader& record, std::int64_t index)
{
    Row row;
    fillRow(record, index, row);
    py::object datetime64 = py::module_::import("numpy").attr("datetime64");
    py::dict out;
    for (const ColumnDef& def : columnDefs()) {
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
