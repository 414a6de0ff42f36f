#include "RecordTable.h"

#include "Times.h"

#include <ResultValues.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>

namespace ertkit_py {

namespace {

constexpr double s_nan = std::numeric_limits<double>::quiet_NaN();

// One record's values, computed by the same code as the command-line export, and its index.
struct Row {
    std::int64_t index = 0;
    ertkit_cli::ResultValues v;
};

double orNan(const std::optional<double>& value)
{
    return value ? *value : s_nan;
}

double windowTime(const Row& row, std::size_t i)
{
    return i < row.v.window_times.size() ? row.v.window_times[i] : s_nan;
}

// Result files store start times as day numbers in a double, which carry about a microsecond
// of a date of this era: finer digits are noise of the conversion, so times are rounded to the
// nearest microsecond (a record written at 08:30:00 reads 08:30:00, not 08:29:59.999999777).
std::int64_t toMicrosecond(std::int64_t ns)
{
    std::int64_t us = ns / 1000;
    std::int64_t rest = ns % 1000;
    if (rest < 0) {
        us -= 1;
        rest += 1000;
    }
    return (rest >= 500 ? us + 1 : us) * 1000;
}

std::size_t windowCount(const Row& row)
{
    return row.v.window_times.empty() ? 0 : row.v.window_times.size() - 1;
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
    for (int e = 0; e < 4; ++e) {
        const std::string name(1, "abmn"[e]);
        c.push_back(real(name + "x", [e](const Row& r) { return r.v.electrodes[e].x; }));
        c.push_back(real(name + "y", [e](const Row& r) { return r.v.electrodes[e].y; }));
        c.push_back(real(name + "z", [e](const Row& r) { return r.v.electrodes[e].z; }));
    }
    c.push_back(real("vp_mV", [](const Row& r) { return r.v.vp; }));
    c.push_back(real("i_mA", [](const Row& r) { return r.v.current; }));
    c.push_back(real("r_ohm", [](const Row& r) { return orNan(r.v.resistance); }));
    c.push_back(real("k_m", [](const Row& r) { return orNan(r.v.k); }));
    c.push_back(real("rhoa_ohm_m", [](const Row& r) { return orNan(r.v.rhoa); }));
    c.push_back(real("m_mV_V", [](const Row& r) { return r.v.m; }));
    c.push_back(real("sp_mV", [](const Row& r) { return r.v.sp; }));
    c.push_back(real("vp_error_mV", [](const Row& r) { return r.v.vp_error; }));
    c.push_back(real("m_error", [](const Row& r) { return r.v.m_error; }));
    c.push_back(whole("stacks", Kind::Integer, [](const Row& r) { return static_cast<std::int64_t>(r.v.stacks); }));
    c.push_back(whole("start_time", Kind::Time, [](const Row& r) { return toMicrosecond(unixNanoseconds(r.v.start_time)); }));
    c.push_back(whole("ignore", Kind::Flag, [](const Row& r) { return r.v.ignore ? 1 : 0; }));
    c.push_back(whole("serial_v", Kind::Integer, [](const Row& r) { return r.v.serial_v; }));
    c.push_back(whole("user_serial_v", Kind::Integer, [](const Row& r) { return r.v.user_serial_v; }));
    c.push_back(whole("serial_i", Kind::Integer, [](const Row& r) { return r.v.serial_i; }));
    c.push_back(whole("user_serial_i", Kind::Integer, [](const Row& r) { return r.v.user_serial_i; }));
    c.push_back(real("t0_ms", [](const Row& r) { return windowTime(r, 0); }));
    for (std::size_t w = 0; w < windows; ++w)
        c.push_back(real("m" + std::to_string(w + 1) + "_mV_V",
                         [w](const Row& r) { return w < r.v.window_m.size() ? r.v.window_m[w] : s_nan; }));
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

py::array recordTable(const std::vector<const Result_Reader*>& records, std::int64_t first_index)
{
    // As many window columns as the record with the most windows has.
    std::size_t windows = 0;
    Row row;
    for (const Result_Reader* record : records) {
        ertkit_cli::readResultValues(*record, row.v);
        windows = std::max(windows, windowCount(row));
    }
    const std::vector<ColumnDef> defs = columnDefs(windows);
    py::array table(dtypeOf(defs), std::vector<py::ssize_t>{static_cast<py::ssize_t>(records.size())});
    auto* bytes = static_cast<unsigned char*>(table.mutable_data());
    const auto itemsize = static_cast<std::size_t>(table.itemsize());
    for (std::size_t i = 0; i < records.size(); ++i) {
        row.index = first_index + static_cast<std::int64_t>(i);
        ertkit_cli::readResultValues(*records[i], row.v);
        writeCells(defs, row, bytes + i * itemsize);
    }
    return table;
}

py::dict recordDict(const Result_Reader& record, std::int64_t index)
{
    Row row{index, ertkit_cli::resultValues(record)};
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
