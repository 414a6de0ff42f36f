// The command line: every command with its options and help. The only place that knows the
// parser, so that its heavy header is compiled once.
#include "Commands.h"
#include "TerminalText.h"

#include <generators/SampleNoise.h>

#include <services/CycleStack.h>
#include <services/Interruption.h>
#include <services/MessageText.h>
#include <services/Reprocessing.h>

#include <CLI/CLI.hpp>

#include <csignal>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace ertkit_cli {

namespace {

// Runs `command` with the options the parser filled, once the sub-command is parsed.
template <typename Options>
std::shared_ptr<Options> bind(CLI::App* sub, Context& context, void (*command)(const Options&, Context&))
{
    auto options = std::make_shared<Options>();
    sub->callback([options, &context, command] { command(*options, context); });
    return options;
}

void addReadingCommands(CLI::App& app, Context& context)
{
    auto* info = app.add_subcommand("info", "Summarise recordings (.iab .vmn .irw .vrw) and result files (.binx .bin)");
    auto info_options = bind(info, context, runInfo);
    info->add_option("files", info_options->files, "Files to summarise")->required();

    auto* exporting = app.add_subcommand("export", "Convert a recording (csv, json) or a result file (csv, json, udf, general-array) to text");
    auto export_options = bind(exporting, context, runExport);
    exporting->add_option("file", export_options->file, "Recording or result file")->required();
    exporting->add_option("-f,--format", export_options->format, "csv, json, udf or general-array (the general array format)")
        ->check(CLI::IsMember({"csv", "json", "udf", "general-array"}))
        ->capture_default_str();
    exporting->add_flag("--keep-ignored", export_options->keep_ignored, "udf: keep the readings marked to be ignored (with valid 0)");
    auto* along = exporting->add_flag("--along-line", export_options->along_line,
                                      "udf: write the distance along the line as x (the default for electrodes on one line)");
    exporting->add_flag("--no-along-line", export_options->no_along_line, "udf: write the electrodes' x, y and z as stored")->excludes(along);
    exporting->add_option("--errors", export_options->errors,
                          "udf, general-array: the error of each reading: model (the file's reciprocal error model, else the stacking deviation; "
                          "udf's default), stack (the stacking deviation) or none (general-array's default); never below 2 %")
        ->check(CLI::IsMember({"model", "stack", "none"}));
    exporting->add_option("--ip", export_options->ip, "udf: the ip column as m (chargeability, mV/V) or phase (-phi in mrad, constant-phase earth)")
        ->check(CLI::IsMember({"m", "phase"}))
        ->capture_default_str();
    exporting->add_option("-o,--output", export_options->output, "Output file (standard output when absent)");

    auto* plot = app.add_subcommand("plot", "Draw a recording's channels, a pseudo-section or one record as SVG");
    auto plot_options = bind(plot, context, runPlot);
    plot->add_option("file", plot_options->file, "Recording or result file")->required();
    plot->add_option("-o,--output", plot_options->output, "SVG file to write")->required();
    plot->add_option("--start", plot_options->start, "Recording: the start to draw, from 0 (default 0)");
    plot->add_option("--record", plot_options->record, "Result file: draw this record (from 0) instead of the pseudo-section");
    plot->add_option("--quantity", plot_options->quantity, "Pseudo-section: rhoa, m, r, vp, i or k")
        ->check(CLI::IsMember({"rhoa", "m", "r", "vp", "i", "k"}))
        ->capture_default_str();
    plot->add_flag("--skip-ignored", plot_options->skip_ignored, "Pseudo-section: leave out the readings marked to be ignored (drawn hollow otherwise)");
    plot->add_flag("--fill", plot_options->fill, "Pseudo-section: fill between the readings (triangulated, level to level)");
    auto* range = plot->add_option("--range", plot_options->range, "Pseudo-section: the colours' limits MIN:MAX (values beyond take the end colours)");
    plot->add_option("--clip", plot_options->clip, "Pseudo-section: give the lowest and highest P % of the values the end colours (0 <= P < 50)")
        ->excludes(range);
}

// A reprocessing option checked in the words of the options' own check (the one Python's
// arguments go through): `set` puts the option's text into a set of options.
template <typename Set> CLI::Validator reprocessCheck(const char* kind, Set set)
{
    return CLI::Validator(
        [set](const std::string& text) {
            ertkit::ReprocessOptions options;
            try {
                set(options, text);
            } catch (const std::logic_error&) { // no number, or none that fits
                return "'" + ertkit::excerpt(text) + "' is not a number";
            }
            try {
                ertkit::checkReprocessOptions(options);
            } catch (const std::invalid_argument& e) {
                return std::string(e.what());
            }
            return std::string();
        },
        kind);
}

void addEditingCommands(CLI::App& app, Context& context)
{
    auto* merge = app.add_subcommand("merge", "Merge BINX files into one, in the order given");
    auto merge_options = bind(merge, context, runMerge);
    merge->add_option("files", merge_options->inputs, "BINX files to merge")->required()->expected(2, -1);
    merge->add_option("-o,--output", merge_options->output, "BINX file to write")->required();
    merge->add_flag("--skip-ignored", merge_options->skip_ignored, "Leave out the records marked to be ignored");

    auto* edit = app.add_subcommand("edit", "Remove records, keep a range, drop ignored records or set the folder of a BINX file");
    auto edit_options = bind(edit, context, runEdit);
    edit->add_option("file", edit_options->input, "BINX file to edit")->required();
    edit->add_option("-o,--output", edit_options->output, "BINX file to write (may be the input)")->required();
    edit->add_option("--remove", edit_options->remove, "Records to remove, by index from 0 (repeat or separate with commas)")->delimiter(',');
    edit->add_option("--range", edit_options->range, "Keep records first:last of what remains after --remove (first: or :last for open ends)");
    edit->add_flag("--skip-ignored", edit_options->skip_ignored, "Leave out the records marked to be ignored");
    edit->add_option("--folder", edit_options->folder, "Folder of the recordings the records refer to");

    auto* reprocess = app.add_subcommand("reprocess", "Compute Vp, I and M of a result file again from its full-wave recordings");
    auto reprocess_options = bind(reprocess, context, runReprocess);
    reprocess->add_option("file", reprocess_options->input, "BINX or BIN file whose records name their recordings")->required();
    reprocess->add_option("-o,--output", reprocess_options->output, "BINX file to write: the records with the recomputed values")->required();
    reprocess->add_option("--stack", reprocess_options->stack, "How half cycles are stacked: mean (as the meter), median or trimmed")
        ->check(CLI::IsMember({"mean", "median", "trimmed"}))
        ->capture_default_str();
    reprocess->add_option("--trim", reprocess_options->trim, "trimmed: the share of values cut at each end")->check(reprocessCheck("FRACTION", [](ertkit::ReprocessOptions& o, const std::string& t) { o.trim = std::stod(t); }))->capture_default_str();
    auto* windows = reprocess->add_option("--windows", reprocess_options->windows, "Chargeability windows, start:end in ms after the switch-off, e.g. 40:60,60:100 (default: each record's own)");
    reprocess->add_option("--gates", reprocess_options->gates, "Log-spaced gates instead of windows: log:FIRST_MS:LAST_MS:PER_DECADE, e.g. log:10:1900:6")
        ->excludes(windows);
    reprocess->add_option("--taper", reprocess_options->taper, "Weigh each window's or gate's samples: none, or hann (highest at its middle)")
        ->check(CLI::IsMember({"none", "hann"}))
        ->capture_default_str();
    reprocess->add_option("--spikes", reprocess_options->spikes, "Leave out samples this many robust deviations from the other half cycles' (e.g. 5; 0: none)")
        ->check(reprocessCheck("DEVIATIONS", [](ertkit::ReprocessOptions& o, const std::string& t) { o.cleaning.spike_threshold = std::stod(t); }));
    reprocess->add_option("--drift-order", reprocess_options->drift_order, "Remove the self potential's drift as a polynomial of this order (0 to 5) through the pair means, instead of the meter's line")
        ->check(reprocessCheck("ORDER", [](ertkit::ReprocessOptions& o, const std::string& t) {
            std::size_t used = 0;
            o.cleaning.drift_order = std::stoi(t, &used);
            if (used != t.size()) throw std::invalid_argument(t);
        }));
    reprocess->add_option("--mains", reprocess_options->mains_hz, "Remove the power line's noise at this frequency (Hz, e.g. 50) and its harmonics, where the sampling lets them be told from the signal; 0: none")
        ->check(reprocessCheck("HZ", [](ertkit::ReprocessOptions& o, const std::string& t) { o.cleaning.mains_hz = std::stod(t); }));
    reprocess->add_flag("--cole-cole", reprocess_options->cole_cole, "Fit a Cole-Cole decay (m, tau, c) to each record's gates and store it");
    reprocess->add_option("--recordings", reprocess_options->recordings, "Folder of the recordings (default: the result file's folder)");
    reprocess->add_option("--report", reprocess_options->report, "CSV file of stored against recomputed values, one row per record");
}

void addViewCommand(CLI::App& app, Context& context)
{
    auto* view = app.add_subcommand("view", "Look at result files in the browser: pseudo-sections, each reading's signal and injection, quality control; reject or keep readings");
    auto options = bind(view, context, runView);
    view->add_option("files", options->files, "BINX or BIN files")->required();
    view->add_option("--recordings", options->recordings, "Folder of the full-wave recordings (default: each file's own)");
    view->add_option("--port", options->port, "Port on 127.0.0.1 (default: a free one)")->check(CLI::Range(0, 65535));
    view->add_flag("--edit", options->edit, "Allow saving the readings rejected and kept (NAME-qc.binx, or in place with a .bak)");
}

void addQcCommand(CLI::App& app, Context& context)
{
    auto* qc = app.add_subcommand("qc", "Judge every reading by the quality rules, pair reciprocals, fit an error model; write the file with rejected readings ignored");
    auto options = bind(qc, context, runQc);
    qc->add_option("file", options->input, "BINX or BIN file")->required();
    qc->add_option("-o,--output", options->output, "BINX file to write: every record, those with a reason ignored")->required();
    qc->add_option("--report", options->report, "CSV file: one row per record with its reasons, error and reciprocal");
    qc->add_option("--model", options->model, "JSON file: the error models, the rules and the count of each reason");
    qc->add_option("--plot", options->plot, "SVG file: reciprocal errors with the model, counts, and the pseudo-section by reason");
    qc->add_option("--recordings", options->recordings, "Folder of the full-wave recordings: judge each reading on its half cycles too");
    qc->add_option("--rule", options->rules, "Set a rule's limit, NAME=VALUE (repeatable; see the README for names and defaults)");
    qc->add_option("--no-rule", options->no_rules, "Switch a rule off (repeatable)");
}

void addMeterCommands(CLI::App& app, Context& context)
{
    auto* download = app.add_subcommand("download", "Download measures from a meter over its USB serial link into a BINX file");
    auto download_options = bind(download, context, runDownload);
    download->add_option("--port", download_options->port, "Serial device of the meter (for example /dev/ttyUSB0, or what meter-sim prints)")
        ->required()
        ->check(CLI::Validator([](const std::string& device) { return device.empty() ? std::string("--port needs a device path") : std::string(); }, "DEVICE"));
    download->add_option("--first", download_options->first, "First memory index to fetch")->required();
    download->add_option("--last", download_options->last, "Last memory index to fetch (not below --first)")->required();
    download->add_option("--timeout", download_options->timeout, "Give up when the meter sends nothing for this many seconds, from its handshake on")
        ->check(CLI::Range(0.1, 3600.0))
        ->capture_default_str();
    download->parse_complete_callback([download_options] {
        if (download_options->first > download_options->last)
            throw CLI::ValidationError("--first " + std::to_string(download_options->first) + " is after --last " + std::to_string(download_options->last));
    });
    download->add_option("--name", download_options->name, "Name sent to the meter")->capture_default_str();
    download->add_flag("--keep-partial", download_options->keep_partial,
                       "When the meter stops answering or goes away partway, write the measures that arrived (the count is said)");
    download->add_option("-o,--output", download_options->output, "BINX file to write; a raw transfer also writes its recording beside it")
        ->required();

    auto* sim = app.add_subcommand("meter-sim", "Play a meter holding the sample survey's readings on a pseudo-terminal; print its device path");
    auto sim_options = bind(sim, context, runMeterSim);
    sim->add_option("--records", sim_options->records, "Readings in the meter's memory (the survey's first ones)")->capture_default_str();
    sim->add_option("--version", sim_options->version, "Record version the meter sends: 1, 2 or 3 (3 carries time stamps)")
        ->check(CLI::IsMember({1u, 2u, 3u}))
        ->capture_default_str();
    sim->add_option("--seed", sim_options->seed, "Seed of the sample survey")->capture_default_str();
    sim->add_option("--raw", sim_options->raw, "Send a raw full-wave transfer of test measures instead: voltage or current")
        ->check(CLI::IsMember({"voltage", "current"}));
    sim->add_option("--stop-after", sim_options->stop_after, "Fall silent for good after sending this many bytes (a meter that stops answering)");
    sim->add_option("--hang-up-after", sim_options->hang_up_after, "Vanish after sending this many bytes (a cable pulled out)");
    sim->add_option("--delay", sim_options->delay_ms, "Wait this many milliseconds before sending each record (a slow meter)")->capture_default_str();
    sim->add_option("--seconds", sim_options->seconds, "Stop after this long (0: until interrupted)")->capture_default_str();
}

// The sample's noise settings, refused in the words of their own parser.
CLI::Validator noiseCheck()
{
    return CLI::Validator(
        [](const std::string& text) {
            try {
                ertkit::generators::parseSampleNoise(text);
            } catch (const std::invalid_argument& e) {
                return std::string(e.what());
            }
            return std::string();
        },
        "SETTINGS");
}

void addSampleCommand(CLI::App& app, Context& context)
{
    auto* sample = app.add_subcommand("sample", "Write a synthetic survey: recordings, a BINX file and a legacy BIN file");
    auto options = bind(sample, context, runSample);
    sample->add_option("folder", options->folder, "Folder to write into (created if needed)")->required();
    sample->add_option("--seed", options->seed, "Seed of the survey; the same seed writes the same files")->capture_default_str();
    sample->add_option("--electrodes", options->electrodes, "Electrodes on the line")->check(CLI::Range(4, 64))->capture_default_str();
    sample->add_option("--spacing", options->spacing, "Electrode spacing (m)")->check(CLI::PositiveNumber)->capture_default_str();
    sample->add_option_function<std::string>("--noise", [options](const std::string& settings) {
               options->with_noise = true;
               options->noise = settings;
           },
           "Cole-Cole decays with planted noise, and their truth beside the survey (NAME-decay-truth.csv, NAME-clean-stacks.csv, "
           "NAME-noise.json). SETTINGS: KEY=VALUE,... of level (gaussian noise, mV; default 0.3), spikes (per injection; 2), "
           "drift (self-potential drift, mV; 20), mains (mV; 2), hz (50) and cycles (per injection; 4); alone, the defaults")
        ->expected(0, 1)
        ->check(noiseCheck());
}

} // namespace

namespace {

// The first SIGINT or SIGTERM asks the work to stop: progress sinks answer it as a
// cancellation, a download tells the meter, outputs are not committed and their temporary
// files go with them. A second one ends the tool at once, removing those files itself.
void onSignal(int signal)
{
    if (ertkit::interruptionSignal() == 0) {
        ertkit::requestInterruption(signal);
        return;
    }
    ertkit::removeTemporaryOutputs();
    static const char text[] = "\nertkit: interrupted; nothing written\n";
    [[maybe_unused]] const auto ignored = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(130);
}

void catchSignals()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no restart: a wait for the meter sees the signal at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The first word of the command line where a command is expected, when it names none of
// them: empty when the command line starts with a command (or holds only options).
std::string unknownCommand(const CLI::App& app, int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.empty() || word.front() == '-') continue; // the tool's own options take no value
        for (const CLI::App* command : app.get_subcommands({}))
            if (command->check_name(word)) return {};
        return word;
    }
    return {};
}

std::string commandList(const CLI::App& app)
{
    std::string list;
    for (const CLI::App* command : app.get_subcommands({})) list += (list.empty() ? "" : ", ") + command->get_name();
    return list;
}

} // namespace

int runTool(int argc, const char* const* argv)
{
    catchSignals();
    Context context(std::cerr);
    CLI::App app("Read, convert, plot, edit and download resistivity and IP survey data", "ertkit");
    app.add_flag("-q,--quiet", context.quiet, "Show no progress bar");
    // --quiet may follow the command too.
    app.fallthrough();
    app.set_version_flag("--version", "ertkit " ERTKIT_VERSION);
    app.require_subcommand(1);
    addReadingCommands(app, context);
    addEditingCommands(app, context);
    addQcCommand(app, context);
    addViewCommand(app, context);
    addMeterCommands(app, context);
    addSampleCommand(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (const std::string unknown = unknownCommand(app, argc, argv); !unknown.empty()) {
            std::cerr << "ertkit: unknown command '" << ertkit::excerpt(unknown) << "'; the commands are " << commandList(app) << std::endl;
            return e.get_exit_code();
        }
        // A usage error is one line too, like every other failure.
        std::cerr << "ertkit: " << longWordsCut(e.what()) << " (ertkit --help lists the commands)" << std::endl;
        return e.get_exit_code();
    }
    return context.exitStatus();
}

} // namespace ertkit_cli
