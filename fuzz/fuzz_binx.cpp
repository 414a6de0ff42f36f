// Any bytes as a BINX file; what reads is written again, and the written file must read
// back with the same number of records.

#include <binx/BINX_File.h>

#include "FuzzSupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ertkit_fuzz::silenceLogger();
    const std::string path = ertkit_fuzz::writeInput(data, size, ".binx");
    try {
        const BINX_File file(path);
        for (const BINX_Data* record : file.getDatas()) {
            std::vector<std::uint64_t> tm;
            std::vector<double> mip;
            record->fillTM(tm);
            record->fillMIp(false, true, mip);
            (void)record->getElectrodeDisposition();
            (void)record->getType(true);
            (void)record->getGridGeo();
            (void)record->getStartTime(false);
        }
        const std::string copy = path + ".copy.binx";
        file.writeToFile(copy, false, 0, -1, false);
        const BINX_File again(copy);
        if (again.getDatas().size() != file.getDatas().size()) std::abort();
    } catch (const std::exception&) {
    }
    return 0;
}
