// The result queries of a BIN record. A legacy record stores few of the values the host
// asks for; everything it lacks answers a fixed value.

#include <bin/BIN_Data.h>

#include <host/HostDefaults.h>
#include <host/InjectionTables.h>

#include <cmath>
#include <stdexcept>

namespace {

// Float to unsigned conversion as the 64-bit conversions of the compilers these files come
// from behave: truncation toward zero, negative values wrapping modulo 2^N. C++ leaves NaN,
// infinities and values beyond 64 bits undefined; they give 0 here.
template <typename U>
U truncateToUnsigned(double value)
{
    constexpr double two_to_63 = 9223372036854775808.0;
    const double t = std::trunc(value);
    if (std::isnan(t) || t >= 2.0 * two_to_63 || t < -two_to_63) return 0;
    if (t >= two_to_63) return static_cast<U>(static_cast<std::uint64_t>(t));
    return static_cast<U>(static_cast<std::uint64_t>(static_cast<std::int64_t>(t)));
}

constexpr HighPrecisionTime k_sample_period(0, 10000000);

} // namespace

// ---- stored values ----

bool BIN_Data::getIgnore() const { return m_ignore != 0; }
bool BIN_Data::getIgnoreM() const { return m_m == 9999.0f; }

ElectrodeDisposition BIN_Data::getElectrodeDisposition() const
{
    static constexpr int k_dispositions[] = {10, 11, 12, 17, 4, 5, 7, 8, 20, 1, 2, 9, 18, 13, 1, 14};
    constexpr int k_count = static_cast<int>(std::size(k_dispositions));
    const int code = m_disposition_code;
    return static_cast<ElectrodeDisposition>(code >= 0 && code < k_count ? k_dispositions[code] : 0);
}

double BIN_Data::getVAB() const { return m_vab; }
double BIN_Data::getRsCheck() const { return m_rs_check; }
double BIN_Data::getSpontaneousPotential() const { return m_spontaneous_potential; }
double BIN_Data::getTxCurrent(bool) const { return m_injected_current; }
double BIN_Data::getInjectedCurrent(bool side) const { return side ? m_injected_current : -m_injected_current; }
double BIN_Data::getPolarizationVoltage(bool side) const { return side ? m_polarization_voltage : -m_polarization_voltage; }
double BIN_Data::getGpsX(bool) const { return m_gps_x; }
double BIN_Data::getGpsY(bool) const { return m_gps_y; }
double BIN_Data::getRxBat(bool) const { return m_rx_bat / 10.0; }
double BIN_Data::getTxBat(bool) const { return m_tx_bat / 10.0; }
double BIN_Data::getRxTemp(bool) const { return m_temperature; }
double BIN_Data::getTxTemp(bool) const { return m_temperature; }
unsigned short BIN_Data::getSerialNumber(bool side) const { return side ? m_serial_v : m_serial_i; }
unsigned short BIN_Data::getUserSerialNumber(bool side) const { return side ? m_user_serial_v : m_user_serial_i; }
HighPrecisionTime BIN_Data::getStartTime(bool) const { return HighPrecisionTime::convertDateTime(m_start_time); }
std::uint64_t BIN_Data::getChan(bool side) const { return side ? m_channel : 0; }
std::uint64_t BIN_Data::getOverloadedSamples(bool side) const { return side && m_overload ? 1 : 0; }
bool BIN_Data::isGapFiller(bool side) const { return side && m_gap_filler; }
bool BIN_Data::isNoisy() const { return !m_not_noisy; }
std::string BIN_Data::getOrigFile() const { return std::string(m_orig_file.data(), m_orig_file.size()); }

// ---- chargeability windows ----

double BIN_Data::getIp(bool, bool second) const { return second ? 0.0 : m_m / 1000.0; }

void BIN_Data::fillMIp(bool, bool second, std::vector<double>& out) const
{
    out.assign(m_n_tm, 0.0);
    if (!second)
        for (std::uint32_t i = 0; i < m_n_tm; ++i) out[i] = m_window_m[i] / 1000.0;
}

void BIN_Data::fillMIpError(bool, bool, std::vector<double>& out) const { out.assign(m_n_tm, 0.0); }

// Window boundaries as sample indexes at 10 ms: the start of the first window, then the end
// of each counted one.
void BIN_Data::fillTM(std::vector<std::uint64_t>& out) const
{
    out.assign(m_n_tm + std::size_t{1}, 0);
    out[0] = truncateToUnsigned<std::uint32_t>(m_delay_ms) / 10;
    for (std::uint32_t j = 0; j < m_n_tm; ++j) out[j + 1] = out[j] + truncateToUnsigned<std::uint32_t>(m_tm[j]) / 10;
}

// ---- stacking ----

// One period is four pulse durations, in 10 ms samples; the product stays in single
// precision as it always has for these files.
std::uint64_t BIN_Data::getPeriod(bool) const
{
    const float period = m_pulse_duration_ms * 4.0f / 10.0f;
    return truncateToUnsigned<std::uint64_t>(period);
}

std::uint64_t BIN_Data::getNStack(bool side) const
{
    const auto n = truncateToUnsigned<std::uint64_t>(m_n_stack);
    return n / 2 + (side ? n % 2 : 0);
}

HighPrecisionTime BIN_Data::getSampleTime(bool) const { return k_sample_period; }
std::uint64_t BIN_Data::getVDelay() const { return InjectionFrequencyList::get8s()->getVDelay(getSampleTime(true)); }
std::uint64_t BIN_Data::getVEnd() const { return InjectionFrequencyList::get8s()->getVEnd(getSampleTime(true)); }

// ---- electrodes ----

double BIN_Data::coordinate(const std::array<float, 4>& values, ElectrodeName e) const
{
    const auto index = static_cast<std::size_t>(e);
    if (index >= values.size()) throw std::out_of_range("electrode " + std::to_string(index) + " out of range");
    return values[index];
}

double BIN_Data::getElectrodeX(ElectrodeName e) const { return coordinate(m_x, e); }
double BIN_Data::getElectrodeY(ElectrodeName e) const { return coordinate(m_y, e); }
double BIN_Data::getElectrodeZ(ElectrodeName e) const { return coordinate(m_z, e); }

std::uint64_t BIN_Data::getElectrodeNum(ElectrodeName e) const
{
    const auto index = static_cast<std::uint64_t>(e);
    return e == ElectrodeName::A || e == ElectrodeName::B ? index : index + m_channel;
}

GeoSpec BIN_Data::getElectrodeSpec(ElectrodeName e) const
{
    return GeoSpec(false, static_cast<std::uint32_t>(e), GeoSpec::LAYOUT_ROW, false, 0);
}

GeoSpec BIN_Data::getGpsSpec(bool) const { return GeoSpec(false, 0, GeoSpec::GPS, false, 0); }

// ---- fixed answers ----

double BIN_Data::getMaxRxV(bool) const { return 14980.0; }
DeviceType_t BIN_Data::getType(bool) const { return static_cast<DeviceType_t>(3); }
std::string BIN_Data::getSeqFile() const { return std::string(); }
std::string BIN_Data::getFrontDetectorName() const { return BTFrontDetector::s_type_name; }
std::string BIN_Data::getPSExtractor() const { return AlternatingFilter::s_type_name; }
std::vector<std::pair<std::string, std::uint64_t>> BIN_Data::getDataFilters() const { return {}; }
std::vector<std::pair<std::string, std::uint64_t>> BIN_Data::getPostProcessingFilters() const { return {}; }
bool BIN_Data::isGpsEnabled() const { return true; }
bool BIN_Data::hasSexagesimalGpsLatLong() const { return true; }
bool BIN_Data::isRXOnly() const { return true; }
bool BIN_Data::getElectrodeOfV(ElectrodeName) const { return true; }
InjectionType BIN_Data::getInjectionType() const { return static_cast<InjectionType>(1); }
PolarizationComputeType BIN_Data::getPolarizationComputeType() const { return static_cast<PolarizationComputeType>(1); }

// No stacked signal, curves or stack layout are stored.
void BIN_Data::fillStackSampleIndexes(bool, std::vector<std::pair<std::uint64_t, StackPhase>>& out) const { out.clear(); }
void BIN_Data::fillStackData(bool, std::vector<double>& out) const { out.clear(); }
void BIN_Data::fillStackError(bool, std::vector<double>& out) const { out.clear(); }
void BIN_Data::fillCurve(bool, bool, std::vector<double>& out) const { out.clear(); }
void BIN_Data::fillCurveError(bool, bool, std::vector<double>& out) const { out.clear(); }

std::uint64_t BIN_Data::getStart(bool) const { return 0; }
int BIN_Data::getGmtOffset(bool) const { return 0; }
int BIN_Data::getMultiTxKey(bool) const { return 0; }

double BIN_Data::getGpsZ(bool) const { return 0.0; }
double BIN_Data::getGridOrientation(bool) const { return 0.0; }
double BIN_Data::getOffsetX(bool) const { return 0.0; }
double BIN_Data::getOffsetY(bool) const { return 0.0; }
double BIN_Data::getElectrodeDepth(ElectrodeName) const { return 0.0; }
double BIN_Data::getGain(bool) const { return 0.0; }
double BIN_Data::getOffset(bool) const { return 0.0; }
double BIN_Data::getPolarizationVoltageError(bool) const { return 0.0; }
double BIN_Data::getInjectedCurrentError(bool) const { return 0.0; }
double BIN_Data::getIpError(bool, bool) const { return 0.0; }
double BIN_Data::getColeColeM(bool, bool) const { return 0.0; }
double BIN_Data::getColeColeTau(bool, bool) const { return 0.0; }
double BIN_Data::getColeColeC(bool, bool) const { return 0.0; }
double BIN_Data::getColeColeMError(bool, bool) const { return 0.0; }
double BIN_Data::getColeColeTauError(bool, bool) const { return 0.0; }
double BIN_Data::getColeColeCError(bool, bool) const { return 0.0; }
double BIN_Data::waterDepth() const { return 0.0; }
double BIN_Data::waterResistivity() const { return 0.0; }
double BIN_Data::getVABMaxTx() const { return 0.0; }
double BIN_Data::getCrenErrorRho() const { return 0.0; }
double BIN_Data::getCrenErrorM() const { return 0.0; }
double BIN_Data::getSpacing() const { return 0.0; }
double BIN_Data::getSpontaneousPotentialError() const { return 0.0; }

unsigned char BIN_Data::getGainIndex(bool) const { return 0; }
bool BIN_Data::isABused(bool) const { return false; }
bool BIN_Data::isMNused(bool) const { return false; }
bool BIN_Data::hasElecNum(bool) const { return false; }

// Instrument state a legacy record does not hold.
unsigned char BIN_Data::statRegC() const { return 0; }
unsigned char BIN_Data::statRegI() const { return 0; }
unsigned char BIN_Data::statRegP() const { return 0; }
unsigned int BIN_Data::tarvexNumber() const { return 0; }
unsigned int BIN_Data::trigSyncChannel() const { return 0; }
unsigned short BIN_Data::spacing10cm() const { return 0; }
unsigned short BIN_Data::offsetSounderCm() const { return 0; }
unsigned short BIN_Data::delayBeforeAcquisition() const { return 0; }
unsigned int BIN_Data::getTrigSynchro() const { return 0; }
unsigned int BIN_Data::getTrigOffset() const { return 0; }
unsigned char BIN_Data::getContinousSurveyMarker() const { return 0; }
unsigned int BIN_Data::getStackMin() const { return 0; }
unsigned int BIN_Data::getStackMax() const { return 0; }
bool BIN_Data::hasEmergency() const { return false; }
bool BIN_Data::hasOverCurrent() const { return false; }
bool BIN_Data::hasOpenLine() const { return false; }
bool BIN_Data::hasOverHeat() const { return false; }
bool BIN_Data::hasLowBat() const { return false; }
unsigned char BIN_Data::getComputeFilter() const { return 0; }
unsigned char BIN_Data::getVMNRequest() const { return 0; }
unsigned char BIN_Data::getVABRequest() const { return 0; }
unsigned char BIN_Data::getTypeOfTxRegulation() const { return 0; }
bool BIN_Data::hasGainAuto() const { return false; }
unsigned char BIN_Data::getTimeSet() const { return 0; }
unsigned char BIN_Data::getTimeMode() const { return 0; }
unsigned char BIN_Data::getTypeOfSwitch() const { return 0; }
unsigned char BIN_Data::getStartSynchro() const { return 0; }
unsigned char BIN_Data::getTypeOfSequence() const { return 0; }
int BIN_Data::getQuadripoleMeasured() const { return 0; }
int BIN_Data::getNQuadripole() const { return 0; }
int BIN_Data::getNRemoteQuadripole() const { return 0; }
int BIN_Data::getNGapFiller() const { return 0; }
int BIN_Data::getNInjectionMin() const { return 0; }
int BIN_Data::getNSkippedQuadripole() const { return 0; }
int BIN_Data::getNSkippedElectrode() const { return 0; }
int BIN_Data::getFirstQuadripoleId() const { return 0; }
int BIN_Data::getLastQuadripoleId() const { return 0; }
int BIN_Data::getNElectrode() const { return 0; }
int BIN_Data::getFirstElectrodeId() const { return 0; }
int BIN_Data::getLastElectrodeId() const { return 0; }
int BIN_Data::getNInjection() const { return 0; }
bool BIN_Data::hasAlarm() const { return false; }
unsigned char BIN_Data::getTypeOfRemote() const { return 0; }
bool BIN_Data::isShutdownRs() const { return false; }
bool BIN_Data::isCom0Enabled() const { return false; }
bool BIN_Data::isCom1Enabled() const { return false; }
bool BIN_Data::isRS485Enabled() const { return false; }
bool BIN_Data::isWifiEnabled() const { return false; }
bool BIN_Data::isLastDataStored() const { return false; }
unsigned char BIN_Data::getScriptCmdIndex() const { return 0; }
unsigned char BIN_Data::getWaitRsCheck() const { return 0; }
bool BIN_Data::isRsCheckStored() const { return false; }
bool BIN_Data::isRsCheckSaved() const { return false; }
bool BIN_Data::isTxInAsked() const { return false; }
bool BIN_Data::isMonitoring() const { return false; }
unsigned char BIN_Data::getContinuousSurvey() const { return 0; }
unsigned char BIN_Data::getContinuousSurveyGps() const { return 0; }
bool BIN_Data::hasExternalBat() const { return false; }
bool BIN_Data::hasSwitchError() const { return false; }
bool BIN_Data::isSwitchTerraOn() const { return false; }
unsigned char BIN_Data::getCopyOrMoveOnUsb() const { return 0; }
bool BIN_Data::hasExternalTxBat() const { return false; }
unsigned int BIN_Data::getNumberOfTarvex() const { return 0; }
unsigned char BIN_Data::getTypeOfSyncMultiSeq() const { return 0; }
int BIN_Data::getSwitchFirstElectrodeId() const { return 0; }
int BIN_Data::getSwitchLastElectrodeId() const { return 0; }
int BIN_Data::getTxVersion() const { return 0; }
int BIN_Data::getRxVersion() const { return 0; }
bool BIN_Data::getLostPPS() const { return false; }
int BIN_Data::getPPSOffset() const { return 0; }
StatisticFunctionType BIN_Data::getStatFunction() const { return static_cast<StatisticFunctionType>(0); }
MErrorUnit BIN_Data::getMErrorUnit() const { return static_cast<MErrorUnit>(0); }
ResultComputationType BIN_Data::getComputationType() const { return static_cast<ResultComputationType>(0); }
