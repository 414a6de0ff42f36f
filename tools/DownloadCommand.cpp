// download: fetching measures from a meter into a BINX file.
#include "Commands.h"

#include <services/BinxOutput.h>
#include <services/DownloadSession.h>

#include <fmt/format.h>

#include <iostream>
#include <memory>

namespace ertkit_cli {

void runDownload(const DownloadOptions& options, Context& context)
{
    context.forFile(options.port, [&] {
        ertkit::DownloadSession session(options.port);
        {
            const auto progress = context.progress("downloading");
            session.fetch(options.first, options.last, options.name, *progress);
        }
        const auto& failures = session.failures();
        const auto text = [](const ertkit::DownloadSession::Failure& f) { return f.port ? f.message : fmt::format("{} (error {})", f.message, f.code); };
        if (!failures.empty()) {
            for (std::size_t i = 0; i + 1 < failures.size(); ++i) context.fail(options.port, text(failures[i]));
            throw std::runtime_error(text(failures.back()) + "; nothing written");
        }
        const auto progress = context.progress("converting");
        const BINX_File file = session.measures(*progress);
        ertkit::writeBinx(file, options.output, {}, false);
        std::cout << fmt::format("{}: {} measures downloaded\n", options.output, file.getDatas().size());
        if (session.hasRecording()) std::cout << session.writeRecording(options.output).string() << ": full-wave recording\n";
    });
}

} // namespace ertkit_cli
