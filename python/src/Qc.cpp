#include "Qc.h"

#include "LibraryCall.h"
#include "ReportTable.h"
#include "ResultCopy.h"

#include <services/QualityControl.h>
#include <services/Reprocessing.h>

#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <vector>

namespace ertkit_py {

namespace {

// `rules` maps a setting's name to its value, or to None or False to switch a rule off.
ertkit::QcSettings settingsOf(const py::dict& rules)
{
    ertkit::QcSettings settings;
    for (const auto& [key, value] : rules) {
        if (!py::isinstance<py::str>(key)) throw py::type_error("rule names are str");
        const std::string name = key.cast<std::string>();
        try {
            if (value.is_none() || (py::isinstance<py::bool_>(value) && !value.cast<bool>())) settings.disable(name);
            else if (py::isinstance<py::bool_>(value)) continue; // True: the rule as it is by default
            else if (py::isinstance<py::str>(value)) settings.set(name, std::string_view(value.cast<std::string>()));
            else if (py::isinstance<py::int_>(value) || py::isinstance<py::float_>(value)) settings.set(name, value.cast<double>());
            else throw py::type_error("rule " + name + ": a number, a str, None or False, not " + std::string(py::str(py::type::of(value).attr("__name__"))));
        } catch (const std::invalid_argument& e) {
            throw py::value_error(e.what());
        }
    }
    return settings;
}

py::tuple qc(const py::object& core, const py::dict& rules, const std::optional<std::string>& recordings, const std::string& result_file,
             const py::object& progress)
{
    const ertkit::QcSettings settings = settingsOf(rules);
    ResultCopy work;
    if (py::isinstance<BinxCore>(core)) work = binxCopy(core.cast<const BinxCore&>());
    else if (py::isinstance<BinCore>(core)) work.bin = core.cast<const BinCore&>().shared();
    else throw py::type_error("qc takes a BINX or BIN file of ertkit");
    ertkit::QcResult result = runLibrary(progress, Failure::BadRequest, [&](ProgressCallback& p) {
        if (work.bin) fillFromBin(work);
        std::vector<ertkit::Reprocessed> recomputed;
        if (recordings) {
            ertkit::ReprocessOptions options;
            options.recordings = *recordings;
            recomputed = ertkit::reprocess(work.sources, result_file, options, p);
        }
        return ertkit::runQualityControl(work.sources, settings, recordings ? &recomputed : nullptr);
    });
    py::list report = reportTable(ertkit::qcReportColumns(), result.readings.size(),
                                  [&result](std::size_t i, std::vector<ertkit::ReportCell>& cells) { ertkit::qcReportRow(result, i, cells); });
    const auto& records = work.output->getDatas();
    for (std::size_t i = 0; i < records.size(); ++i)
        if (result.readings[i].reasons != 0) records[i]->ignore = 1;
    return py::make_tuple(std::make_shared<BinxCore>(std::move(work.output)), report, ertkit::qcModelJson(result, settings));
}

} // namespace

void bindQc(py::module_& m)
{
    m.def("qc", &qc, py::arg("file"), py::arg("rules"), py::arg("recordings"), py::arg("result_file"), py::arg("progress") = py::none(),
          "Quality control of a BINX or BIN file: (new BinxCore, report columns, model JSON).");
}

} // namespace ertkit_py
