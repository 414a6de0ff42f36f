// download: fetching measures from a meter into a BINX file.
#include "Commands.h"

#include <services/AtomicOutput.h>
#include <services/BinxOutput.h>
#include <services/DownloadFailureText.h>
#include <services/DownloadSession.h>
#include <services/Interruption.h>

#include <fmt/format.h>

#include <chrono>
#include <iostream>
#include <memory>

namespace ertkit_cli {

namespace {

// What went wrong in the exchange, one line each, the last ending with `outcome`.
void reportFailures(const ertkit::DownloadSession& session, const DownloadOptions& options, Context& context, const std::string& outcome)
{
    const auto& failures = session.failures();
    for (std::size_t i = 0; i < failures.size(); ++i) {
        const bool last = i + 1 == failures.size();
        const std::string text = ertkit::downloadFailureText(failures[i]) + (last ? "; " + outcome : "");
        // A port failure names its device itself.
        if (failures[i].port) context.fail(text);
        else context.fail(options.port, text);
    }
}

// Converts what the session brought and writes it whole; the number of measures written.
std::size_t writeMeasures(const ertkit::DownloadSession& session, const DownloadOptions& options, Context& context)
{
    const auto progress = context.progress("converting");
    const BINX_File file = session.measures(*progress);
    if (progress->isCancelled()) throw ertkit::Interrupted();
    Context::finish(*progress);
    ertkit::writeBinx(file, options.output, {}, false);
    return file.getDatas().size();
}

// After a failure of the exchange with --keep-partial: the measures that arrived, if any,
// written as any download's; the failure is still reported, with the count.
void keepPartial(const ertkit::DownloadSession& session, const DownloadOptions& options, Context& context)
{
    if (session.failures().back().port || session.measureCount() == 0) {
        reportFailures(session, options, context, "nothing arrived; nothing written");
        return;
    }
    std::size_t kept = 0;
    if (!context.forFile(options.output, [&] { kept = writeMeasures(session, options, context); })) {
        reportFailures(session, options, context, "nothing written");
        return;
    }
    const std::string count = fmt::format("kept {} of {} measures", kept, session.slotsAsked());
    reportFailures(session, options, context, count + " in " + options.output);
    std::cout << fmt::format("{}: {} (the download stopped partway)\n", options.output, count);
}

} // namespace

void runDownload(const DownloadOptions& options, Context& context)
{
    // Measures downloaded for an output that cannot be written would be lost.
    if (!context.forFile(options.output, [&] { ertkit::checkWritable(options.output); })) return;
    ertkit::DownloadSession session(options.port);
    session.setSilenceLimit(std::chrono::milliseconds(static_cast<long long>(options.timeout * 1000.0)));
    const bool fetched = context.forFile(options.port, [&] {
        const auto progress = context.progress("downloading");
        session.fetch(options.first, options.last, options.name, *progress);
        // Stopped: the meter was told so; the progress line ends, the tool says it once.
        if (session.cancelled()) throw ertkit::Interrupted();
        if (session.failures().empty()) Context::finish(*progress);
    });
    if (!fetched) return;
    if (!session.failures().empty()) {
        if (options.keep_partial) keepPartial(session, options, context);
        else reportFailures(session, options, context, "nothing written");
        return;
    }
    context.forFile(options.output, [&] {
        const std::size_t measures = writeMeasures(session, options, context);
        // Printed once the progress bar has ended its line.
        std::cout << fmt::format("{}: {} measures downloaded\n", options.output, measures);
        if (session.hasRecording()) std::cout << session.writeRecording(options.output).string() << ": full-wave recording\n";
    });
}

} // namespace ertkit_cli
