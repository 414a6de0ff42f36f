// BINX record values set by name from Python, in the units the record table reads them back.

#include "BinxCore.h"
#include "Times.h"

#include <services/WindowTimes.h>

#include <pybind11/stl.h>

#include <array>
#include <functional>
#include <limits>
#include <map>

namespace ertkit_py {

namespace {

using Setter = std::function<void(BINX_Data&, py::handle)>;

template <typename T, typename Member>
Setter store(Member member)
{
    return [member](BINX_Data& d, py::handle value) { d.*member = value.cast<T>(); };
}

void setElectrodes(BINX_Data& d, py::handle value)
{
    const auto points = value.cast<std::vector<std::array<double, 3>>>();
    if (points.size() != 4) throw py::value_error("electrodes: four (x, y, z) points, for A, B, M and N");
    for (int e = 0; e < 4; ++e) d.quadrupole.setXYZ(static_cast<ElectrodeName>(e), points[e][0], points[e][1], points[e][2]);
}

void setWindows(BINX_Data& d, py::handle value)
{
    const auto windows = value.cast<std::vector<double>>();
    if (windows.size() > BINX_Data::N_WINDOWS) throw py::value_error("a BINX record has at most 20 windows");
    d.mppx.fill(0.0);
    std::copy(windows.begin(), windows.end(), d.mppx.begin());
    d.nTM = static_cast<std::uint32_t>(windows.size());
}

// t0 then the end of each window in ms, as the table's t columns give them.
void setWindowTimes(BINX_Data& d, py::handle value)
{
    ertkit::writeWindowTimes(d, value.cast<std::vector<double>>());
}

void setStartTime(BINX_Data& d, py::handle value)
{
    const auto ns = py::module_::import("numpy").attr("datetime64")(value, "ns").attr("astype")("int64").cast<std::int64_t>();
    // NaT (int64's minimum) is no time: the stored number 0, which the table reads back as NaT.
    if (ns == std::numeric_limits<std::int64_t>::min()) {
        d.startTimeV = d.startTimeI = 0.0;
        return;
    }
    d.startTimeV = d.startTimeI = HighPrecisionTime::convertDateTime(fromUnixNanoseconds(ns));
}

bool takesWholeNumbers(const Setter& setter)
{
    BINX_Data scratch;
    try {
        setter(scratch, py::int_(0));
        return true;
    } catch (const py::cast_error&) {
        return false;
    }
}

// A value of the wrong type is a TypeError, a whole number the field cannot hold a ValueError; the
// message names the field either way.
[[noreturn]] void refuse(const std::string& name, const Setter& setter, py::handle value)
{
    const std::string shown = py::repr(value).cast<std::string>();
    if (PyLong_Check(value.ptr()) != 0 && takesWholeNumbers(setter)) throw py::value_error(name + ": " + shown + " is out of the field's range");
    throw py::type_error(name + ": " + shown + " is not a value of the field's type (" +
                         py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>() + ")");
}

const std::map<std::string, Setter>& setters()
{
    static const std::map<std::string, Setter> table = {
        {"electrodes", setElectrodes},
        {"vp_mV", store<double>(&BINX_Data::polarizationVoltage)},
        {"i_mA", store<double>(&BINX_Data::injectedCurrent)},
        {"m_mV_V", store<double>(&BINX_Data::ip)},
        {"sp_mV", store<double>(&BINX_Data::spontaneousPotential)},
        {"vp_deviation", store<double>(&BINX_Data::polarizationVoltageDeviation)},
        {"m_deviation", store<double>(&BINX_Data::ipDeviation)},
        {"windows", setWindows},
        {"window_times", setWindowTimes},
        {"stacks", store<std::uint32_t>(&BINX_Data::nStack)},
        {"start_time", setStartTime},
        {"ignore", store<bool>(&BINX_Data::ignore)},
        {"serial_v", store<std::uint32_t>(&BINX_Data::serialNumberV)},
        {"user_serial_v", store<std::uint16_t>(&BINX_Data::userSerialNumberV)},
        {"serial_i", store<std::uint32_t>(&BINX_Data::serialNumberI)},
        {"user_serial_i", store<std::uint16_t>(&BINX_Data::userSerialNumberI)},
        {"chan_v", store<std::int32_t>(&BINX_Data::chanV)},
        {"chan_i", store<std::int32_t>(&BINX_Data::chanI)},
        {"injection_code", store<std::uint8_t>(&BINX_Data::injectionCode)},
        {"sampling_rate_code", store<std::uint32_t>(&BINX_Data::samplingRateCode)},
        {"pulse_ms", store<std::int32_t>(&BINX_Data::pulseDurationMs)},
        {"key_text_1", store<std::string>(&BINX_Data::keyText1)},
        {"key_text_2", store<std::string>(&BINX_Data::keyText2)},
        {"orig_file", store<std::string>(&BINX_Data::origFile)},
    };
    return table;
}

} // namespace

void setBinxFields(BINX_Data& record, const py::dict& fields)
{
    const auto& table = setters();
    // All names are checked before anything changes.
    for (const auto& [name, value] : fields)
        if (table.find(name.cast<std::string>()) == table.end())
            throw py::type_error("no BINX record field " + name.cast<std::string>());
    if (fields.contains("windows") && fields.contains("window_times") &&
        py::len(fields["windows"]) + 1 != py::len(fields["window_times"]))
        throw py::value_error("window_times needs one value more than windows");
    BINX_Data changed = record;
    const auto set = [&](const std::string& name, py::handle value) {
        const Setter& setter = table.at(name);
        try {
            setter(changed, value);
        } catch (const py::cast_error&) {
            refuse(name, setter, value);
        }
    };
    // The sample period first: window times are converted with it.
    if (fields.contains("sampling_rate_code")) set("sampling_rate_code", fields["sampling_rate_code"]);
    for (const auto& [name, value] : fields) set(name.cast<std::string>(), value);
    record = std::move(changed);
}

RecordCore newBinxRecord(const py::dict& fields)
{
    auto record = std::make_shared<BINX_Data>();
    setBinxFields(*record, fields);
    return RecordCore(record, 0);
}

} // namespace ertkit_py
