#pragma once

#include <pybind11/pybind11.h>

namespace ertkit_py {

namespace py = pybind11;

// download(port, first, last, name, progress, full_wave_path, timeout).
void bindDownload(py::module_& m);

} // namespace ertkit_py
