#include <services/SampleUnit.h>

namespace ertkit {

const char* sampleUnit(const IV_File_Reader& reader)
{
    return reader.getType() == DeviceType_t::CurrentReceiver ? "mA" : "mV";
}

} // namespace ertkit
