#include <host/Result_Reader.h>

const std::uint64_t Result_Reader::s_reading_file_text_id = 2;

// Raw values are the reader's values: this host applies no correction of its own.
double Result_Reader::getGridOrientationRaw(bool side) const
{
    return getGridOrientation(side);
}

double Result_Reader::getElectrodeRawX(ElectrodeName e) const
{
    return getElectrodeX(e);
}

double Result_Reader::getElectrodeRawY(ElectrodeName e) const
{
    return getElectrodeY(e);
}

double Result_Reader::getElectrodeRawZ(ElectrodeName e) const
{
    return getElectrodeZ(e);
}

double Result_Reader::getElectrodeRawDepth(ElectrodeName e) const
{
    return getElectrodeDepth(e);
}
