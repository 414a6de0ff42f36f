#include <host/IV_File_Reader.h>

#include <host/Registry.h>

const std::uint64_t IV_File_Reader::s_reading_file_page_text_id = 1;

IV_File_Reader::~IV_File_Reader() = default;

std::uint64_t IV_File_Reader::getNStarts() const
{
    return getNStart().size();
}

std::uint64_t IV_File_Reader::getNChannels(Start start) const
{
    return getNChannel(start).size();
}

// Raw values are the reader's values: this host applies no correction of its own.
double IV_File_Reader::getGridOrientationRaw(Start start) const
{
    return getGridOrientation(start);
}

double IV_File_Reader::getElectrodeRawX(Start start, Channel channel, ElectrodeName e) const
{
    return getElectrodeX(start, channel, e);
}

double IV_File_Reader::getElectrodeRawY(Start start, Channel channel, ElectrodeName e) const
{
    return getElectrodeY(start, channel, e);
}

double IV_File_Reader::getElectrodeRawZ(Start start, Channel channel, ElectrodeName e) const
{
    return getElectrodeZ(start, channel, e);
}

double IV_File_Reader::getElectrodeRawDepth(Start start, Channel channel, ElectrodeName e) const
{
    return getElectrodeDepth(start, channel, e);
}

std::uint64_t IV_File_Reader::registerFileReader(std::string type_name, std::vector<std::string> extensions, Factory factory)
{
    return host::registry().addFileReader(std::move(type_name), std::move(extensions), factory);
}
