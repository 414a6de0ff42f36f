#include "RecordCore.h"

#include "LibraryCall.h"
#include "RecordTable.h"
#include "SectionLayout.h"

#include <services/ColeColeDecay.h>
#include <services/Reprocessing.h>
#include <services/ResultValues.h>
#include <services/StackedSignal.h>
#include <services/WindowTimes.h>

#include <pybind11/stl.h>

#include <new>

namespace ertkit_py {

std::int64_t RecordCore::index() const
{
    if (const auto list = m_list.lock()) {
        if (const auto position = list->positionOf(m_reader.get(), m_index)) m_index = *position;
    }
    return m_index;
}

py::dict RecordCore::values() const
{
    return recordDict(*m_reader, index());
}

namespace {

// A record's queries that need its sample period throw the library's bare exception for an
// invalid sampling-rate code: a ValueError, as for any other bad value of the record.
template <typename Query>
auto periodQuery(Query&& query)
{
    try {
        return query();
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        raiseValueError(std::string(e.what()) + " (the record's sampling-rate code is not one the library knows)");
    }
}

} // namespace

py::tuple RecordCore::decay() const
{
    // Without a valid period the windows have no times: an error, not an empty curve.
    const std::vector<ertkit::DecayPoint> curve = periodQuery([&] {
        ertkit::samplePeriodMs(*m_reader);
        return ertkit::decayCurve(ertkit::resultValues(*m_reader));
    });
    const auto n = static_cast<py::ssize_t>(curve.size());
    py::array_t<double> middles(n);
    py::array_t<double> charge(n);
    for (py::ssize_t j = 0; j < n; ++j) {
        middles.mutable_at(j) = curve[static_cast<std::size_t>(j)].time_ms;
        charge.mutable_at(j) = curve[static_cast<std::size_t>(j)].m;
    }
    return py::make_tuple(std::move(middles), std::move(charge));
}

py::tuple RecordCore::stack() const
{
    std::vector<double> values;
    const double period = periodQuery([&] {
        ertkit::StackedSignal signal = ertkit::stackedSignal(*m_reader); // bounded, whatever the pulse says
        values = std::move(signal.values);
        return signal.step_ms;
    });
    py::array_t<double> times(static_cast<py::ssize_t>(values.size()));
    for (std::size_t k = 0; k < values.size(); ++k) times.mutable_at(k) = static_cast<double>(k) * period;
    return py::make_tuple(std::move(times), py::array_t<double>(static_cast<py::ssize_t>(values.size()), values.data()));
}

py::object RecordCore::coleCole() const
{
    const std::optional<ertkit::ColeColeParameters> model = ertkit::storedColeCole(*m_reader);
    if (!model) return py::none();
    return py::make_tuple(model->m, model->tau, model->c);
}

py::object RecordCore::windowDeviations() const
{
    const std::vector<double> deviations = ertkit::storedWindowDeviations(*m_reader);
    if (deviations.empty()) return py::none();
    return py::array_t<double>(static_cast<py::ssize_t>(deviations.size()), deviations.data());
}

py::tuple RecordCore::coleColeDecay(double until_ms) const
{
    std::vector<ertkit::DecayPoint> curve;
    if (const std::optional<ertkit::ColeColeParameters> model = ertkit::storedColeCole(*m_reader))
        curve = ertkit::coleColeDecayCurve(*m_reader, *model, until_ms);
    py::array_t<double> times(static_cast<py::ssize_t>(curve.size())), values(static_cast<py::ssize_t>(curve.size()));
    for (std::size_t k = 0; k < curve.size(); ++k) {
        times.mutable_at(k) = curve[k].time_ms;
        values.mutable_at(k) = curve[k].m;
    }
    return py::make_tuple(std::move(times), std::move(values));
}

void bindRecordCore(py::module_& m)
{
    py::class_<RecordCore>(m, "RecordCore", "One record of a result file.")
        .def_property_readonly("index", &RecordCore::index)
        .def("values", &RecordCore::values)
        .def("decay", &RecordCore::decay)
        .def("stack", &RecordCore::stack)
        .def("cole_cole", &RecordCore::coleCole)
        .def("window_deviations", &RecordCore::windowDeviations)
        .def("cole_cole_decay", &RecordCore::coleColeDecay, py::arg("until_ms"))
        .def_property_readonly("orig_file", [](const RecordCore& r) { return py::bytes(r.reader().getOrigFile()); })
        .def_property_readonly("seq_file", [](const RecordCore& r) { return py::bytes(r.reader().getSeqFile()); });
    bindSectionLayout(m);
    m.attr("RECORD_COLUMNS") = recordColumnNames();
}

} // namespace ertkit_py
