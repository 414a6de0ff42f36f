#pragma once

#include "RecordCore.h"

#include <bin/BIN_File.h>

#include <pybind11/pybind11.h>

#include <memory>
#include <string>

namespace ertkit_py {

namespace py = pybind11;

// A legacy BIN result file seen from Python; read only.
class BinCore {
public:
    explicit BinCore(std::shared_ptr<BIN_File> file) : m_file(std::move(file)) {}
    static BinCore read(const std::string& path, const py::object& progress);

    const BIN_File& file() const { return *m_file; }
    const std::shared_ptr<BIN_File>& shared() const { return m_file; }
    std::vector<RecordCore> records() const { return recordViews(m_file, m_file->getDatas()); }
    py::array table() const;

private:
    std::shared_ptr<BIN_File> m_file;
};

void bindBin(py::module_& m);

} // namespace ertkit_py
