// info, export and plot: the commands that read files and show or convert what they hold.
#include "Commands.h"

#include "ColourScale.h"
#include "Output.h"
#include "RecordingExport.h"
#include "RecordingInfo.h"
#include "RecordingPlot.h"
#include "ResultExport.h"
#include "ResultInfo.h"
#include "PseudoSection.h"
#include "ResultPlot.h"
#include "TerminalText.h"

#include <services/CompanionRecordings.h>
#include <services/FileOpening.h>

#include <iostream>
#include <memory>
#include <optional>

namespace ertkit_cli {

namespace {

using ertkit::FileKind;
using ertkit::openRecording;
using ertkit::openResults;

FileKind kindOf(const std::string& path)
{
    if (const auto kind = ertkit::fileKind(path)) return *kind;
    throw std::invalid_argument("unknown file type (expected " + ertkit::extensionChoices(true) + ")");
}

std::string labelFor(const std::string& path)
{
    return "reading " + std::filesystem::path(path).filename().string();
}

// A recording's reading is shown as a share of its bytes.
std::unique_ptr<ProgressCallback> progressFor(const Context& context, const std::string& path)
{
    if (kindOf(path) == FileKind::Recording) return context.recordingProgress(labelFor(path), path);
    return context.progress(labelFor(path));
}

} // namespace

void runInfo(const InfoOptions& options, Context& context)
{
    bool first = true;
    for (const std::string& path : options.files) {
        context.forFile(path, [&] {
            const auto progress = progressFor(context, path);
            std::ostringstream text;
            if (kindOf(path) == FileKind::Recording)
                printRecordingInfo(*openRecording(path, *progress), path, text);
            else
                printResultInfo(*openResults(path, *progress), path, text);
            std::cout << (first ? "" : "\n") << printable(text.str()) << std::flush;
            first = false;
        });
    }
}

void runExport(const ExportOptions& options, Context& context)
{
    if (!checkOutput(context, options.output, {options.file})) return;
    context.forFile(options.file, [&] {
        const TableFormat format = tableFormat(options.format);
        const auto progress = progressFor(context, options.file);
        Output output(options.output);
        if (kindOf(options.file) == FileKind::Recording) {
            const auto reader = openRecording(options.file, *progress);
            exportRecording(*reader, options.file, format, output.stream(), *progress);
        } else {
            const auto results = openResults(options.file, *progress);
            InversionOptions inversion;
            inversion.keep_ignored = options.keep_ignored;
            if (options.along_line || options.no_along_line) inversion.along_line = options.along_line;
            if (!options.errors.empty()) {
                inversion.errors = options.errors == "model" ? ErrorKind::Model : options.errors == "stack" ? ErrorKind::Stack : ErrorKind::None;
                inversion.general_array_errors = true;
            }
            inversion.ip = options.ip == "phase" ? IpKind::Phase : IpKind::Chargeability;
            exportResults(*results, options.file, format, inversion, output.stream(), *progress);
        }
        output.commit();
    });
}

void runPlot(const PlotOptions& options, Context& context)
{
    SectionOptions section{options.quantity, options.skip_ignored, options.fill, std::nullopt, options.clip};
    try {
        if (!options.range.empty()) section.range = colourLimits(options.range);
        if (!(options.clip >= 0.0 && options.clip < 50.0)) throw std::invalid_argument("--clip: expected a percentage from 0 up to, not including, 50");
    } catch (const std::invalid_argument& e) {
        context.fail(e.what());
        return;
    }
    // A result file's record is drawn with its recording when one lies beside it: those
    // recordings are read too.
    std::vector<std::string> read{options.file};
    if (ertkit::fileKind(options.file) == FileKind::Results)
        for (const auto& path : ertkit::recordingsIn(ertkit::companionFolder(options.file))) read.push_back(path.string());
    if (!checkOutput(context, options.output, read)) return;
    context.forFile(options.file, [&] {
        const bool recording = kindOf(options.file) == FileKind::Recording;
        if (recording && options.record) throw std::invalid_argument("--record is for result files; a recording takes --start");
        if (!recording && options.start) throw std::invalid_argument("--start is for recordings; a result file takes --record");
        const auto progress = progressFor(context, options.file);
        ertkit::AtomicOutput output(options.output);
        if (recording) {
            const auto reader = openRecording(options.file, *progress);
            plotRecording(*reader, options.file, options.start.value_or(0), output.stream());
        } else {
            const auto results = openResults(options.file, *progress);
            if (options.record)
                plotRecord(*results, options.file, *options.record, output.stream());
            else
                plotPseudoSection(*results, options.file, section, output.stream());
        }
        output.commit();
    });
}

} // namespace ertkit_cli
