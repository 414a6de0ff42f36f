#include "BinxFiles.h"

#include <services/FileOpening.h>

#include <stdexcept>

namespace ertkit_cli {

namespace {

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
    std::unique_ptr<Result_File> file = ertkit::openResults(path, progress);
    if (dynamic_cast<BINX_File*>(file.get()) == nullptr)
        throw std::invalid_argument("only BINX files can be merged or edited, this is a " + file->getTypeName() + " file");
    return std::unique_ptr<BINX_File>(static_cast<BINX_File*>(file.release()));
}

ertkit::RecordRange parseRecordRange(const std::string& text)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos) throw std::invalid_argument("invalid range " + text + " (expected first:last, first: or :last)");
    ertkit::RecordRange range;
    const std::string first = text.substr(0, colon), last = text.substr(colon + 1);
    if (!first.empty()) range.first = static_cast<unsigned int>(parseIndex(first, text));
    if (!last.empty()) range.last = static_cast<int>(parseIndex(last, text));
    if (range.last >= 0 && range.first > static_cast<unsigned int>(range.last))
        throw std::invalid_argument("invalid range " + text + ": first is after last");
    return range;
}

} // namespace ertkit_cli
