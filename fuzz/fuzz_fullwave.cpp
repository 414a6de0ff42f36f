// Any bytes as a recording, and any text as a recording's file name.

#include <fullwave/IAB_VMN_File.h>

#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ertkit_fuzz::silenceLogger();
    if (size == 0) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        unsigned short serial = 0, user_serial = 0;
        bool is_vmn = false;
        HighPrecisionTime time;
        try {
            IAB_VMN_File::GetSerials(bytes, serial, user_serial, is_vmn, time);
        } catch (const std::exception&) {
        }
        return 0;
    }
    std::istringstream stream(bytes);
    try {
        const IAB_VMN_File file(stream, 1, 2, data[0] & 2);
        for (std::uint64_t start = 0; start < file.getNStarts(); ++start) {
            std::vector<double> values;
            std::vector<bool> flags;
            for (std::uint64_t channel = 0; channel < file.getNChannels(start) && channel < 16; ++channel) {
                file.fillData(start, channel, values);
                file.fillOverload(start, channel, flags);
            }
            file.fillPPS(start, flags);
            (void)file.getDataContainer(start);
            (void)file.getStartTime(start);
            (void)file.getType();
        }
    } catch (const std::exception&) {
    }
    return 0;
}
