#include "ReportTable.h"

#include "LibraryCall.h"

#include <pybind11/numpy.h>

#include <limits>

namespace ertkit_py {

// The comparison table as (name, kind, values, mask) per column: numpy arrays for numbers and
// flags, a list of str for texts; integer columns carry a mask of their undefined rows.
py::list reportTable(const std::vector<ertkit::ReportColumn>& columns, std::size_t rows,
                     const std::function<void(std::size_t, std::vector<ertkit::ReportCell>&)>& fill)
{
    using ertkit::ReportType;
    const auto n = static_cast<py::ssize_t>(rows);
    struct Column {
        py::object values, mask = py::none();
        void* data = nullptr;
        bool* undefined = nullptr;
    };
    std::vector<Column> out(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        Column& o = out[c];
        const auto make = [&o, n](auto array) {
            o.data = array.mutable_data();
            o.values = std::move(array);
        };
        switch (columns[c].type) {
        case ReportType::Integer: {
            make(py::array_t<std::int64_t>(n));
            py::array_t<bool> mask(n);
            o.undefined = mask.mutable_data();
            o.mask = std::move(mask);
            break;
        }
        case ReportType::Real: make(py::array_t<double>(n)); break;
        case ReportType::Flag: make(py::array_t<bool>(n)); break;
        case ReportType::Text: o.values = py::list(n); break;
        }
    }
    std::vector<ertkit::ReportCell> row;
    for (py::ssize_t i = 0; i < n; ++i) {
        const auto r = static_cast<std::size_t>(i);
        fill(r, row);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const ertkit::ReportCell& cell = row[c];
            Column& o = out[c];
            switch (columns[c].type) {
            case ReportType::Integer: {
                const auto* whole = std::get_if<std::int64_t>(&cell);
                static_cast<std::int64_t*>(o.data)[r] = whole ? *whole : 0;
                o.undefined[r] = whole == nullptr;
                break;
            }
            case ReportType::Real: {
                const auto* real = std::get_if<double>(&cell);
                static_cast<double*>(o.data)[r] = real ? *real : std::numeric_limits<double>::quiet_NaN();
                break;
            }
            case ReportType::Flag: static_cast<bool*>(o.data)[r] = std::get<std::int64_t>(cell) != 0; break;
            case ReportType::Text: {
                const auto* text = std::get_if<std::string>(&cell);
                PyList_SET_ITEM(o.values.ptr(), i, storedText(text ? *text : std::string()).release().ptr());
                break;
            }
            }
        }
    }
    static const char* const kinds[] = {"integer", "real", "flag", "text"};
    py::list table;
    for (std::size_t c = 0; c < columns.size(); ++c)
        table.append(py::make_tuple(columns[c].name, kinds[static_cast<int>(columns[c].type)], out[c].values, out[c].mask));
    return table;
}


} // namespace ertkit_py
