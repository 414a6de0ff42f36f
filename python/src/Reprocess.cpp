#include "Reprocess.h"

#include "BinCore.h"
#include "BinxCore.h"
#include "ByteSource.h"
#include "LibraryCall.h"

#include <services/BinxFromResult.h>
#include <services/ReprocessReport.h>
#include <services/Reprocessing.h>
#include <services/WindowTimes.h>

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

// The records to reprocess and the BINX file that takes their new values, record for record.
struct Work {
    std::unique_ptr<BINX_File> output;
    std::vector<Result_Reader*> sources;
    std::shared_ptr<const BIN_File> bin; // keeps a legacy file's records alive
};

// A BINX file is reprocessed through a copy of its own: the copy's records are both the
// sources and the output, and no other thread can edit them while the GIL is released. The
// copy is taken with the GIL held, as the file is written, and reads back what write() writes.
Work binxWork(const BinxCore& input)
{
    const std::string bytes = binxBytes(input.file());
    MemoryBuffer buffer(bytes.data(), bytes.size());
    std::istream in(&buffer);
    Work work;
    work.output = std::make_unique<BINX_File>(in, std::string(), noProgress());
    work.sources = work.output->getResults();
    return work;
}

// The legacy file's records are the sources (a BIN file never changes once read); the output
// holds a BINX record made from each, in the same folder. Made with the GIL released.
void fillFromBin(Work& work)
{
    work.output = std::make_unique<BINX_File>();
    work.output->setFolderPath(work.bin->getFolderPath());
    work.sources = work.bin->getResults();
    for (const Result_Reader* source : work.sources) {
        auto record = std::make_unique<BINX_Data>();
        ertkit::fillBinxFromResult(*source, *record);
        work.output->addData(record.release());
    }
}

// The comparison table as (name, kind, values, mask) per column: numpy arrays for numbers and
// flags, a list of str for texts; integer columns carry a mask of their undefined rows.
py::list reportColumns(const std::vector<Result_Reader*>& sources, const std::vector<ertkit::Reprocessed>& values)
{
    using ertkit::ReportType;
    const auto& columns = ertkit::reprocessReportColumns();
    const auto n = static_cast<py::ssize_t>(sources.size());
    struct Column {
        py::object values, mask = py::none();
        void* data = nullptr;
        bool* undefined = nullptr;
    };
    std::vector<Column> out(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
        Column& o = out[c];
        const auto make = [&o, n](auto array) {
            o.data = array.mutable_data();
            o.values = std::move(array);
        };
        switch (columns[c].type) {
        case ReportType::Integer: {
            make(py::array_t<std::int64_t>(n));
            py::array_t<bool> mask(n);
            o.undefined = mask.mutable_data();
            o.mask = std::move(mask);
            break;
        }
        case ReportType::Real: make(py::array_t<double>(n)); break;
        case ReportType::Flag: make(py::array_t<bool>(n)); break;
        case ReportType::Text: o.values = py::list(n); break;
        }
    }
    ertkit::ReprocessReport report;
    for (py::ssize_t i = 0; i < n; ++i) {
        const auto r = static_cast<std::size_t>(i);
        const std::vector<ertkit::ReportCell>& row = report.row(i, *sources[r], values[r]);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const ertkit::ReportCell& cell = row[c];
            Column& o = out[c];
            switch (columns[c].type) {
            case ReportType::Integer: {
                const auto* whole = std::get_if<std::int64_t>(&cell);
                static_cast<std::int64_t*>(o.data)[r] = whole ? *whole : 0;
                o.undefined[r] = whole == nullptr;
                break;
            }
            case ReportType::Real: {
                const auto* real = std::get_if<double>(&cell);
                static_cast<double*>(o.data)[r] = real ? *real : std::numeric_limits<double>::quiet_NaN();
                break;
            }
            case ReportType::Flag: static_cast<bool*>(o.data)[r] = std::get<std::int64_t>(cell) != 0; break;
            case ReportType::Text: {
                const auto* text = std::get_if<std::string>(&cell);
                PyList_SET_ITEM(o.values.ptr(), i, storedText(text ? *text : std::string()).release().ptr());
                break;
            }
            }
        }
    }
    static const char* const kinds[] = {"integer", "real", "flag", "text"};
    py::list table;
    for (std::size_t c = 0; c < columns.size(); ++c)
        table.append(py::make_tuple(columns[c].name, kinds[static_cast<int>(columns[c].type)], out[c].values, out[c].mask));
    return table;
}

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

    Work work;
    if (py::isinstance<BinxCore>(core)) {
        work = binxWork(core.cast<const BinxCore&>());
        options.recording_names = work.output->getFileNamesIabOrVmn(); // a missing recording is told by its name
    }
    else if (py::isinstance<BinCore>(core)) work.bin = core.cast<const BinCore&>().shared();
    else throw py::type_error("reprocess takes a BINX or BIN file of ertkit");

    std::vector<ertkit::Reprocessed> values = runLibrary(progress, Failure::BadRequest, [&](ProgressCallback& p) {
        if (work.bin) fillFromBin(work);
        return ertkit::reprocess(work.sources, result_file, options, p);
    });
    // The report reads the records as they were stored, before the new values go in.
    py::list report = reportColumns(work.sources, values);
    const auto& records = work.output->getDatas();
    for (std::size_t i = 0; i < records.size(); ++i) ertkit::applyReprocessed(*records[i], values[i]);
    return py::make_tuple(std::make_shared<BinxCore>(std::move(work.output)), report);
}

} // namespace

void bindReprocess(py::module_& m)
{
    m.def("reprocess", &reprocess, py::arg("file"), py::arg("stack"), py::arg("trim"), py::arg("windows"), py::arg("recordings"),
          py::arg("result_file"), py::arg("progress") = py::none(),
          "Reprocesses a BINX or BIN file from its recordings: (new BinxCore, report columns).");
}

} // namespace ertkit_py
