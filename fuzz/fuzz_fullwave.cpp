// Any bytes as a recording, and any text as a recording's file name. The reader answers the
// same samples three ways (per channel, whole start, page objects); any disagreement traps.

#include <fullwave/IAB_VMN_File.h>

#include "FuzzSupport.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <sstream>
#include <string>

namespace {

void require(bool ok)
{
    if (!ok) __builtin_trap();
}

// Bit for bit, so that NaN samples compare too.
bool same(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// fillStart, whole and over a range the input picks, against fillData, fillOverload, fillPPS and
// the page objects of the start.
void checkStart(const IAB_VMN_File& file, std::uint64_t start, std::uint8_t pick)
{
    const std::uint64_t samples = file.getNsample(start);
    if (samples == 0) {
        // The header may claim any channel count; without samples nothing is asked for.
        file.fillStart(start, {}, {}, {});
        return;
    }
    const std::uint64_t n = file.getNChannels(start);
    std::vector<double> values(samples * n);
    const std::unique_ptr<bool[]> overloads(new bool[samples * n]);
    const std::unique_ptr<bool[]> pps(new bool[samples]);
    file.fillStart(start, values, {overloads.get(), samples * n}, {pps.get(), samples});

    std::vector<double> channel;
    std::vector<bool> flags;
    for (std::uint64_t c = 0; c < n; ++c) {
        file.fillData(start, c, channel);
        file.fillOverload(start, c, flags);
        require(channel.size() == samples && flags.size() == samples);
        for (std::uint64_t k = 0; k < samples; ++k) require(same(channel[k], values[k * n + c]) && flags[k] == overloads[k * n + c]);
    }
    file.fillPPS(start, flags);
    require(flags.size() == samples);
    for (std::uint64_t k = 0; k < samples; ++k) require(flags[k] == pps[k]);

    const std::uint64_t first = samples * pick / 256;
    const std::uint64_t count = std::min<std::uint64_t>(samples - first, 1 + pick * 7);
    std::vector<double> part(count * n);
    const std::unique_ptr<bool[]> part_overloads(new bool[count * n]);
    const std::unique_ptr<bool[]> part_pps(new bool[count]);
    file.fillStart(start, first, count, part, {part_overloads.get(), count * n}, {part_pps.get(), count});
    for (std::uint64_t k = 0; k < count; ++k) {
        for (std::uint64_t c = 0; c < n; ++c) {
            const std::uint64_t at = (first + k) * n + c;
            require(same(part[k * n + c], values[at]) && part_overloads[k * n + c] == overloads[at]);
        }
        require(part_pps[k] == pps[first + k]);
    }

    std::uint64_t k = 0;
    for (std::uint64_t i = 0; i < file.getNData(start); ++i) {
        const IAB_VMN_FileData& page = file.getData(start, i);
        require(&page == &file.getData(start, i));
        for (const IAB_VMN_PageData& block : page.getData()) {
            require(k < samples && block.get_n_channel() == n && block.get_has_PPS() == pps[k]);
            for (unsigned int c = 0; c < n; ++c)
                require(same(static_cast<double>(block.get_value(c)), values[k * n + c]) && block.get_overload(c) == overloads[k * n + c]);
            ++k;
        }
    }
    require(k == samples);
}

} // namespace

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
            // The checks themselves must not throw: every argument they pass is valid.
            try {
                checkStart(file, start, data[size - 1]);
            } catch (...) {
                __builtin_trap();
            }
        }
    } catch (const std::exception&) {
    }
    return 0;
}
