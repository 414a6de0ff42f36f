#pragma once

#include <pybind11/pybind11.h>

namespace ertkit_py {

namespace py = pybind11;

// ertkit.reprocess: a result file's records joined to their full-wave recordings and computed
// again (services/Reprocessing.h), as a new BINX file and the columns of the comparison table.
void bindReprocess(py::module_& m);

} // namespace ertkit_py
