#include "Commands.h"

#include "SampleFiles.h"

#include <fmt/format.h>

#include <iostream>
#include <memory>

namespace ertkit_cli {

void addSampleCommand(CLI::App& app, Context& context)
{
    struct Options {
        std::string folder;
        std::uint32_t seed = 1;
        int electrodes = 16;
        double spacing = 5.0;
    };
    auto options = std::make_shared<Options>();
    auto* command = app.add_subcommand("sample", "Write a synthetic survey: recordings, a BINX file and a legacy BIN file");
    command->add_option("folder", options->folder, "Folder to write into (created if needed)")->required();
    command->add_option("--seed", options->seed, "Seed of the survey; the same seed writes the same files")->capture_default_str();
    command->add_option("--electrodes", options->electrodes, "Electrodes on the line")->check(CLI::Range(4, 64))->capture_default_str();
    command->add_option("--spacing", options->spacing, "Electrode spacing (m)")->check(CLI::PositiveNumber)->capture_default_str();
    command->callback([options, &context] {
        context.forFile(options->folder, [&] {
            const SampleSurvey survey(options->seed, options->electrodes, options->spacing);
            const auto progress = context.progress("writing the sample survey");
            const SampleFiles files = writeSampleFiles(survey, options->folder, *progress);
            std::cout << fmt::format("{} readings ({} injections) written to {}\n", survey.measures().size(), survey.injections().size(),
                                     options->folder);
            for (const std::string& name : files.recordings) std::cout << "  " << name << "\n";
            if (!files.binx.empty()) std::cout << "  " << files.binx << "\n";
            std::cout << "  " << files.bin << std::endl;
        });
    });
}

} // namespace ertkit_cli
