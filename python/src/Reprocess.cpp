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
#include <utility>
#include <vector>

namespace ertkit_py {

namespace {

py::tuple reprocess(const py::object& core, const std::string& stack, double trim,
                    const std::optional<std::vector<std::pair<double, double>>>& windows, const std::optional<std::string>& recordings,
                    const std::string& result_file, const py::object& progress)
{
    const auto estimator = ertkit::stackEstimatorNamed(stack);
    if (!estimator) throw py::value_error("stack must be mean, median or trimmed, not '" + stack + "'");
    ertkit::ReprocessOptions options;
    options.estimator = *estimator;
    options.trim = trim;
    // Windows that do not follow one another, or a trim that would leave nothing, raise
    // ValueError in the words the tool uses; so do windows beyond a record's decay.
    if (windows) options.windows_ms = ertkit::windowBounds(*windows);
    ertkit::checkReprocessOptions(options);
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
    ertkit::ReprocessReport rows;
    py::list report = reportTable(ertkit::reprocessReportColumns(), values.size(), [&](std::size_t i, std::vector<ertkit::ReportCell>& cells) {
        cells = rows.row(static_cast<std::int64_t>(i), *work.sources[i], values[i]);
    });
    std::unique_ptr<BINX_File> file;
    {
        const py::gil_scoped_release release; // the file is ours alone, or made of a legacy file that never changes
        file = work.bin ? ertkit::reprocessedFile(*work.bin, values) : ertkit::reprocessedFile(std::move(work.output), values);
    }
    return py::make_tuple(std::make_shared<BinxCore>(std::move(file)), report);
}

} // namespace

void bindReprocess(py::module_& m)
{
    m.def("reprocess", &reprocess, py::arg("file"), py::arg("stack"), py::arg("trim"), py::arg("windows"), py::arg("recordings"),
          py::arg("result_file"), py::arg("progress") = py::none(),
          "Reprocesses a BINX or BIN file from its recordings: (new BinxCore, report columns).");
}

} // namespace ertkit_py
