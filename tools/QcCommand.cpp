// qc: the readings of a result file judged by the quality rules, its reciprocal pairs matched
// and an error model fitted; the file written back with the rejected readings ignored.
#include "Commands.h"

#include "Output.h"
#include "QcPlot.h"
#include "ReportCsv.h"

#include <services/BinxFromResult.h>
#include <services/BinxOutput.h>
#include <services/FileOpening.h>
#include <services/QualityControl.h>
#include <services/Reprocessing.h>

#include <binx/BINX_File.h>

#include <fmt/format.h>

#include <filesystem>
#include <iostream>
#include <sstream>

namespace ertkit_cli {

namespace {

// The settings the command line gives: each --rule NAME=VALUE, then each --no-rule NAME.
ertkit::QcSettings settingsOf(const QcOptions& options)
{
    ertkit::QcSettings settings;
    for (const std::string& rule : options.rules) {
        const auto equals = rule.find('=');
        if (equals == std::string::npos) throw std::invalid_argument(fmt::format("--rule takes NAME=VALUE, not \"{}\"", rule.substr(0, 40)));
        settings.set(std::string_view(rule).substr(0, equals), std::string_view(rule).substr(equals + 1));
    }
    for (const std::string& name : options.no_rules) settings.disable(name);
    return settings;
}

// An output made whole in memory first, so that the files are written only once every one of
// them could be made.
struct TextOutput {
    std::string path;
    std::string text;
};

} // namespace

void runQc(const QcOptions& options, Context& context)
{
    std::vector<std::string> inputs{options.input};
    std::vector<std::string> outputs{options.output};
    for (const std::string* path : {&options.report, &options.model, &options.plot}) {
        if (path->empty()) continue;
        for (const std::string& other : outputs)
            if (std::filesystem::path(*path).lexically_normal() == std::filesystem::path(other).lexically_normal()) {
                context.fail(*path, "given as two of the outputs");
                return;
            }
        outputs.push_back(*path);
    }
    for (const std::string& output : outputs)
        if (!checkOutput(context, output, inputs)) return;
    ertkit::QcSettings settings;
    try {
        settings = settingsOf(options);
    } catch (const std::invalid_argument& e) {
        context.fail(options.input, e.what());
        return;
    }
    context.forFile(options.input, [&] {
        const std::string name = std::filesystem::path(options.input).filename().string();
        std::unique_ptr<Result_File> results;
        {
            const auto progress = context.progress("reading " + name);
            results = ertkit::openResults(options.input, *progress);
            Context::finish(*progress);
        }
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

        std::vector<TextOutput> texts;
        if (!options.report.empty()) {
            std::ostringstream csv;
            writeReportCsv(csv, ertkit::qcReportColumns(), result.readings.size(),
                           [&result](std::size_t i, std::vector<ertkit::ReportCell>& cells) { ertkit::qcReportRow(result, i, cells); });
            texts.push_back({options.report, std::move(csv).str()});
        }
        if (!options.model.empty()) texts.push_back({options.model, ertkit::qcModelJson(result, settings)});
        if (!options.plot.empty()) {
            std::ostringstream svg;
            plotQc(result, name, svg);
            texts.push_back({options.plot, std::move(svg).str()});
        }

        std::unique_ptr<BINX_File> binx = ertkit::binxFileOf(std::move(results));
        for (std::size_t i = 0; i < result.readings.size(); ++i)
            if (result.readings[i].reasons != 0) binx->getDatas()[i]->ignore = 1;
        // Text outputs are written under their temporary names before the BINX is renamed into
        // place, and renamed just after it: a failure before the BINX commit leaves every
        // destination as it was.
        std::vector<std::unique_ptr<Output>> written;
        for (const TextOutput& text : texts) {
            written.push_back(std::make_unique<Output>(text.path));
            written.back()->stream().write(text.text.data(), static_cast<std::streamsize>(text.text.size()));
            written.back()->stream().flush();
            if (!written.back()->stream()) throw ertkit::WriteError(text.path, "the write failed");
        }
        ertkit::writeBinx(*binx, options.output, {}, false);
        for (const auto& output : written) output->commit();
        if (!context.quiet)
            for (const std::string& line : ertkit::qcSummaryLines(result)) std::cout << line << '\n';
        std::cout << fmt::format("{}: {} of {} readings kept\n", options.output, result.readings.size() - result.rejected, result.readings.size());
    });
}

} // namespace ertkit_cli
