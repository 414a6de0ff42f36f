// The time-series queries of a recording, answered from its assembled starts.

#include <fullwave/IAB_VMN_File.h>

#include <fullwave/IAB_VMN_FileStorage.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace {

std::vector<std::uint64_t> indexesUpTo(std::uint64_t count)
{
    std::vector<std::uint64_t> out(count);
    std::iota(out.begin(), out.end(), std::uint64_t{0});
    return out;
}

// Layout rows: the injection electrodes are rows 0 and 1; channel c is measured between
// rows c + 2 and c + 3.
unsigned int electrodeRow(std::uint64_t channel, ElectrodeName e)
{
    const auto value = static_cast<unsigned int>(e);
    return value < 2 ? value : value + static_cast<std::uint32_t>(channel);
}

} // namespace

const IAB_VMN_FileHeader& IAB_VMN_File::getHeader(std::uint64_t start) const
{
    return *storage().starts.at(start).header;
}

std::uint64_t IAB_VMN_File::getNHeader() const
{
    return storage().starts.size();
}

std::uint64_t IAB_VMN_File::getNData(std::uint64_t start) const
{
    return storage().starts.at(start).n_pages;
}

DeviceType_t IAB_VMN_File::getType() const
{
    if (!is_vmn) return DeviceType_t::CurrentReceiver;
    // A voltage reader stopped before its first configuration page has no set-up to tell
    // its kind by: it reports the plain voltage receiver.
    if (storage().starts.empty()) return DeviceType_t::VoltageReceiver;
    const auto config = static_cast<std::uint32_t>(getHeader(0).get_config());
    if (config & 0x00F000E0u) return static_cast<DeviceType_t>(3);
    if (config & 0x00030000u) return static_cast<DeviceType_t>(4);
    return DeviceType_t::VoltageReceiver;
}

std::vector<std::uint64_t> IAB_VMN_File::getNStart() const
{
    return indexesUpTo(getNStarts());
}

unsigned short IAB_VMN_File::getSerialNumber() const
{
    return m_serial;
}

unsigned short IAB_VMN_File::getUserSerialNumber() const
{
    return m_user_serial;
}

std::vector<std::uint64_t> IAB_VMN_File::getNChannel(Start start) const
{
    return indexesUpTo(getNChannels(start));
}

std::uint64_t IAB_VMN_File::getNChannels(Start start) const
{
    return getHeader(start).get_n_channel();
}

HighPrecisionTime IAB_VMN_File::getStartTime(Start start) const
{
    const auto date = static_cast<std::int32_t>(getHeader(start).get_header().get_date());
    const int gmt = getGmtOffset(start);
    // 32-bit arithmetic as the receivers' time base has it; a damaged header could make it
    // overflow, so it wraps explicitly instead of being undefined.
    const auto seconds = static_cast<std::int32_t>(static_cast<std::uint32_t>(
        static_cast<std::int64_t>(date) - static_cast<std::int64_t>(gmt) - 1));
    const HighPrecisionTime t0 = HighPrecisionTime::fromVarnelTimestamp(seconds, 0);
    const Start_& s = checkedStart(start);
    if (s.n_pages == 0) return t0;
    return t0 + getSampleTime(start) * static_cast<std::int64_t>(s.first_number);
}

HighPrecisionTime IAB_VMN_File::getSampleTime(Start /*start*/) const
{
    return HighPrecisionTime(0, 10000000);
}

double IAB_VMN_File::getRsCheck(Start start, Channel channel) const
{
    return getHeader(start).get_rs(static_cast<unsigned int>(channel));
}

double IAB_VMN_File::getTxCurrent(Start start) const
{
    return getHeader(start).get_in_rx();
}

double IAB_VMN_File::getMaxRxV(Start start, Channel /*channel*/) const
{
    return getHeader(start).get_max_rx();
}

bool IAB_VMN_File::isMNused(Start /*start*/, Channel /*channel*/) const
{
    return true;
}

bool IAB_VMN_File::isGpsEnabled(Start /*start*/) const
{
    return true;
}

int IAB_VMN_File::getGmtOffset(Start start) const
{
    // Hours to seconds in single precision, then truncated toward zero. A damaged header
    // can hold any float: values no int can hold saturate, and NaN counts as no offset,
    // instead of an undefined conversion.
    const float seconds = getHeader(start).get_gmt_offset() * 3600.0f;
    if (std::isnan(seconds)) return 0;
    if (seconds >= 2147483648.0f) return std::numeric_limits<int>::max();
    if (seconds <= -2147483648.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(seconds);
}

double IAB_VMN_File::getRxBat(Start start) const
{
    return getHeader(start).get_bat() / 10.0;
}

double IAB_VMN_File::getRxTemp(Start start) const
{
    return getHeader(start).get_temp();
}

double IAB_VMN_File::getTxTemp(Start /*start*/) const
{
    return -300.0;
}

int IAB_VMN_File::getMultiTxKey(Start start) const
{
    return getHeader(start).get_multi_tx_key();
}

double IAB_VMN_File::getGpsX(Start start) const
{
    return getHeader(start).get_gps_lat();
}

double IAB_VMN_File::getGpsY(Start start) const
{
    return getHeader(start).get_gps_long();
}

double IAB_VMN_File::getGpsZ(Start start) const
{
    return getHeader(start).get_gps_altitude();
}

GeoSpec IAB_VMN_File::getGpsSpec(Start /*start*/) const
{
    return GeoSpec(false, 0, GeoSpec::GPS, false, 0);
}

double IAB_VMN_File::getOffsetX(Start start) const
{
    return getHeader(start).get_move().first;
}

double IAB_VMN_File::getOffsetY(Start start) const
{
    return getHeader(start).get_move().second;
}

double IAB_VMN_File::getElectrodeX(Start start, Channel channel, ElectrodeName e) const
{
    return getHeader(start).get_electrodes_offsets(electrodeRow(channel, e)).first;
}

double IAB_VMN_File::getElectrodeY(Start start, Channel channel, ElectrodeName e) const
{
    return getHeader(start).get_electrodes_offsets(electrodeRow(channel, e)).second;
}

double IAB_VMN_File::getElectrodeZ(Start /*start*/, Channel /*channel*/, ElectrodeName /*e*/) const
{
    return 0.0;
}

double IAB_VMN_File::getElectrodeDepth(Start /*start*/, Channel /*channel*/, ElectrodeName /*e*/) const
{
    return 0.0;
}

GeoSpec IAB_VMN_File::getElectrodeSpec(Start /*start*/, Channel channel, ElectrodeName e) const
{
    return GeoSpec(false, electrodeRow(channel, e), GeoSpec::LAYOUT_ROW, false, 0);
}

bool IAB_VMN_File::hasSexagesimalGpsLatLong() const
{
    return true;
}

bool IAB_VMN_File::isV(Start /*start*/, Channel /*channel*/) const
{
    return is_vmn;
}

bool IAB_VMN_File::isTxUsed(Start /*start*/) const
{
    return !is_vmn;
}
