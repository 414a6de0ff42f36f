#include "Commands.h"

#include <iostream>

namespace ertkit_cli {

void addCommands(CLI::App& app, Context& context)
{
    app.add_flag("-q,--quiet", context.quiet, "Show no progress bar");
    // --quiet may follow the command too.
    app.fallthrough();
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
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // A usage error is one line too, like every other failure.
        std::cerr << "ertkit: " << e.what() << " (ertkit --help lists the commands)" << std::endl;
        return e.get_exit_code();
    }
    return context.exitStatus();
}

} // namespace ertkit_cli
