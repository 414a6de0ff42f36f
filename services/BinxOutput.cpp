#include <services/BinxOutput.h>

#include <services/AtomicOutput.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace ertkit {

namespace {

bool sameBytes(const std::filesystem::path& a, const std::filesystem::path& b)
{
    if (std::filesystem::file_size(a) != std::filesystem::file_size(b)) return false;
    std::ifstream in_a(a, std::ios::binary), in_b(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(in_a), std::istreambuf_iterator<char>(), std::istreambuf_iterator<char>(in_b));
}

// Whether the library reads the file back and writes it again to the same bytes.
bool readsBackWhole(const std::filesystem::path& written)
{
    try {
        const BINX_File again(written.string());
        AtomicOutput copy(written); // never committed: its temporary file goes with it
        again.writeToFile(copy.create().string(), false, 0, -1, false);
        return sameBytes(written, copy.temporaryPath());
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

void writeBinx(const BINX_File& file, const std::filesystem::path& path, RecordRange range, bool skip_ignored, bool hide)
{
    AtomicOutput output(path);
    file.writeToFile(output.create().string(), hide, range.first, range.last, skip_ignored);
    output.commit([&](const std::filesystem::path& written) {
        if (readsBackWhole(written)) return;
        if (const int error = noSpaceLeft(path)) throw WriteError(path, "cannot write " + path.string() + ": " + std::strerror(error), error);
        throw WriteError(path, "cannot write " + path.string() + ": the written file does not read back whole");
    });
}

} // namespace ertkit
