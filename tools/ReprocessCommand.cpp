// reprocess: Vp, I and the chargeabilities of a result file computed again from the full-wave
// recordings beside it, with the stack and windows the user asks for.
#include "Commands.h"

#include "NumberText.h"
#include "Output.h"
#include "ReportCsv.h"

#include <services/BinxOutput.h>
#include <services/FileOpening.h>
#include <services/ReprocessReport.h>
#include <services/Reprocessing.h>
#include <services/WindowTimes.h>
#include <services/reprocess/ReprocessedFile.h>

#include <binx/BINX_File.h>

#include <fmt/format.h>

#include <iostream>
#include <memory>

namespace ertkit_cli {

namespace {

constexpr std::size_t s_failures_shown = 10;

void reportFailures(const std::string& input, const std::vector<ertkit::Reprocessed>& values, bool quiet)
{
    std::size_t failed = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i].ok) continue;
        if (++failed <= s_failures_shown && !quiet) std::cerr << fmt::format("warning: {}: record {} kept as stored: {}\n", input, i, values[i].failure);
    }
    if (failed > s_failures_shown && !quiet) std::cerr << fmt::format("warning: {}: … {} more records kept as stored\n", input, failed - s_failures_shown);
}

void writeReport(std::ostream& out, const std::vector<Result_Reader*>& results, const std::vector<ertkit::Reprocessed>& values, bool beyond_meter)
{
    ertkit::ReprocessReport report(beyond_meter);
    writeReportCsv(out, ertkit::reprocessReportColumns(beyond_meter), values.size(), [&](std::size_t i, std::vector<ertkit::ReportCell>& cells) {
        cells = report.row(static_cast<std::int64_t>(i), *results[i], values[i]);
    });
}

// What the command reads: the result file and every recording in the folder it reads them
// from, which no output may be.
std::vector<std::string> filesRead(const ReprocessOptions& options, const ertkit::ReprocessOptions& settings)
{
    std::vector<std::string> read{options.input};
    for (const auto& path : ertkit::recordingsIn(ertkit::recordingFolder(options.input, settings))) read.push_back(path.string());
    return read;
}

} // namespace

void runReprocess(const ReprocessOptions& options, Context& context)
{
    ertkit::ReprocessOptions settings;
    settings.estimator = *ertkit::stackEstimatorNamed(options.stack);
    settings.trim = options.trim;
    settings.recordings = options.recordings;
    if (!checkOutputs(context, {options.output, options.report}, filesRead(options, settings))) return;
    if (!options.windows.empty()) {
        try {
            settings.windows_ms = ertkit::windowBounds(options.windows);
            ertkit::checkReprocessOptions(settings);
        } catch (const std::invalid_argument& e) {
            context.fail(options.input, fmt::format("--windows: {}", e.what()));
            return;
        }
    }
    settings.taper = options.taper == "hann";
    settings.cleaning = {options.drift_order, options.spikes, options.mains_hz};
    settings.cole_cole = options.cole_cole;
    try {
        if (!options.gates.empty()) settings.gates = ertkit::logGatesNamed(options.gates);
        ertkit::checkReprocessOptions(settings);
    } catch (const std::invalid_argument& e) {
        context.fail(options.input, fmt::format("{}: {}", options.gates.empty() ? "reprocess" : "--gates", e.what()));
        return;
    }
    context.forFile(options.input, [&] {
        const std::string name = std::filesystem::path(options.input).filename().string();
        std::unique_ptr<Result_File> results = context.readResults(options.input);
        if (const auto* binx = dynamic_cast<const BINX_File*>(results.get())) settings.recording_names = binx->getFileNamesIabOrVmn();
        std::vector<ertkit::Reprocessed> values;
        {
            const auto progress = context.progress("reprocessing " + name);
            values = ertkit::reprocess(results->getResults(), options.input, settings, *progress);
            Context::finish(*progress);
        }
        reportFailures(options.input, values, context.quiet);
        const auto done = static_cast<std::size_t>(std::count_if(values.begin(), values.end(), [](const auto& v) { return v.ok; }));
        if (done == 0 && !values.empty()) throw std::runtime_error(fmt::format("no record could be reprocessed ({})", values.front().failure));
        // Both outputs or neither: the report is finished with the BINX file, and neither is
        // put in place before both are whole.
        OutputSet outputs;
        if (!options.report.empty()) writeReport(outputs.add(options.report), results->getResults(), values, settings.beyondMeter());
        const std::unique_ptr<BINX_File> file = ertkit::reprocessedFile(std::move(results), values);
        ertkit::writeBinx(*file, outputs.file(options.output), {}, false);
        outputs.commit();
        std::cout << fmt::format("{}: {} of {} records reprocessed ({} stacking)\n", options.output, done, values.size(),
                                 ertkit::stackEstimatorName(settings.estimator));
    });
}

} // namespace ertkit_cli
