// Any bytes as what a meter sends during a download: the handshake, the record exchange with
// its checksums and retries, or a raw transfer; then the conversion of what came back to BINX
// records and, for a raw transfer, the full-wave file written and read again.
//
// Input: first index (2 bytes), span of the range (1 byte), a choice byte (name sent and port
// type), then the meter's bytes. The in-memory port ends every input quickly: once its bytes
// are used up the meter answers every index request with the end index.

#include <binx/BINX_File.h>
#include <download/TarvexKesta_File.h>
#include <fullwave/IAB_VMN_File.h>
#include <host/ProgressCallback.h>

#include "FuzzSupport.h"
#include <sim/MemoryPort.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr std::size_t s_header_size = 4;

class FuzzDownload : public TarvexKesta_File {
public:
    FuzzDownload(TPortVirt::TypePort type, LinkSettings link)
        : TarvexKesta_File([](TPortVirt::TypePort) { return false; }, [] {}, [] { return true; },
                           [](int, std::string) {}, type, "fuzz")
    {
        m_link = std::move(link);
    }
    bool broughtMeasures() const { return !m_tab_tmeasure.empty() || !m_tab_tzmeasure.empty(); }
};

TPortVirt::TypePort portType(std::uint8_t choice)
{
    // Mostly the USB link; now and then Wi-Fi (refused) or no link at all.
    switch ((choice >> 2) & 7) {
    case 6: return TPortVirt::WIFI;
    case 7: return static_cast<TPortVirt::TypePort>(2);
    default: return TPortVirt::USB;
    }
}

std::string nameOf(std::uint8_t choice)
{
    static const std::array<std::string, 4> names = {"L1", "*", "", "A-LONGER-LINE-NAME"};
    return names[choice & 3];
}

void readFullWaveBack(const FuzzDownload& download)
{
    static const std::string base = "/dev/shm/ertkit-fuzz-download-" + std::to_string(::getpid());
    download.writeFullWave(base);
    const std::string path = base + (download.isV() ? ".vmn" : ".iab");
    std::ifstream in(path, std::ios::binary);
    const IAB_VMN_File file(in, 1, 2, download.isV());
    for (std::uint64_t start = 0; start < file.getNStarts(); ++start) {
        std::vector<double> values;
        for (std::uint64_t channel = 0; channel < file.getNChannels(start) && channel < 16; ++channel)
            file.fillData(start, channel, values);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ertkit_fuzz::silenceLogger();
    // A raw transfer passes through <temporary folder>/Kelmor/tmp: give each fuzzer process a
    // folder of its own so that two of them never share that file.
    const std::string folder = "/dev/shm/ertkit-fuzz-download-tmp-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    ::setenv("TMPDIR", folder.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < s_header_size) return 0;
    const unsigned int first = data[0] | static_cast<unsigned int>(data[1]) << 8;
    const unsigned int last = first + data[2];
    const std::uint8_t choice = data[3];
    const ertkit_sim::MemoryLink link(std::vector<std::uint8_t>(data + s_header_size, data + size));
    FuzzDownload download(portType(choice), link.settings());
    DummyProgressCallback progress;
    try {
        download.download(first, last, progress, nameOf(choice));
        if (download.broughtMeasures()) {
            const BINX_File file(download);
            for (const BINX_Data* record : file.getDatas()) {
                std::vector<double> mip;
                record->fillMIp(false, false, mip);
            }
        }
        if (download.isContainFW()) readFullWaveBack(download);
    } catch (const std::exception&) {
    }
    return 0;
}
