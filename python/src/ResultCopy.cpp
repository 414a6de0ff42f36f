#include "ResultCopy.h"

#include "ByteSource.h"
#include "LibraryCall.h"

#include <services/BinxFromResult.h>

#include <istream>
#include <string>

namespace ertkit_py {

ResultCopy binxCopy(const BinxCore& input)
{
    const std::string bytes = binxBytes(input.file());
    MemoryBuffer buffer(bytes.data(), bytes.size());
    std::istream in(&buffer);
    ResultCopy work;
    work.output = std::make_unique<BINX_File>(in, std::string(), noProgress());
    work.sources = work.output->getResults();
    return work;
}

void fillFromBin(ResultCopy& work)
{
    work.output = ertkit::binxFileOf(*work.bin);
    work.sources = work.bin->getResults();
}

} // namespace ertkit_py
