// download: fetching measures from a meter into a BINX file.
#include "Commands.h"

#include "AtomicOutput.h"
#include "BinxFiles.h"

#include <download/TPortUSB.h>
#include <download/TarvexKesta_File.h>

#include <fmt/format.h>

#include <iostream>
#include <memory>

namespace ertkit_cli {

namespace {

// Writes the full-wave recording a raw transfer brought, beside the BINX file, with the
// extension of its kind.
std::filesystem::path writeRecording(const TarvexKesta_File& download, const std::filesystem::path& binx)
{
    const std::filesystem::path target = std::filesystem::path(binx).replace_extension(download.isV() ? ".vmn" : ".iab");
    AtomicOutput output(target);
    download.writeFullWave(output.temporaryPath());
    output.commit([&](const std::filesystem::path& written) {
        if (std::filesystem::file_size(written) == 0) throw std::runtime_error("cannot write " + target.string() + ": nothing written");
    });
    return target;
}

} // namespace

void runDownload(const DownloadOptions& options, Context& context)
{
    context.forFile(options.port, [&] {
        std::vector<std::string> errors;
        TPortUSB::setDevicePath(options.port);
        TarvexKesta_File download([](TPortVirt::TypePort) { return false; },
                                  [&] { errors.push_back("cannot open the port"); }, [] { return true; },
                                  [&](int code, std::string text) { errors.push_back(fmt::format("{} (error {})", text, code)); },
                                  TPortVirt::USB, "ertkit");
        {
            const auto progress = context.progress("downloading");
            download.download(options.first, options.last, *progress, options.name);
        }
        TPortUSB::setDevicePath("");
        if (!errors.empty()) {
            for (std::size_t i = 0; i + 1 < errors.size(); ++i) context.fail(options.port, errors[i]);
            throw std::runtime_error(errors.back() + "; nothing written");
        }
        const auto progress = context.progress("converting");
        const BINX_File file(download, *progress);
        writeBinxAtomically(file, options.output, {}, false);
        std::cout << fmt::format("{}: {} measures downloaded\n", options.output, file.getDatas().size());
        if (download.isContainFW()) std::cout << writeRecording(download, options.output).string() << ": full-wave recording\n";
    });
}

} // namespace ertkit_cli
