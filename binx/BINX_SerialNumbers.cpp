// Old records lack the receivers' serial numbers: they are taken from the names of the
// full-wave recordings the record refers to.

#include <binx/BINX_Data.h>

#include <fullwave/IAB_VMN_File.h>
#include <host/VELTLogger.h>

#include <stdexcept>

namespace {

const std::string& recordingName(const std::vector<std::string>& names, std::uint32_t index)
{
    if (index >= names.size()) throw std::out_of_range("invalid vector subscript");
    return names[index];
}

// Runs one side's fill-in; a failure is logged and leaves that side as it was.
template <typename Fill>
void fillSide(const char* side, Fill fill)
{
    try {
        fill();
    } catch (const std::exception& e) {
        VELTLogger::error() << "BINX_Data::BINX_Data" << side << VELTLogger::oneLine(e.what()) << std::endl;
    }
}

} // namespace

void BINX_Data::fillSerialNumbers(const std::vector<std::string>& names)
{
    if (vmnPathIndex != NO_PATH && serialNumberV == 0 && userSerialNumberV == 0) {
        fillSide(" : get serial v ", [&] {
            unsigned short serial = 0;
            unsigned short user_serial = 0;
            bool is_vmn = true;
            IAB_VMN_File::GetSerials(recordingName(names, vmnPathIndex), serial, user_serial, is_vmn);
            serialNumberV = serial;
            userSerialNumberV = user_serial;
        });
    }
    if (iabPathIndex != NO_PATH && serialNumberI == 0 && userSerialNumberI == 0) {
        fillSide(" : get serial i ", [&] {
            unsigned short serial = 0;
            unsigned short user_serial = 0;
            bool is_vmn = false;
            HighPrecisionTime start;
            IAB_VMN_File::GetSerials(recordingName(names, iabPathIndex), serial, user_serial, is_vmn, start);
            serialNumberI = serial;
            userSerialNumberI = user_serial;
            startTimeI = HighPrecisionTime::convertDateTime(start);
        });
    }
}
