// merge and edit: the commands that change BINX files and write them back.
#include "Commands.h"

#include "BinxFiles.h"
#include "Output.h"

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

void runMerge(const MergeOptions& options, Context& context)
{
    if (!checkOutput(context, options.output, options.inputs)) return;
    std::vector<std::unique_ptr<BINX_File>> files;
    for (const std::string& path : options.inputs) files.push_back(openFor(context, path));
    if (std::any_of(files.begin(), files.end(), [](const auto& f) { return f == nullptr; })) {
        context.fail(options.output, "not written: an input could not be read");
        return;
    }
    context.forFile(options.output, [&] {
        for (std::size_t i = 1; i < files.size(); ++i) files.front()->addBinxFile(files[i].get());
        // Copies of one survey, or surveys sharing recordings, list each recording once.
        files.front()->mergeDuplicateFileNames();
        ertkit::writeBinx(*files.front(), options.output, {}, options.skip_ignored);
        std::cout << fmt::format("{}: {} records from {} files\n", options.output, files.front()->getDatas().size(), files.size());
    });
}

void runEdit(const EditOptions& options, Context& context)
{
    // The one command whose output may be its input: the file is read whole before it is
    // written, and replaced only once the new one is complete.
    if (!checkOutput(context, options.output, {})) return;
    context.forFile(options.input, [&] {
        const ertkit::RecordRange range = options.range.empty() ? ertkit::RecordRange{} : parseRecordRange(options.range);
        const auto progress = context.progress("reading " + std::filesystem::path(options.input).filename().string());
        const std::unique_ptr<BINX_File> file = openBinx(options.input, *progress);
        removeRecords(*file, options.remove);
        if (options.folder) file->setFolderPath(*options.folder);
        ertkit::writeBinx(*file, options.output, range, options.skip_ignored);
    });
}

} // namespace ertkit_cli
