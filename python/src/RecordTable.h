#pragma once

// The values of a result record as one table row: the columns of the command-line CSV export
// (electrode coordinates, Vp, I, R, K, apparent resistivity, chargeability and its windows,
// SP, deviations, stacks, start time, ignore flag, serial numbers), with the values the
// export computes (ResultValues of the tool, compiled into the extension), named once here for
// record properties, dicts and structured arrays alike.

#include <host/Result_Reader.h>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ertkit_py {

namespace py = pybind11;

enum class Kind { Integer, Real, Time, Flag };

struct Column {
    std::string name;
    Kind kind;
};

// The columns in table order: the fixed ones, then `windows` chargeability columns
// (m1_mV_V...) and as many window-end columns (t1_ms...).
std::vector<Column> recordColumns(std::size_t windows);

// One record as a dict of column name to value, with the window columns of its own windows;
// the start time as numpy.datetime64[ns].
py::dict recordDict(const Result_Reader& record, std::int64_t index);

// Records as a structured array of the columns, with the window columns of the record that
// has the most windows; row i carries the index first_index + i.
py::array recordTable(const std::vector<const Result_Reader*>& records, std::int64_t first_index);

} // namespace ertkit_py
