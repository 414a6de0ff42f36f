#include "Commands.h"

#include <generators/SampleFiles.h>

#include <fmt/format.h>

#include <iostream>
#include <memory>
#include <optional>

namespace ertkit_cli {

void runSample(const SampleOptions& options, Context& context)
{
    context.forFile(options.folder, [&] {
        std::optional<ertkit::generators::SampleNoise> noise;
        if (options.with_noise) noise = ertkit::generators::parseSampleNoise(options.noise);
        const ertkit::generators::SampleSurvey survey(options.seed, options.electrodes, options.spacing, noise);
        const auto progress = context.progress("writing the sample survey");
        const ertkit::generators::SampleFiles files = ertkit::generators::writeSampleFiles(survey, options.folder, *progress);
        std::cout << fmt::format("{} readings ({} injections) written to {}\n", survey.measures().size(), survey.injections().size(),
                                 options.folder);
        for (const std::string& name : files.recordings) std::cout << "  " << name << "\n";
        if (!files.binx.empty()) std::cout << "  " << files.binx << "\n";
        std::cout << "  " << files.bin << std::endl;
        for (const std::string* name : {&files.decay_truth, &files.clean_stacks, &files.noise})
            if (!name->empty()) std::cout << "  " << *name << "\n";
        std::cout << std::flush;
    });
}

} // namespace ertkit_cli
