#include <services/reprocess/ReprocessedFile.h>

#include <services/BinxFromResult.h>

#include <binx/BINX_File.h>

#include <stdexcept>

namespace ertkit {

namespace {

std::unique_ptr<BINX_File> withValues(std::unique_ptr<BINX_File> file, const std::vector<Reprocessed>& values)
{
    const auto& records = file->getDatas();
    if (records.size() != values.size()) throw std::logic_error("reprocessed values do not match the file's records");
    for (std::size_t i = 0; i < records.size(); ++i) applyReprocessed(*records[i], values[i]);
    return file;
}

} // namespace

std::unique_ptr<BINX_File> reprocessedFile(std::unique_ptr<Result_File> input, const std::vector<Reprocessed>& values)
{
    return withValues(binxFileOf(std::move(input)), values);
}

std::unique_ptr<BINX_File> reprocessedFile(const Result_File& legacy, const std::vector<Reprocessed>& values)
{
    return withValues(binxFileOf(legacy), values);
}

} // namespace ertkit
