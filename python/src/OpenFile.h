#pragma once

#include <pybind11/pybind11.h>

namespace ertkit_py {

namespace py = pybind11;

// open_file(path, progress): the reader the host registries pick by extension, as the core
// object of its kind; readers(): what the registries hold.
void bindOpenFile(py::module_& m);

} // namespace ertkit_py
