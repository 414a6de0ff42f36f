// Writes a small voltage recording, opens it through the host registry as a host
// application would, and prints what the reader sees.

#include <host/Registry.h>

#include "support/FullWavePageBuilder.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <numbers>

int main(int argc, char** argv)
{
    const std::filesystem::path folder = argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
    const std::string path = (folder / "vp123-4567@120523_143015.vmn").string();

    ertkit_test::ConfigFields setUp;
    setUp.gmt_offset = 1.0f;
    setUp.input_voltage = 1;
    for (unsigned int row = 0; row < 13; ++row) setUp.electrodes[row] = {5.0f * static_cast<float>(row), 0.0f};
    // A 2-second square wave seen on three channels, with one channel driven into overload.
    auto signal = [](std::uint32_t sample, unsigned int channel) {
        const double phase = std::sin(2.0 * std::numbers::pi * sample / 800.0);
        const double level = (phase >= 0 ? 1.0 : -1.0) * 120.0 / (channel + 1);
        return static_cast<float>(channel == 2 && sample % 400 == 5 ? 15000.0 : level);
    };
    ertkit_test::RecordingBuilder builder;
    builder.start(setUp, 0, 3000, signal);
    builder.save(path);

    DummyProgressCallback progress;
    const auto reader = host::registry().openFileReader(path, progress);
    std::cout << "file      " << path << "\n"
              << "type      " << reader->getTypeName() << " (device type " << static_cast<int>(reader->getType()) << ")\n"
              << "serials   " << reader->getSerialNumber() << " / user " << reader->getUserSerialNumber() << "\n"
              << "starts    " << reader->getNStarts() << "\n";
    for (std::uint64_t start = 0; start < reader->getNStarts(); ++start) {
        const std::time_t t = static_cast<std::time_t>(reader->getStartTime(start).toUnixSeconds());
        char when[32];
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
        std::cout << "start " << start << ": " << reader->getNChannels(start) << " channels, " << reader->getNsample(start)
                  << " samples of 10 ms from " << when << ", battery " << reader->getRxBat(start) << " V, "
                  << reader->getRxTemp(start) << " degC\n";
        std::vector<bool> pps;
        reader->fillPPS(start, pps);
        for (std::uint64_t channel = 0; channel < reader->getNChannels(start); ++channel) {
            std::vector<double> values;
            std::vector<bool> overload;
            reader->fillData(start, channel, values);
            reader->fillOverload(start, channel, overload);
            std::cout << "  channel " << channel << ": first values " << values[0] << ", " << values[1] << ", " << values[2]
                      << "; overloaded samples " << std::count(overload.begin(), overload.end(), true) << "\n";
        }
        std::cout << "  PPS pulses " << std::count(pps.begin(), pps.end(), true) << "\n";
    }
    std::filesystem::remove(path);
    return 0;
}
