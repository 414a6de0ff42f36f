// meter-sim: a simulated meter on a pseudo-terminal, to try a download without an instrument.
#include "Commands.h"

#include <generators/SampleMeasures.h>
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

void runMeterSim(const MeterSimOptions& options, Context& context)
{
    context.forFile("meter-sim", [&] {
        const auto memory = options.raw.empty() ? ertkit::generators::sampleMeterMemory(ertkit::generators::SampleSurvey(options.seed), options.version, options.records)
                                                 : ertkit_sim::MeterMemory::rawTransfer(options.raw == "voltage", options.records);
        ertkit_sim::MeterBehaviour behaviour;
        behaviour.silent_after_bytes = options.stop_after;
        behaviour.hang_up_after_bytes = options.hang_up_after;
        behaviour.answer_delay = std::chrono::milliseconds(options.delay_ms);
        const ertkit_sim::MeterSimulator meter(memory, behaviour);
        std::cout << meter.devicePath() << std::endl;
        std::cerr << "meter simulator on " << meter.devicePath() << ": ertkit download --port " << meter.devicePath()
                  << " --first 0 --last " << (memory.isRaw() ? options.records : static_cast<std::uint32_t>(memory.slots())) - 1
                  << " -o OUT.binx" << std::endl;
        std::signal(SIGINT, requestStop);
        std::signal(SIGTERM, requestStop);
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(options.seconds);
        while (g_stop == 0 && (options.seconds <= 0.0 || std::chrono::steady_clock::now() < end))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
}

} // namespace ertkit_cli
