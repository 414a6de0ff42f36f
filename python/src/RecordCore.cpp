#include "RecordCore.h"

#include "RecordTable.h"

#include <pybind11/stl.h>

#include <algorithm>

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
    const Result_Reader& r = *m_reader;
    const bool full_duty_cycle = r.getInjectionType() == InjectionType::FullDutyCycle;
    std::vector<std::uint64_t> bounds;
    std::vector<double> values;
    r.fillTM(bounds);
    r.fillMIp(true, full_duty_cycle, values);
    const double period = milliseconds(r.getSampleTime(true));
    const std::size_t n = bounds.empty() ? 0 : std::min(values.size(), bounds.size() - 1);
    py::array_t<double> middles(static_cast<py::ssize_t>(n));
    py::array_t<double> charge(static_cast<py::ssize_t>(n));
    for (std::size_t j = 0; j < n; ++j) {
        middles.mutable_at(j) = 0.5 * static_cast<double>(bounds[j] + bounds[j + 1]) * period;
        charge.mutable_at(j) = values[j] * 1000.0; // mV/V, as the table gives them
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
    m.attr("RECORD_COLUMNS") = [] {
        py::list names;
        for (const Column& column : recordColumns(0)) names.append(column.name);
        return py::tuple(names);
    }();
}

} // namespace ertkit_py
