#pragma once

// Result records as Python sees them: the columns of the shared result table (services/
// ResultColumns.h) as record dicts and structured arrays, times as numpy.datetime64[ns].

#include <host/Result_Reader.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <vector>

namespace ertkit_py {

namespace py = pybind11;

// The names of the columns every record has (no window columns), in table order.
py::tuple recordColumnNames();

// What a table of the records would hold, without making it: the number of records, of window
// columns, and the first and last start time (ns since 1970, as the table rounds them; None
// without a record that has one).
py::dict recordSummary(const std::vector<Result_Reader*>& records);

// One record as a dict of column name to value, with the window columns of its own windows;
// an undefined value is NaN.
py::dict recordDict(const Result_Reader& record, std::int64_t index);

// Records as a structured array of the columns, with the window columns of the record that
// has the most windows; row i carries the index first_index + i.
py::array recordTable(const std::vector<Result_Reader*>& records, std::int64_t first_index);

} // namespace ertkit_py
