// Any bytes as the temporary file of a raw transfer: the scan for measure pages, then the
// conversion of what it found to BINX records.

#include <binx/BINX_File.h>
#include <download/TarvexKesta_File.h>

#include "FuzzSupport.h"

namespace {

class RawImport : public TarvexKesta_File {
public:
    RawImport() : TarvexKesta_File(nullptr, nullptr, nullptr, nullptr, TPortVirt::USB, "fuzz") {}
    using TarvexKesta_File::importRawFile;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ertkit_fuzz::silenceLogger();
    const std::string path = ertkit_fuzz::writeInput(data, size, ".raw");
    RawImport download;
    try {
        download.importRawFile(path);
        const BINX_File file(download);
        for (const BINX_Data* record : file.getDatas()) {
            std::vector<double> mip;
            record->fillMIp(false, false, mip);
        }
    } catch (const std::exception&) {
    }
    return 0;
}
