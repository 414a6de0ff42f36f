#include "RecordCore.h"

#include "RecordTable.h"

#include <Geometry.h>
#include <ResultValues.h>

#include <pybind11/stl.h>

#include <algorithm>
#include <limits>

namespace ertkit_py {

namespace {

double milliseconds(const HighPrecisionTime& duration)
{
    return static_cast<double>(duration.ticks()) / 1e6;
}

} // namespace

py::dict RecordCore::values() const
{
    return recordDict(*m_reader, m_index);
}

py::tuple RecordCore::decay() const
{
    const ertkit_cli::ResultValues values = ertkit_cli::resultValues(*m_reader);
    const std::vector<double>& bounds = values.window_times;
    const std::size_t n = bounds.empty() ? 0 : std::min(values.window_m.size(), bounds.size() - 1);
    py::array_t<double> middles(static_cast<py::ssize_t>(n));
    py::array_t<double> charge(static_cast<py::ssize_t>(n));
    for (std::size_t j = 0; j < n; ++j) {
        middles.mutable_at(j) = 0.5 * (bounds[j] + bounds[j + 1]);
        charge.mutable_at(j) = values.window_m[j];
    }
    return py::make_tuple(std::move(middles), std::move(charge));
}

py::tuple RecordCore::stack() const
{
    std::vector<double> values;
    m_reader->fillStackData(true, values);
    const double period = milliseconds(m_reader->getSampleTime(true));
    py::array_t<double> times(static_cast<py::ssize_t>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k) times.mutable_at(k) = static_cast<double>(k) * period;
    return py::make_tuple(std::move(times), py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data()));
}

void bindRecordCore(py::module_& m)
{
    py::class_<RecordCore>(m, "RecordCore", "One record of a result file.")
        .def_property_readonly("index", &RecordCore::index)
        .def("values", &RecordCore::values)
        .def("decay", &RecordCore::decay)
        .def("stack", &RecordCore::stack)
        .def_property_readonly("orig_file", [](const RecordCore& r) { return py::bytes(r.reader().getOrigFile()); })
        .def_property_readonly("seq_file", [](const RecordCore& r) { return py::bytes(r.reader().getSeqFile()); });
    m.def(
        "pseudo_positions",
        [](const py::array_t<double, py::array::c_style | py::array::forcecast>& points) {
            if (points.ndim() != 3 || points.shape(1) != 4 || points.shape(2) != 3)
                throw py::value_error("pseudo_positions takes electrode points of shape (n, 4, 3)");
            const auto in = points.unchecked<3>();
            py::array_t<double> out({points.shape(0), py::ssize_t{2}});
            auto result = out.mutable_unchecked<2>();
            for (py::ssize_t i = 0; i < points.shape(0); ++i) {
                ertkit_cli::Quadrupole q;
                for (py::ssize_t e = 0; e < 4; ++e) q[static_cast<std::size_t>(e)] = {in(i, e, 0), in(i, e, 1), in(i, e, 2)};
                const auto position = ertkit_cli::pseudoPosition(q, false);
                result(i, 0) = position ? position->abscissa : std::numeric_limits<double>::quiet_NaN();
                result(i, 1) = position ? position->depth : std::numeric_limits<double>::quiet_NaN();
            }
            return out;
        },
        py::arg("points"), "Pseudo-section abscissa and depth of A, B, M, N points (n, 4, 3), NaN where undefined.");
    m.attr("RECORD_COLUMNS") = [] {
        py::list names;
        for (const Column& column : recordColumns(0)) names.append(column.name);
        return py::tuple(names);
    }();
}

} // namespace ertkit_py
