#include "BinxFiles.h"

#include "AtomicOutput.h"
#include "FileOpening.h"

#include <stdexcept>

namespace ertkit_cli {

namespace {

// How many records BINX_File::writeToFile writes for a range: the same bounds rules.
std::size_t recordsWritten(const BINX_File& file, RecordRange range, bool skip_ignored)
{
    const auto& records = file.getDatas();
    if (records.empty()) return 0;
    const std::size_t n = records.size();
    const std::size_t last = range.last < 0 || static_cast<std::size_t>(range.last) >= n ? n - 1 : static_cast<std::size_t>(range.last);
    const std::size_t first = range.first > last ? 0 : range.first;
    std::size_t count = 0;
    for (std::size_t i = first; i <= last; ++i) count += skip_ignored && records[i]->getIgnore() ? 0 : 1;
    return count;
}

unsigned long parseIndex(const std::string& text, const std::string& whole)
{
    std::size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || text[0] == '-' || value > 0x7FFFFFFFul)
        throw std::invalid_argument("invalid range " + whole + " (expected first:last, first: or :last)");
    return value;
}

} // namespace

std::unique_ptr<BINX_File> openBinx(const std::string& path, ProgressCallback& progress)
{
    std::unique_ptr<Result_File> file = openResults(path, progress);
    if (dynamic_cast<BINX_File*>(file.get()) == nullptr)
        throw std::invalid_argument("only BINX files can be merged or edited, this is a " + file->getTypeName() + " file");
    return std::unique_ptr<BINX_File>(static_cast<BINX_File*>(file.release()));
}

RecordRange parseRecordRange(const std::string& text)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos) throw std::invalid_argument("invalid range " + text + " (expected first:last, first: or :last)");
    RecordRange range;
    const std::string first = text.substr(0, colon), last = text.substr(colon + 1);
    if (!first.empty()) range.first = static_cast<unsigned int>(parseIndex(first, text));
    if (!last.empty()) range.last = static_cast<int>(parseIndex(last, text));
    if (range.last >= 0 && range.first > static_cast<unsigned int>(range.last))
        throw std::invalid_argument("invalid range " + text + ": first is after last");
    return range;
}

void writeBinxAtomically(const BINX_File& file, const std::filesystem::path& path, RecordRange range, bool skip_ignored)
{
    const std::size_t expected = recordsWritten(file, range, skip_ignored);
    AtomicOutput output(path);
    file.writeToFile(output.temporaryPath().string(), false, range.first, range.last, skip_ignored);
    output.commit([&](const std::filesystem::path& written) {
        std::size_t read_back = 0;
        try {
            read_back = BINX_File(written.string()).getDatas().size();
        } catch (const std::exception&) {
            read_back = expected + 1;
        }
        if (read_back != expected) throw std::runtime_error("cannot write " + path.string() + ": the written file does not read back whole");
    });
}

} // namespace ertkit_cli
