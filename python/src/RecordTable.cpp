#include "RecordTable.h"

#include "Times.h"

#include <services/ResultColumns.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <limits>

namespace ertkit_py {

namespace {

using ertkit::ColumnType;
using ertkit::ResultColumn;
using ertkit::ResultRow;

double realCell(const ResultColumn& column, const ResultRow& row)
{
    return column.real(row).value_or(std::numeric_limits<double>::quiet_NaN());
}

// A record without a time gives NaT, numpy's int64 minimum.
std::int64_t timeCell(const ResultColumn& column, const ResultRow& row)
{
    const auto time = column.time(row);
    return time ? unixNanoseconds(*time) : std::numeric_limits<std::int64_t>::min();
}

std::size_t cellSize(ColumnType type)
{
    return type == ColumnType::Flag ? 1 : 8;
}

const char* cellFormat(ColumnType type)
{
    switch (type) {
    case ColumnType::Integer: return "i8";
    case ColumnType::Real: return "f8";
    case ColumnType::Time: return "M8[ns]";
    case ColumnType::Flag: return "?";
    }
    return "f8";
}

py::dtype dtypeOf(const std::vector<ResultColumn>& columns)
{
    py::list names, formats, offsets;
    std::size_t offset = 0;
    for (const ResultColumn& column : columns) {
        names.append(column.name);
        formats.append(cellFormat(column.type));
        offsets.append(offset);
        offset += cellSize(column.type);
    }
    py::dict fields;
    fields["names"] = names;
    fields["formats"] = formats;
    fields["offsets"] = offsets;
    fields["itemsize"] = offset;
    return py::dtype::from_args(fields);
}

void writeCells(const std::vector<ResultColumn>& columns, const ResultRow& row, unsigned char* cell)
{
    for (const ResultColumn& column : columns) {
        if (column.type == ColumnType::Real) {
            const double value = realCell(column, row);
            std::memcpy(cell, &value, sizeof value);
        } else if (column.type == ColumnType::Flag) {
            *cell = column.whole(row) != 0 ? 1 : 0;
        } else {
            const std::int64_t value = column.type == ColumnType::Time ? timeCell(column, row) : column.whole(row);
            std::memcpy(cell, &value, sizeof value);
        }
        cell += cellSize(column.type);
    }
}

} // namespace

py::tuple recordColumnNames()
{
    py::list names;
    for (const ResultColumn& column : ertkit::resultColumns(0)) names.append(column.name);
    return py::tuple(names);
}

py::array recordTable(const std::vector<Result_Reader*>& records, std::int64_t first_index)
{
    const std::vector<ResultColumn> columns = ertkit::resultColumns(ertkit::mostWindows(records));
    py::array table(dtypeOf(columns), std::vector<py::ssize_t>{static_cast<py::ssize_t>(records.size())});
    auto* bytes = static_cast<unsigned char*>(table.mutable_data());
    const auto itemsize = static_cast<std::size_t>(table.itemsize());
    ResultRow row;
    for (std::size_t i = 0; i < records.size(); ++i) {
        row.index = first_index + static_cast<std::int64_t>(i);
        ertkit::readResultValues(*records[i], row.values);
        writeCells(columns, row, bytes + i * itemsize);
    }
    return table;
}

py::dict recordSummary(const std::vector<Result_Reader*>& records)
{
    std::size_t windows = 0;
    std::optional<std::int64_t> first, last;
    // The GIL stays held, as for the table: a BINX file must not be edited meanwhile.
    ertkit::ResultValues values;
    for (const Result_Reader* record : records) {
        ertkit::readResultValues(*record, values);
        windows = std::max(windows, ertkit::windowCount(values));
        const auto stored = ertkit::tableTime(values.start_time);
        if (!stored) continue; // a record without a time (NaT in the table) spans nothing
        const std::int64_t time = unixNanoseconds(*stored);
        first = std::min(first.value_or(time), time);
        last = std::max(last.value_or(time), time);
    }
    py::dict out;
    out["records"] = records.size();
    out["windows"] = windows;
    out["first_time_ns"] = first ? py::object(py::int_(*first)) : py::object(py::none());
    out["last_time_ns"] = last ? py::object(py::int_(*last)) : py::object(py::none());
    return out;
}

py::dict recordDict(const Result_Reader& record, std::int64_t index)
{
    const ResultRow row{index, ertkit::resultValues(record)};
    py::object datetime64 = py::module_::import("numpy").attr("datetime64");
    py::dict out;
    for (const ResultColumn& column : ertkit::resultColumns(ertkit::windowCount(row.values))) {
        const char* name = column.name.c_str();
        switch (column.type) {
        case ColumnType::Real: out[name] = realCell(column, row); break;
        case ColumnType::Integer: out[name] = column.whole(row); break;
        case ColumnType::Flag: out[name] = column.whole(row) != 0; break;
        case ColumnType::Time: out[name] = datetime64(timeCell(column, row), "ns"); break;
        }
    }
    return out;
}

} // namespace ertkit_py
