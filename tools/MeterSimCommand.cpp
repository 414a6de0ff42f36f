// meter-sim: a simulated meter on a pseudo-terminal, to try a download without an instrument.
#include "Commands.h"

#include "SampleMeasures.h"

#include <sim/MeterSimulator.h>

#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <thread>

namespace ertkit_cli {

namespace {

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

} // namespace

void addMeterSimCommand(CLI::App& app, Context& context)
{
    struct Options {
        std::uint32_t records = 20, version = 3, seed = 1;
        std::string raw;
        double seconds = 0.0;
    };
    auto options = std::make_shared<Options>();
    auto* command = app.add_subcommand("meter-sim",
                                       "Play a meter holding the sample survey's readings on a pseudo-terminal; print its device path");
    command->add_option("--records", options->records, "Readings in the meter's memory (the survey's first ones)")->capture_default_str();
    command->add_option("--version", options->version, "Record version the meter sends: 1, 2 or 3 (3 carries time stamps)")
        ->check(CLI::IsMember({1u, 2u, 3u}))
        ->capture_default_str();
    command->add_option("--seed", options->seed, "Seed of the sample survey")->capture_default_str();
    command->add_option("--raw", options->raw, "Send a raw full-wave transfer of test measures instead: voltage or current")
        ->check(CLI::IsMember({"voltage", "current"}));
    command->add_option("--seconds", options->seconds, "Stop after this long (0: until interrupted)")->capture_default_str();
    command->callback([options, &context] {
        context.forFile("meter-sim", [&] {
            const auto memory = options->raw.empty() ? sampleMeterMemory(SampleSurvey(options->seed), options->version, options->records)
                                                     : ertkit_sim::MeterMemory::rawTransfer(options->raw == "voltage", options->records);
            const ertkit_sim::MeterSimulator meter(memory);
            std::cout << meter.devicePath() << std::endl;
            std::cerr << "meter simulator on " << meter.devicePath() << ": ertkit download --port " << meter.devicePath()
                      << " --first 0 --last " << (memory.isRaw() ? options->records : static_cast<std::uint32_t>(memory.slots())) - 1
                      << " -o OUT.binx" << std::endl;
            std::signal(SIGINT, requestStop);
            std::signal(SIGTERM, requestStop);
            const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(options->seconds);
            while (g_stop == 0 && (options->seconds <= 0.0 || std::chrono::steady_clock::now() < end))
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        });
    });
}

} // namespace ertkit_cli
