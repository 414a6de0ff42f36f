// download: fetching measures from a meter into a BINX file.
#include "Commands.h"

#include <services/AtomicOutput.h>
#include <services/BinxOutput.h>
#include <services/DownloadSession.h>
#include <services/Interruption.h>

#include <fmt/format.h>

#include <chrono>
#include <iostream>
#include <memory>

namespace ertkit_cli {

namespace {

std::string failureText(const ertkit::DownloadSession::Failure& failure)
{
    // The library's handshake messages, kept as they are, with what they mean to a person.
    std::string text = failure.message;
    if (text == "Time out version ???") text = "no answer from the meter: is it on, in its download mode, and on this port? (" + text + ")";
    else if (text == "Time out size ???") text = "the meter stopped answering during the handshake (" + text + ")";
    // The code is the progress sink's, which says nothing unless a host sets one.
    return failure.code != 0 ? fmt::format("{} (error {})", text, failure.code) : text;
}

// What went wrong in the exchange, one line each: false when nothing did.
bool reportFailures(const ertkit::DownloadSession& session, const DownloadOptions& options, Context& context)
{
    const auto& failures = session.failures();
    for (std::size_t i = 0; i < failures.size(); ++i) {
        const bool last = i + 1 == failures.size();
        const std::string text = failureText(failures[i]) + (last ? "; nothing written" : "");
        // A port failure names its device itself.
        if (failures[i].port) context.fail(text);
        else context.fail(options.port, text);
    }
    return !failures.empty();
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
    if (!fetched || reportFailures(session, options, context)) return;
    context.forFile(options.output, [&] {
        std::size_t measures = 0;
        {
            const auto progress = context.progress("converting");
            const BINX_File file = session.measures(*progress);
            if (progress->isCancelled()) throw ertkit::Interrupted();
            Context::finish(*progress);
            ertkit::writeBinx(file, options.output, {}, false);
            measures = file.getDatas().size();
        }
        // Printed once the progress bar has ended its line.
        std::cout << fmt::format("{}: {} measures downloaded\n", options.output, measures);
        if (session.hasRecording()) std::cout << session.writeRecording(options.output).string() << ": full-wave recording\n";
    });
}

} // namespace ertkit_cli
