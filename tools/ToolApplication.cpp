#include "Commands.h"

#include <iostream>

namespace ertkit_cli {

void addCommands(CLI::App& app, Context& context)
{
    app.add_flag("-q,--quiet", context.quiet, "Show no progress bar");
    app.set_version_flag("--version", "ertkit " ERTKIT_VERSION);
    app.require_subcommand(1);
    addInfoCommand(app, context);
    addExportCommand(app, context);
    addPlotCommand(app, context);
    addMergeCommand(app, context);
    addEditCommand(app, context);
    addDownloadCommand(app, context);
    addMeterSimCommand(app, context);
    addSampleCommand(app, context);
}

int runTool(int argc, const char* const* argv)
{
    Context context(std::cerr);
    CLI::App app("Read, convert, plot, edit and download resistivity and IP survey data", "ertkit");
    addCommands(app, context);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return context.exitStatus();
}

} // namespace ertkit_cli
