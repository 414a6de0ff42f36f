// Any bytes as a legacy BIN result file, every record queried.

#include <bin/BIN_File.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ertkit_fuzz::silenceLogger();
    const std::string path = ertkit_fuzz::writeInput(data, size, ".bin");
    try {
        const BIN_File file(path);
        for (const BIN_Data* record : file.getDatas()) {
            std::vector<std::uint64_t> tm;
            std::vector<double> mip;
            record->fillTM(tm);
            record->fillMIp(false, false, mip);
            (void)record->getPeriod(true);
            (void)record->getNStack(true);
            (void)record->getStartTime(true);
            (void)record->getElectrodeDisposition();
            (void)record->getOrigFile();
        }
    } catch (const std::exception&) {
    }
    return 0;
}
