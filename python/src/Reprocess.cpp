#include "Reprocess.h"

#include "BinCore.h"
#include "BinxCore.h"
#include "ByteSource.h"
#include "LibraryCall.h"
#include "ReportTable.h"
#include "ResultCopy.h"

#include <services/ReprocessReport.h>
#include <services/Reprocessing.h>
#include <services/WindowTimes.h>
#include <services/reprocess/ReprocessedFile.h>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

namespace ertkit_py {

namespace {

using Windows = std::optional<std::vector<std::pair<double, double>>>;
// Log gates as their name ("log:10:1900:6") or as (first_ms, last_ms, per_decade).
using Gates = std::optional<std::variant<std::string, std::tuple<double, double, double>>>;

// What every option means is settled once, before any record is read: values no record could
// be reprocessed with raise ValueError (std::invalid_argument) in the words the tool uses.
struct Arguments {
    std::string stack;
    double trim = 0.25;
    Windows windows;
    Gates gates;
    bool taper = false;
    std::optional<double> spikes, mains;
    std::optional<int> drift_order;
    bool cole_cole = false;
};

ertkit::ReprocessOptions optionsOf(const Arguments& a)
{
    const auto estimator = ertkit::stackEstimatorNamed(a.stack);
    if (!estimator) throw py::value_error("stack must be mean, median or trimmed, not '" + a.stack + "'");
    ertkit::ReprocessOptions options;
    options.estimator = *estimator;
    options.trim = a.trim;
    if (a.windows) options.windows_ms = ertkit::windowBounds(*a.windows);
    if (a.gates) {
        if (const auto* name = std::get_if<std::string>(&*a.gates)) options.gates = ertkit::logGatesNamed(*name);
        else {
            const auto& [first, last, per_decade] = std::get<std::tuple<double, double, double>>(*a.gates);
            options.gates = ertkit::LogGates{first, last, per_decade};
        }
    }
    options.taper = a.taper;
    options.cleaning = {a.drift_order.value_or(-1), a.spikes.value_or(0.0), a.mains.value_or(0.0)};
    options.cole_cole = a.cole_cole;
    ertkit::checkReprocessOptions(options);
    return options;
}

// The report's columns, empty, for the options given: what a frame of no file holds. Raises
// for the options as reprocess would.
py::list reportColumns(const Arguments& arguments)
{
    return reportTable(ertkit::reprocessReportColumns(optionsOf(arguments).beyondMeter()), 0,
                       [](std::size_t, std::vector<ertkit::ReportCell>&) {});
}

py::tuple reprocess(const py::object& core, const Arguments& arguments, const std::optional<std::string>& recordings,
                    const std::string& result_file, const py::object& progress)
{
    // Gates or windows beyond a record's decay, or a taper on gates of one sample, raise too,
    // once the records are read.
    ertkit::ReprocessOptions options = optionsOf(arguments);
    if (recordings) options.recordings = *recordings;

    ResultCopy work;
    if (py::isinstance<BinxCore>(core)) {
        work = binxCopy(core.cast<const BinxCore&>());
        options.recording_names = work.output->getFileNamesIabOrVmn(); // a missing recording is told by its name
    }
    else if (py::isinstance<BinCore>(core)) work.bin = core.cast<const BinCore&>().shared();
    else throw py::type_error("reprocess takes a BINX or BIN file of ertkit");

    if (work.bin) work.sources = work.bin->getResults();
    std::vector<ertkit::Reprocessed> values = runLibrary(progress, Failure::BadRequest, [&](ProgressCallback& p) {
        return ertkit::reprocess(work.sources, result_file, options, p);
    });
    // The report reads the records as they were stored, before the new values go in.
    const bool beyond_meter = options.beyondMeter();
    ertkit::ReprocessReport rows(beyond_meter);
    py::list report = reportTable(ertkit::reprocessReportColumns(beyond_meter), values.size(), [&](std::size_t i, std::vector<ertkit::ReportCell>& cells) {
        cells = rows.row(static_cast<std::int64_t>(i), *work.sources[i], values[i]);
    });
    std::unique_ptr<BINX_File> file;
    {
        const py::gil_scoped_release release; // the file is ours alone, or made of a legacy file that never changes
        file = work.bin ? ertkit::reprocessedFile(*work.bin, values) : ertkit::reprocessedFile(std::move(work.output), values);
    }
    return py::make_tuple(std::make_shared<BinxCore>(std::move(file)), report);
}

Arguments argumentsOf(const std::string& stack, double trim, const Windows& windows, const Gates& gates, bool taper,
                      std::optional<double> spikes, std::optional<int> drift_order, std::optional<double> mains, bool cole_cole)
{
    return {stack, trim, windows, gates, taper, spikes, mains, drift_order, cole_cole};
}

} // namespace

void bindReprocess(py::module_& m)
{
    m.def(
        "reprocess",
        [](const py::object& core, const std::string& stack, double trim, const Windows& windows, const Gates& gates, bool taper,
           std::optional<double> spikes, std::optional<int> drift_order, std::optional<double> mains, bool cole_cole,
           const std::optional<std::string>& recordings, const std::string& result_file, const py::object& progress) {
            return reprocess(core, argumentsOf(stack, trim, windows, gates, taper, spikes, drift_order, mains, cole_cole), recordings,
                             result_file, progress);
        },
        py::arg("file"), py::arg("stack"), py::arg("trim"), py::arg("windows"), py::arg("gates"), py::arg("taper"), py::arg("spikes"),
        py::arg("drift_order"), py::arg("mains"), py::arg("cole_cole"), py::arg("recordings"), py::arg("result_file"),
        py::arg("progress") = py::none(), "Reprocesses a BINX or BIN file from its recordings: (new BinxCore, report columns).");
    m.def(
        "reprocess_columns",
        [](const std::string& stack, double trim, const Windows& windows, const Gates& gates, bool taper, std::optional<double> spikes,
           std::optional<int> drift_order, std::optional<double> mains, bool cole_cole) {
            return reportColumns(argumentsOf(stack, trim, windows, gates, taper, spikes, drift_order, mains, cole_cole));
        },
        py::arg("stack"), py::arg("trim"), py::arg("windows"), py::arg("gates"), py::arg("taper"), py::arg("spikes"),
        py::arg("drift_order"), py::arg("mains"), py::arg("cole_cole"),
        "The report's columns, with no row, for these options; raises for options reprocess would refuse.");
}

} // namespace ertkit_py
