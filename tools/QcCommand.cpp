// qc: the readings of a result file judged by the quality rules, its reciprocal pairs matched
// and an error model fitted; the file written back with the rejected readings ignored.
#include "Commands.h"

#include "Output.h"
#include "QcPlot.h"
#include "ReportCsv.h"

#include <services/BinxFromResult.h>
#include <services/BinxOutput.h>
#include <services/FileOpening.h>
#include <services/MessageText.h>
#include <services/QualityControl.h>
#include <services/Reprocessing.h>

#include <binx/BINX_File.h>

#include <fmt/format.h>

#include <filesystem>
#include <iostream>

namespace ertkit_cli {

namespace {

// The settings the command line gives: each --rule NAME=VALUE, then each --no-rule NAME.
ertkit::QcSettings settingsOf(const QcOptions& options)
{
    ertkit::QcSettings settings;
    for (const std::string& rule : options.rules) {
        const auto equals = rule.find('=');
        if (equals == std::string::npos) throw std::invalid_argument(fmt::format("--rule takes NAME=VALUE, not \"{}\"", ertkit::excerpt(rule)));
        settings.set(std::string_view(rule).substr(0, equals), std::string_view(rule).substr(equals + 1));
    }
    for (const std::string& name : options.no_rules) settings.disable(name);
    return settings;
}

} // namespace

void runQc(const QcOptions& options, Context& context)
{
    // The result file and, with --recordings, every recording in that folder are read: no
    // output may be one of them, nor two outputs one file.
    std::vector<std::string> read{options.input};
    if (!options.recordings.empty())
        for (const auto& path : ertkit::recordingsIn(options.recordings)) read.push_back(path.string());
    if (!checkOutputs(context, {options.output, options.report, options.model, options.plot}, read)) return;
    ertkit::QcSettings settings;
    try {
        settings = settingsOf(options);
    } catch (const std::invalid_argument& e) {
        context.fail(options.input, e.what());
        return;
    }
    context.forFile(options.input, [&] {
        const std::string name = std::filesystem::path(options.input).filename().string();
        std::unique_ptr<Result_File> results = context.readResults(options.input);
        if (results->getResults().empty()) throw std::runtime_error("the file holds no reading: nothing to check, nothing written");
        std::vector<ertkit::Reprocessed> recomputed;
        if (!options.recordings.empty()) {
            ertkit::ReprocessOptions reprocessing;
            reprocessing.recordings = options.recordings;
            const auto progress = context.progress("reading the recordings of " + name);
            recomputed = ertkit::reprocess(results->getResults(), options.input, reprocessing, *progress);
            Context::finish(*progress);
        }
        const ertkit::QcResult result = ertkit::runQualityControl(results->getResults(), settings, recomputed.empty() ? nullptr : &recomputed);

        std::unique_ptr<BINX_File> binx = ertkit::binxFileOf(std::move(results));
        for (std::size_t i = 0; i < result.readings.size(); ++i)
            if (result.readings[i].reasons != 0) binx->getDatas()[i]->ignore = 1;
        OutputSet outputs;
        ertkit::writeBinx(*binx, outputs.file(options.output), {}, false);
        if (!options.report.empty())
            writeReportCsv(outputs.add(options.report), ertkit::qcReportColumns(), result.readings.size(),
                           [&result](std::size_t i, std::vector<ertkit::ReportCell>& cells) { ertkit::qcReportRow(result, i, cells); });
        if (!options.model.empty()) outputs.add(options.model) << ertkit::qcModelJson(result, settings);
        if (!options.plot.empty()) plotQc(result, name, outputs.add(options.plot));
        outputs.commit();
        if (!context.quiet)
            for (const std::string& line : ertkit::qcSummaryLines(result)) std::cout << line << '\n';
        std::cout << fmt::format("{}: {} of {} readings kept\n", options.output, result.readings.size() - result.rejected, result.readings.size());
    });
}

} // namespace ertkit_cli
