#pragma once

#include "Context.h"

#include <CLI/CLI.hpp>

namespace ertkit_cli {

// Each adds one sub-command to the application; the command runs when it is parsed.
void addInfoCommand(CLI::App& app, Context& context);
void addExportCommand(CLI::App& app, Context& context);
void addPlotCommand(CLI::App& app, Context& context);
void addSampleCommand(CLI::App& app, Context& context);
void addMergeCommand(CLI::App& app, Context& context);
void addEditCommand(CLI::App& app, Context& context);
void addDownloadCommand(CLI::App& app, Context& context);
void addMeterSimCommand(CLI::App& app, Context& context);

// The whole command line: every command, --quiet and --version.
void addCommands(CLI::App& app, Context& context);

// Runs the tool as main() would and returns the exit status.
int runTool(int argc, const char* const* argv);

} // namespace ertkit_cli
