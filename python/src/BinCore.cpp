#include "BinCore.h"

#include "LibraryCall.h"
#include "Reading.h"
#include "RecordTable.h"

#include <pybind11/stl.h>

namespace ertkit_py {

BinCore BinCore::read(const std::string& path, const py::object& progress)
{
    return BinCore(std::shared_ptr<BIN_File>(readAs<BIN_File>(path, progress)));
}

py::array BinCore::table() const
{
    return recordTable(m_file->getResults(), 0);
}

void bindBin(py::module_& m)
{
    py::class_<BinCore>(m, "BinCore", "A legacy BIN result file as read by the library.")
        .def(py::init(&BinCore::read), py::arg("path"), py::arg("progress") = py::none())
        .def_property_readonly("path", [](const BinCore& b) { return storedText(b.file().getPath()); })
        .def_property_readonly("type_name", [](const BinCore& b) { return b.file().getTypeName(); })
        .def_property_readonly("folder", [](const BinCore& b) { return storedText(b.file().getFolderPath()); })
        .def_property_readonly("recording_names", [](const BinCore& b) { return storedTexts(b.file().getFileNames()); })
        .def("records", &BinCore::records)
        .def("table", &BinCore::table)
        .def("summary", [](const BinCore& b) { return recordSummary(b.file().getResults()); });
}

} // namespace ertkit_py
