#pragma once

#include <cstdint>
#include <fstream>

// The transmitter's status as a result record keeps it: three status registers and five
// alarm flags. Records before version 6 pack it into one 32-bit word.
class BINX_TxStatus {
public:
    BINX_TxStatus() = default;
    // `version` is the enclosing record's: below 6 the packed word, from 6 one byte per member.
    BINX_TxStatus(std::ifstream& in, unsigned int version);

    // Always one byte per member, in member order.
    void writeToFile(std::ostream& out) const;

    unsigned char getStatRegC() const { return statRegC; }
    unsigned char getStatRegI() const { return statRegI; }
    unsigned char getStatRegP() const { return statRegP; }
    bool isEmergency() const { return emergency; }
    bool isOverCurrent() const { return overCurrent; }
    bool isOpenLine() const { return openLine; }
    bool isOverHeat() const { return overHeat; }
    bool isLowBattery() const { return lowBattery; }

    void setStatRegC(unsigned char value) { statRegC = value; }
    void setStatRegI(unsigned char value) { statRegI = value; }
    void setStatRegP(unsigned char value) { statRegP = value; }
    void setEmergency(bool value) { emergency = value; }
    void setOverCurrent(bool value) { overCurrent = value; }
    void setOpenLine(bool value) { openLine = value; }
    void setOverHeat(bool value) { overHeat = value; }
    void setLowBattery(bool value) { lowBattery = value; }

    friend bool operator==(const BINX_TxStatus&, const BINX_TxStatus&) = default;

    std::uint8_t statRegC = 0;
    std::uint8_t statRegI = 0;
    std::uint8_t statRegP = 0;
    bool emergency = false;
    bool overCurrent = false;
    bool openLine = false;
    bool overHeat = false;
    bool lowBattery = false;
};
