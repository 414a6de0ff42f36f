#pragma once

#include <services/ReprocessReport.h>

#include <pybind11/pybind11.h>

#include <cstddef>
#include <functional>
#include <vector>

namespace ertkit_py {

namespace py = pybind11;

// A report's table as (name, kind, values, mask) per column: numpy arrays for numbers and
// flags, a list of str for texts; integer columns carry a mask of their undefined rows. `fill`
// gives row i's cells.
py::list reportTable(const std::vector<ertkit::ReportColumn>& columns, std::size_t rows,
                     const std::function<void(std::size_t, std::vector<ertkit::ReportCell>&)>& fill);

} // namespace ertkit_py
