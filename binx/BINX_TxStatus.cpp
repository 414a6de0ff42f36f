#include <binx/BINX_TxStatus.h>

#include <binx/BinaryInput.h>
#include <binx/BinaryOutput.h>

namespace {

bool bit(std::uint32_t word, int index)
{
    return ((word >> index) & 1u) != 0;
}

} // namespace

BINX_TxStatus::BINX_TxStatus(std::ifstream& in, unsigned int version)
{
    binx_io::BinaryInput io(in, binx_io::s_record_read_error);
    if (version < 6) {
        const auto word = io.get<std::uint32_t>();
        statRegC = static_cast<std::uint8_t>(word);
        statRegI = static_cast<std::uint8_t>(word >> 8);
        statRegP = static_cast<std::uint8_t>(word >> 16);
        emergency = bit(word, 24);
        overCurrent = bit(word, 25);
        openLine = bit(word, 26);
        overHeat = bit(word, 27);
        lowBattery = bit(word, 28);
        return;
    }
    io.read(statRegC);
    io.read(statRegI);
    io.read(statRegP);
    for (bool* flag : {&emergency, &overCurrent, &openLine, &overHeat, &lowBattery}) *flag = io.get<std::uint8_t>() != 0;
}

void BINX_TxStatus::writeToFile(std::ostream& out) const
{
    binx_io::BinaryOutput io(out);
    io.write(statRegC);
    io.write(statRegI);
    io.write(statRegP);
    for (bool flag : {emergency, overCurrent, openLine, overHeat, lowBattery}) io.write(static_cast<std::uint8_t>(flag ? 1 : 0));
}
