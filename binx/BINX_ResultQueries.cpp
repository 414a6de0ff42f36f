// The host's result queries that BINX_Data answers from more than one stored value.

#include <binx/BINX_Data.h>

#include <host/InjectionTables.h>
#include <host/MessageException.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Sample periods of the codes 1 to 13.
const std::array<HighPrecisionTime, 13> s_sample_periods = {
    HighPrecisionTime::s_second * 10,     HighPrecisionTime::s_second * 5,      HighPrecisionTime::s_second * 2,
    HighPrecisionTime::s_second * 1,      HighPrecisionTime::s_tenth * 5,       HighPrecisionTime::s_tenth * 2,
    HighPrecisionTime::s_tenth * 1,       HighPrecisionTime::s_hundredth * 5,   HighPrecisionTime::s_hundredth * 2,
    HighPrecisionTime::s_hundredth * 1,   HighPrecisionTime::s_millisecond * 5, HighPrecisionTime::s_millisecond * 2,
    HighPrecisionTime::s_millisecond * 1,
};

const char* const s_invalid_sampling_rate = "invalid sampling rate";

// The host's electrode arrangement of each stored code 0 to 23.
constexpr std::array<int, 24> s_disposition_of_code = {10, 11, 12, 17, 4,  5,  7,  8, 20, 1,  0,  9,
                                                       18, 13, 19, 14, 6, 3, 15, 16, 22, 23, 24, 21};
constexpr std::uint16_t s_unknown_disposition_code = 10;

// Above this many samples per cycle the stored half period was decimated by a power of two.
constexpr std::uint64_t s_max_undecimated_samples = 1600;

} // namespace

HighPrecisionTime BINX_Data::getSampleTime(bool) const
{
    if (samplingRateCode == 0) return HighPrecisionTime::s_hundredth;
    if (samplingRateCode > s_sample_periods.size()) throw MessageException(s_invalid_sampling_rate);
    return s_sample_periods[samplingRateCode - 1];
}

BINX_Data::SamplingRate BINX_Data::getSamplingRate(const HighPrecisionTime& period)
{
    for (std::size_t i = 0; i < s_sample_periods.size(); ++i)
        if (s_sample_periods[i] == period) return static_cast<SamplingRate>(i + 1);
    throw MessageException(s_invalid_sampling_rate);
}

std::uint32_t BINX_Data::getStackSize(bool side) const
{
    const auto factor = static_cast<std::int64_t>(InjectionData::getDutyCycleFactor(getInjectionType()));
    const HighPrecisionTime cycle = HighPrecisionTime::s_millisecond * (factor * std::int64_t{pulseDurationMs});
    return static_cast<std::uint32_t>(cycle / getSampleTime(side));
}

std::uint64_t BINX_Data::getNStack(bool side) const
{
    const auto n = static_cast<std::int32_t>(nStack);
    const std::int32_t half = side ? n / 2 + n % 2 : n / 2;
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(half));
}

void BINX_Data::fillStackData(bool wanted, std::vector<double>& out) const
{
    out.clear();
    const std::uint32_t n = getStackSize(wanted);
    if (!wanted) {
        out.assign(n, 0.0);
        return;
    }
    std::uint64_t decimation = 1;
    if (n > s_max_undecimated_samples) {
        decimation = 2;
        while (n / decimation > s_max_undecimated_samples) decimation *= 2;
    }
    out.assign(n, 0.0);
    if (n < 2) return;
    const std::uint32_t half = n / 2;
    const bool positive_first = computationType != 0 || polarizationVoltage > 0;
    std::size_t k = 0;
    std::uint64_t j = 0;
    // When n lies in [1600 d + 2, 1601 d - 1] (d >= 4, e.g. n = 6402) the last steps of the walk reach
    // k = 800, one past the stored samples. Those steps hold the last stored sample instead, as the
    // interpolation already does where the right-hand neighbour is missing; every step with k < 800
    // is unchanged.
    const std::size_t last = stackData.size() - 1;
    for (std::uint32_t i = 0; i < half; ++i) {
        const std::size_t at = std::min(k, last);
        double v = stackData[at];
        if (decimation > 1 && at + 1 < stackData.size())
            v = (double{stackData[at]} * static_cast<double>(decimation - j) +
                 double{stackData[at + 1]} * static_cast<double>(j)) /
                static_cast<double>(decimation);
        const double s = v / 1000;
        out[i] = positive_first ? s : -s;
        out[i + half] = positive_first ? -s : s;
        if (++j == decimation) {
            j = 0;
            ++k;
        }
    }
}

void BINX_Data::fillStackError(bool wanted, std::vector<double>& out) const
{
    out.assign(getStackSize(wanted), 0.0);
}

void BINX_Data::fillStackSampleIndexes(bool wanted, std::vector<std::pair<std::uint64_t, StackPhase>>& out) const
{
    out.clear();
    out.assign(nStack + 2, {0, StackPhase::Positive});
    const bool positive = polarizationVoltage > 0;
    std::uint64_t half = 0;
    try {
        if (wanted) half = getStackSize(true) / 2;
        else static_cast<void>(getStackSize(false));
    } catch (const std::exception&) {
        // An unknown sample period: the half cycle is taken from the pulse length alone.
        if (wanted) half = static_cast<std::uint32_t>(std::int64_t{pulseDurationMs} * 4 / 10 / 2);
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        const bool even = i % 2 == 0;
        out[i].second = (even == positive) ? StackPhase::Positive : StackPhase::Negative;
        if (wanted) out[i].first = static_cast<std::uint64_t>(i) * half;
    }
}

void BINX_Data::fillTM(std::vector<std::uint64_t>& out) const
{
    out.assign(std::size_t{nTM} + 1, 0);
    out[0] = static_cast<std::uint64_t>(tmDelay / 10);
    const std::size_t valid = std::min<std::size_t>(N_WINDOWS, nTM);
    for (std::size_t i = 0; i < valid; ++i) out[i + 1] = out[i] + static_cast<std::uint64_t>(tm[i] / 10);
}

std::uint64_t BINX_Data::getVDelay() const
{
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(vDelay / 10));
}

std::uint64_t BINX_Data::getVEnd() const
{
    return InjectionFrequencyList::get8s()->getVEnd(getSampleTime(true));
}

namespace {

// Chargeability is answered for injection type 0 when asked for it, and for the other
// types when asked for those.
bool answersChargeability(bool asked_full_duty, InjectionType type)
{
    return asked_full_duty == (type == InjectionType::FullDutyCycle);
}

} // namespace

double BINX_Data::getIp(bool, bool second) const
{
    return answersChargeability(second, getInjectionType()) ? ip / 1000 : 0.0;
}

double BINX_Data::getIpError(bool, bool second) const
{
    return answersChargeability(second, getInjectionType()) ? std::numbers::sqrt2 * ipDeviation : 0.0;
}

void BINX_Data::fillMIp(bool, bool second, std::vector<double>& out) const
{
    out.clear();
    if (!answersChargeability(second, getInjectionType())) {
        out.assign(nTM, 0.0);
        return;
    }
    const std::size_t valid = std::min<std::size_t>(N_WINDOWS, nTM);
    for (std::size_t i = 0; i < valid; ++i) out.push_back(mppx[i] / 1000);
}

double BINX_Data::getPolarizationVoltageError(bool) const
{
    return std::fabs(polarizationVoltage) * polarizationVoltageDeviation * std::numbers::sqrt2 / 100;
}

InjectionType BINX_Data::getInjectionType() const
{
    switch (injectionCode) {
    case 0:
    case 2:
    case 4:
        return static_cast<InjectionType>(1);
    case 1:
    case 3:
    case 5:
        return static_cast<InjectionType>(0);
    default:
        return static_cast<InjectionType>(2);
    }
}

HighPrecisionTime BINX_Data::getStartTime(bool side) const
{
    return HighPrecisionTime::convertDateTime(side ? startTimeV : startTimeI);
}

unsigned short BINX_Data::getSerialNumber(bool side) const
{
    return static_cast<unsigned short>(side ? serialNumberV : serialNumberI);
}

std::uint64_t BINX_Data::getChan(bool side) const
{
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(side ? chanV : chanI));
}

DeviceType_t BINX_Data::getType(bool side) const
{
    if (side && vmnPathIndex != NO_PATH) return static_cast<DeviceType_t>(2);
    if (!side && iabPathIndex != NO_PATH) return static_cast<DeviceType_t>(1);
    int type = 0;
    if (deviceCode >= -9 && deviceCode <= -1) type = deviceCode + 18;
    else if (deviceCode >= 1 && deviceCode <= 3) type = 18;
    else if (deviceCode == 4) type = 6;
    else if (deviceCode == 6) type = 5;
    else if (deviceCode == 7) type = side ? 2 : 1;
    else if (deviceCode >= 8 && deviceCode <= 10) type = deviceCode + 12;
    return static_cast<DeviceType_t>(type);
}

ElectrodeDisposition BINX_Data::getElectrodeDisposition() const
{
    const int disposition =
        electrodeDispositionCode < s_disposition_of_code.size() ? s_disposition_of_code[electrodeDispositionCode] : 0;
    return static_cast<ElectrodeDisposition>(disposition);
}

void BINX_Data::setElectrodeDisposition(ElectrodeDisposition disposition)
{
    const int value = static_cast<int>(disposition);
    // Arrangement 2 has no code of its own and shares that of arrangement 1.
    const int wanted = value == 2 ? 1 : value;
    const auto* found = std::find(s_disposition_of_code.begin(), s_disposition_of_code.end(), wanted);
    electrodeDispositionCode = found != s_disposition_of_code.end()
                                   ? static_cast<std::uint16_t>(found - s_disposition_of_code.begin())
                                   : s_unknown_disposition_code;
}

std::uint64_t BINX_Data::getElectrodeNum(ElectrodeName e) const
{
    const std::uint32_t index = quadrupole.getGeoSpec(e).get_elec_index();
    if (index != 0) return index;
    const auto e_value = static_cast<std::uint32_t>(e);
    if (e == ElectrodeName::A || e == ElectrodeName::B) return e_value;
    return std::uint32_t{e_value + static_cast<std::uint32_t>(chanV)};
}

bool BINX_Data::getElectrodeOfV(ElectrodeName e) const
{
    if (startTimeI == 0.0) return true;
    return e != ElectrodeName::A && e != ElectrodeName::B;
}

GeoSpec BINX_Data::getElectrodeSpec(ElectrodeName e) const
{
    const BINX_GeoSpec& spec = quadrupole.getGeoSpec(e);
    return GeoSpec(spec.get_unused_node(), spec.get_elec_index(), spec.get_geo_type(), spec.get_north_hemisphere(),
                   spec.get_utm_zone());
}

GeographicPoint BINX_Data::getGridGeo() const
{
    const BINX_GeoSpec& spec = grid.getGeoSpec();
    switch (spec.get_geo_type()) {
    case GeoSpec::GPS:
        return GeographicPoint(grid.getX(), grid.getY(), grid.getZ(), 0.0);
    case GeoSpec::UTM:
        return GeographicPoint(spec.get_north_hemisphere(), spec.get_utm_zone(), grid.getX(), grid.getY(), grid.getZ(), 0.0);
    default:
        return GeographicPoint();
    }
}
