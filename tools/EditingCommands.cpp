// merge and edit: the commands that change BINX files and write them back.
#include "Commands.h"

#include "BinxFiles.h"

#include <fmt/format.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <set>

namespace ertkit_cli {

namespace {

std::unique_ptr<BINX_File> openFor(Context& context, const std::string& path)
{
    std::unique_ptr<BINX_File> file;
    context.forFile(path, [&] {
        const auto progress = context.progress("reading " + std::filesystem::path(path).filename().string());
        file = openBinx(path, *progress);
    });
    return file;
}

// Takes the records out by their indexes in the file as read, highest first so that the
// lower indexes still name the same records; the records taken out are ours to free.
void removeRecords(BINX_File& file, const std::vector<unsigned int>& indexes)
{
    const std::set<unsigned int, std::greater<>> unique(indexes.begin(), indexes.end());
    for (const unsigned int index : unique) {
        if (index >= file.getDatas().size())
            throw std::out_of_range(fmt::format("record {} does not exist (the file has {})", index, file.getDatas().size()));
    }
    for (const unsigned int index : unique) {
        BINX_Data* const removed = file.getDatas()[index];
        file.removeData(index);
        delete removed;
    }
}

} // namespace

void addMergeCommand(CLI::App& app, Context& context)
{
    struct Options {
        std::vector<std::string> inputs;
        std::string output;
        bool skip_ignored = false;
    };
    auto options = std::make_shared<Options>();
    auto* command = app.add_subcommand("merge", "Merge BINX files into one, in the order given");
    command->add_option("files", options->inputs, "BINX files to merge")->required()->expected(2, -1);
    command->add_option("-o,--output", options->output, "BINX file to write")->required();
    command->add_flag("--skip-ignored", options->skip_ignored, "Leave out the records marked to be ignored");
    command->callback([options, &context] {
        std::vector<std::unique_ptr<BINX_File>> files;
        for (const std::string& path : options->inputs) files.push_back(openFor(context, path));
        if (std::any_of(files.begin(), files.end(), [](const auto& f) { return f == nullptr; })) {
            context.fail(options->output, "not written: an input could not be read");
            return;
        }
        context.forFile(options->output, [&] {
            for (std::size_t i = 1; i < files.size(); ++i) files.front()->addBinxFile(files[i].get());
            writeBinxAtomically(*files.front(), options->output, {}, options->skip_ignored);
            std::cout << fmt::format("{}: {} records from {} files\n", options->output, files.front()->getDatas().size(), files.size());
        });
    });
}

void addEditCommand(CLI::App& app, Context& context)
{
    struct Options {
        std::string input, output, range, folder;
        std::vector<unsigned int> remove;
        bool skip_ignored = false;
    };
    auto options = std::make_shared<Options>();
    auto* command = app.add_subcommand("edit", "Remove records, keep a range, drop ignored records or set the folder of a BINX file");
    command->add_option("file", options->input, "BINX file to edit")->required();
    command->add_option("-o,--output", options->output, "BINX file to write (may be the input)")->required();
    command->add_option("--remove", options->remove, "Records to remove, by index from 0 (repeat or separate with commas)")->delimiter(',');
    command->add_option("--range", options->range, "Keep records first:last of what remains after --remove (first: or :last for open ends)");
    command->add_flag("--skip-ignored", options->skip_ignored, "Leave out the records marked to be ignored");
    auto* folder = command->add_option("--folder", options->folder, "Folder of the recordings the records refer to");
    command->callback([options, folder, &context] {
        context.forFile(options->input, [&] {
            const RecordRange range = options->range.empty() ? RecordRange{} : parseRecordRange(options->range);
            const auto progress = context.progress("reading " + std::filesystem::path(options->input).filename().string());
            const std::unique_ptr<BINX_File> file = openBinx(options->input, *progress);
            removeRecords(*file, options->remove);
            if (folder->count() > 0) file->setFolderPath(options->folder);
            writeBinxAtomically(*file, options->output, range, options->skip_ignored);
        });
    });
}

} // namespace ertkit_cli
