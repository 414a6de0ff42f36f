#include <services/BinxOutput.h>

#include <services/AtomicOutput.h>

#include <host/VELT_Utils.h>

#include <ostream>

namespace ertkit {

void writeBinx(const BINX_File& file, std::ostream& out, RecordRange range, bool skip_ignored)
{
    file.writeToStream(out, range.first, range.last, skip_ignored);
}

void writeBinx(const BINX_File& file, const std::filesystem::path& path, RecordRange range, bool skip_ignored, bool hide)
{
    AtomicOutput output(path);
    writeBinx(file, output.stream(), range, skip_ignored);
    output.commit();
    if (hide) VELT_Utils::hideFile(path.string());
}

} // namespace ertkit
