#pragma once

#include "Context.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ertkit_cli {

// What each command is asked to do, as the command line gives it (CommandLine.cpp), and the
// commands themselves. A command reports every failure through the context.

struct InfoOptions {
    std::vector<std::string> files;
};
struct ExportOptions {
    std::string file, format = "csv", output; // output empty: standard output
    bool keep_ignored = false;
    bool along_line = false, no_along_line = false; // neither: along the line for a 2-D line
    std::string errors;                              // model, stack or none; empty: the format's default
    std::string ip = "m";                            // udf: m (mV/V) or phase (mrad)
};
struct PlotOptions {
    std::string file, output;
    std::optional<std::uint64_t> start;  // recordings
    std::optional<std::size_t> record;   // result files
    std::string quantity = "rhoa";       // pseudo-sections
    bool skip_ignored = false, fill = false;
    std::string range;                   // MIN:MAX of the colours, empty: the values'
    double clip = 0.0;                   // per cent of the values at each end left to the end colours
};
struct MergeOptions {
    std::vector<std::string> inputs;
    std::string output;
    bool skip_ignored = false;
};
struct EditOptions {
    std::string input, output, range;
    std::vector<unsigned int> remove;
    std::optional<std::string> folder;
    bool skip_ignored = false;
};
struct DownloadOptions {
    std::string port, name = "ertkit", output;
    unsigned int first = 0, last = 0;
    double timeout = 10.0; // seconds the meter may stay silent, handshake included
    bool keep_partial = false; // write what arrived before a failure of the exchange
};
struct MeterSimOptions {
    std::uint32_t records = 20, version = 3, seed = 1;
    std::string raw; // empty, "voltage" or "current"
    double seconds = 0.0;
    std::optional<std::size_t> stop_after, hang_up_after; // link faults, in bytes sent per session
    unsigned int delay_ms = 0;                            // before each record it sends
};
struct ReprocessOptions {
    std::string input, output, report, recordings, windows, gates;
    std::string stack = "mean";
    double trim = 0.25;
    std::string taper = "none";
    double spikes = 0.0;    // robust deviations; 0: none
    int drift_order = -1;   // -1: the meter's line
    double mains_hz = 0.0;  // 0: none
    bool cole_cole = false;
};
struct QcOptions {
    std::string input, output, report, model, plot, recordings;
    std::vector<std::string> rules;    // NAME=VALUE
    std::vector<std::string> no_rules; // rules switched off
};
struct ViewOptions {
    std::vector<std::string> files;
    std::string recordings; // empty: each file's own folder
    unsigned int port = 0;  // 0: a free port
    bool edit = false;      // allow saving
};
struct SampleOptions {
    std::string folder;
    std::uint32_t seed = 1;
    int electrodes = 16;
    double spacing = 5.0;
    bool with_noise = false;  // --noise given
    std::string noise;        // its settings, KEY=VALUE,...
};

void runInfo(const InfoOptions& options, Context& context);
void runExport(const ExportOptions& options, Context& context);
void runPlot(const PlotOptions& options, Context& context);
void runMerge(const MergeOptions& options, Context& context);
void runEdit(const EditOptions& options, Context& context);
void runDownload(const DownloadOptions& options, Context& context);
void runMeterSim(const MeterSimOptions& options, Context& context);
void runSample(const SampleOptions& options, Context& context);
void runReprocess(const ReprocessOptions& options, Context& context);
void runQc(const QcOptions& options, Context& context);
void runView(const ViewOptions& options, Context& context);

// Parses the command line, runs the command and returns the exit status.
int runTool(int argc, const char* const* argv);

} // namespace ertkit_cli
