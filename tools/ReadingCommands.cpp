// info, export and plot: the commands that read files and show or convert what they hold.
#include "Commands.h"

#include "FileOpening.h"
#include "Output.h"
#include "RecordingExport.h"
#include "RecordingInfo.h"
#include "RecordingPlot.h"
#include "ResultExport.h"
#include "ResultInfo.h"
#include "ResultPlot.h"

#include <iostream>
#include <memory>
#include <optional>

namespace ertkit_cli {

namespace {

std::string labelFor(const std::string& path)
{
    return "reading " + std::filesystem::path(path).filename().string();
}

} // namespace

void addInfoCommand(CLI::App& app, Context& context)
{
    auto files = std::make_shared<std::vector<std::string>>();
    auto* command = app.add_subcommand("info", "Summarise recordings (.iab .vmn .irw .vrw) and result files (.binx .bin)");
    command->add_option("files", *files, "Files to summarise")->required();
    command->callback([files, &context] {
        bool first = true;
        for (const std::string& path : *files) {
            context.forFile(path, [&] {
                const auto progress = context.progress(labelFor(path));
                std::ostringstream text;
                if (kindOf(path) == FileKind::Recording)
                    printRecordingInfo(*openRecording(path, *progress), path, text);
                else
                    printResultInfo(*openResults(path, *progress), path, text);
                std::cout << (first ? "" : "\n") << text.str() << std::flush;
                first = false;
            });
        }
    });
}

void addExportCommand(CLI::App& app, Context& context)
{
    struct Options {
        std::string file, format = "csv", output;
    };
    auto options = std::make_shared<Options>();
    auto* command = app.add_subcommand("export", "Convert a recording (csv, json) or a result file (csv, json, udf) to text");
    command->add_option("file", options->file, "Recording or result file")->required();
    command->add_option("-f,--format", options->format, "csv, json or udf")->check(CLI::IsMember({"csv", "json", "udf"}))->capture_default_str();
    command->add_option("-o,--output", options->output, "Output file (standard output when absent)");
    command->callback([options, &context] {
        context.forFile(options->file, [&] {
            const TableFormat format = tableFormat(options->format);
            const auto progress = context.progress(labelFor(options->file));
            Output output(options->output);
            if (kindOf(options->file) == FileKind::Recording) {
                const auto reader = openRecording(options->file, *progress);
                exportRecording(*reader, options->file, format, output.stream(), *progress);
            } else {
                const auto results = openResults(options->file, *progress);
                exportResults(*results, options->file, format, output.stream(), *progress);
            }
            output.commit();
        });
    });
}

void addPlotCommand(CLI::App& app, Context& context)
{
    struct Options {
        std::string file, output;
        std::uint64_t start = 0;
        std::optional<std::size_t> record;
    };
    auto options = std::make_shared<Options>();
    auto* command = app.add_subcommand("plot", "Draw a recording's channels, a pseudo-section or one record as SVG");
    command->add_option("file", options->file, "Recording or result file")->required();
    command->add_option("-o,--output", options->output, "SVG file to write")->required();
    auto* start = command->add_option("--start", options->start, "Recording: the start to draw, from 0")->capture_default_str();
    auto* record = command->add_option("--record", options->record, "Result file: draw this record (from 0) instead of the pseudo-section");
    command->callback([options, start, record, &context] {
        context.forFile(options->file, [&] {
            const bool recording = kindOf(options->file) == FileKind::Recording;
            if (recording && record->count() > 0) throw std::invalid_argument("--record is for result files; a recording takes --start");
            if (!recording && start->count() > 0) throw std::invalid_argument("--start is for recordings; a result file takes --record");
            const auto progress = context.progress(labelFor(options->file));
            AtomicOutput output(options->output);
            if (recording) {
                const auto reader = openRecording(options->file, *progress);
                plotRecording(*reader, options->file, options->start, output.stream());
            } else {
                const auto results = openResults(options->file, *progress);
                if (options->record)
                    plotRecord(*results, options->file, *options->record, output.stream());
                else
                    plotPseudoSection(*results, options->file, output.stream());
            }
            output.commit();
        });
    });
}

} // namespace ertkit_cli
