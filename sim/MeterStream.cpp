#include <sim/MeterStream.h>

#include <cstring>

namespace ertkit_sim {

namespace {

constexpr std::uint32_t s_end_index = 0xFFFFFFFF;

void appendObject(std::vector<std::uint8_t>& out, const void* object, std::size_t size)
{
    const std::size_t at = out.size();
    out.resize(at + size);
    std::memcpy(out.data() + at, object, size);
}

} // namespace

void appendWord(std::vector<std::uint8_t>& out, std::uint32_t word)
{
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(word >> shift));
}

std::vector<std::uint8_t> handshakeBytes(std::uint32_t version, std::uint32_t size)
{
    std::vector<std::uint8_t> bytes;
    appendWord(bytes, version);
    appendWord(bytes, size);
    return bytes;
}

std::size_t slotRecordOffset(std::uint32_t version)
{
    return version == 3 ? 8 : 4;
}

std::size_t slotRecordSize(std::uint32_t version)
{
    return version == 1 ? TarvexKesta_File::TMeasure::s_size : TarvexKesta_File::TZMeasure::s_size;
}

std::vector<std::uint8_t> slotBytes(const MeterMemory& memory, std::uint32_t version, std::uint32_t index)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(3 * 4 + slotRecordSize(version));
    appendWord(bytes, index);
    if (version == 1) {
        const auto& measure = memory.measures.at(index);
        appendObject(bytes, &measure, TarvexKesta_File::TMeasure::s_size);
        appendWord(bytes, measure.byteSum());
        return bytes;
    }
    const auto& measure = memory.zmeasures.at(index);
    if (version == 3) appendWord(bytes, measure.time_stamp);
    appendObject(bytes, &measure, TarvexKesta_File::TZMeasure::s_size);
    appendWord(bytes, measure.byteSum());
    return bytes;
}

std::vector<std::uint8_t> meterStream(const MeterMemory& memory, std::uint32_t first, std::uint32_t last)
{
    std::vector<std::uint8_t> bytes = handshakeBytes(memory.version, memory.sizeWord());
    if (memory.isRaw()) {
        appendWord(bytes, static_cast<std::uint32_t>(memory.raw.size()));
        bytes.insert(bytes.end(), memory.raw.begin(), memory.raw.end());
        return bytes;
    }
    for (std::uint32_t index = first; index <= last && index < memory.slots(); ++index) {
        const std::vector<std::uint8_t> slot = slotBytes(memory, memory.version, index);
        bytes.insert(bytes.end(), slot.begin(), slot.end());
    }
    appendWord(bytes, s_end_index);
    return bytes;
}

} // namespace ertkit_sim
