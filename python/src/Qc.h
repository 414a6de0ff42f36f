#pragma once

#include <pybind11/pybind11.h>

namespace ertkit_py {

namespace py = pybind11;

// ertkit.qc: a result file's readings judged by the quality rules, paired and given an error
// model (services/QualityControl.h), as a new BINX file, the report's columns and the model.
void bindQc(py::module_& m);

} // namespace ertkit_py
