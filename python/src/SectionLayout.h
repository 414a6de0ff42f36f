#pragma once

#include <pybind11/pybind11.h>

namespace ertkit_py {

// section_layout and section_quantities: where a pseudo-section puts each reading, as the
// command-line plot puts it.
void bindSectionLayout(pybind11::module_& m);

} // namespace ertkit_py
