#include <services/BinxFromResult.h>

#include <services/WindowTimes.h>

#include <binx/BINX_Data.h>
#include <host/InjectionTables.h>

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace ertkit {

namespace {

constexpr double s_per_mille = 1000.0;

// The stored injection code that reads back as this injection type and receiver-only flag.
std::uint8_t injectionCode(InjectionType type, bool receiver_only)
{
    if (type == InjectionType::FullDutyCycle) return receiver_only ? 3 : 1;
    if (type == InjectionType::HalfDutyCycle) return receiver_only ? 2 : 0;
    return 6;
}

// What needs the result's sample period: the record's own period code, the pulse, the
// windows and the stacked half cycle (the inverse of the record's fillStackData).
void takeTiming(const Result_Reader& result, BINX_Data& record)
{
    const HighPrecisionTime period = result.getSampleTime(true);
    record.samplingRateCode = BINX_Data::getSamplingRate(period);
    const double period_ms = samplePeriodMs(record);
    const auto factor = static_cast<double>(InjectionData::getDutyCycleFactor(result.getInjectionType()));
    record.pulseDurationMs = static_cast<std::int32_t>(std::llround(static_cast<double>(result.getPeriod(true)) * period_ms / factor));
    record.vDelay = static_cast<std::int32_t>(result.getVDelay() * 10);

    std::vector<double> values;
    readWindowTimes(result, values);
    if (!values.empty()) {
        try {
            writeWindowTimes(record, values);
        } catch (const std::invalid_argument&) {
            record.nTM = 0;
        }
    }

    // A half cycle longer than the record's 800 samples is kept every d-th sample; the last
    // d - 1 samples the result gave, interpolated towards a stored sample past the half
    // cycle, then come back interpolated towards 0.
    result.fillStackData(true, values);
    const std::size_t n = values.size();
    std::size_t d = 1;
    while (n / d > 2 * BINX_Data::N_STACK_SAMPLES) d *= 2;
    // The record gives its stored half first, as stored, for a positive Vp or a computation
    // type other than 0; negated otherwise.
    const double sign = record.computationType != 0 || record.polarizationVoltage > 0.0 ? 1.0 : -1.0;
    for (std::size_t k = 0; k * d < n / 2 && k < record.stackData.size(); ++k)
        record.stackData[k] = static_cast<float>(sign * values[k * d] * s_per_mille);
}

} // namespace

void fillBinxFromResult(const Result_Reader& result, BINX_Data& record)
{
    for (int e = 0; e < 4; ++e) {
        const auto name = static_cast<ElectrodeName>(e);
        const GeoSpec spec = result.getElectrodeSpec(name);
        const BINX_GeoSpec stored(spec.get_unused_node() ? 1 : 0, static_cast<short>(spec.get_geo_type()), 0, spec.get_utm_zone(),
                                  spec.get_elec_index(), !spec.get_north_hemisphere());
        record.quadrupole.setElectrode(name, BINX_Geo(result.getElectrodeX(name), result.getElectrodeY(name), result.getElectrodeZ(name),
                                                      result.getElectrodeDepth(name), stored));
    }
    record.setElectrodeDisposition(result.getElectrodeDisposition());
    record.startTimeV = HighPrecisionTime::convertDateTime(result.getStartTime(true));
    record.startTimeI = HighPrecisionTime::convertDateTime(result.getStartTime(false));
    record.serialNumberV = result.getSerialNumber(true);
    record.serialNumberI = result.getSerialNumber(false);
    record.userSerialNumberV = result.getUserSerialNumber(true);
    record.userSerialNumberI = result.getUserSerialNumber(false);
    record.chanV = static_cast<std::int32_t>(result.getChan(true));
    record.chanI = static_cast<std::int32_t>(result.getChan(false));

    record.polarizationVoltage = result.getPolarizationVoltage(true);
    record.injectedCurrent = result.getInjectedCurrent(true);
    record.spontaneousPotential = result.getSpontaneousPotential();
    record.computationType = static_cast<std::uint8_t>(result.getComputationType());
    record.polarizationComputeType = static_cast<std::uint8_t>(result.getPolarizationComputeType());
    // The record answers Vp's error as |Vp| x deviation (%) x sqrt 2 / 100, M's as sqrt 2 x deviation.
    const double vp = std::abs(record.polarizationVoltage);
    record.polarizationVoltageDeviation = vp > 0.0 ? result.getPolarizationVoltageError(true) * 100.0 / (std::numbers::sqrt2 * vp) : 0.0;
    const InjectionType type = result.getInjectionType();
    const bool full = type == InjectionType::FullDutyCycle;
    record.injectionCode = injectionCode(type, result.isRXOnly());
    record.ip = result.getIgnoreM() ? 9999.0 : result.getIp(true, full) * s_per_mille;
    record.ipDeviation = result.getIpError(true, full) / std::numbers::sqrt2;
    std::vector<double> windows;
    result.fillMIp(true, full, windows);
    for (double& m : windows) m *= s_per_mille;
    record.setMppx(windows);
    record.nStack = static_cast<std::uint32_t>(result.getNStack(true) + result.getNStack(false));
    try {
        takeTiming(result, record);
    } catch (const std::exception&) {
        // A sample period the record cannot store: its timing stays the record's default.
    }

    record.ignore = result.getIgnore() ? 1 : 0;
    record.overload = result.getOverloadedSamples(true) != 0 ? 1 : 0;
    record.gapFiller = result.isGapFiller(true) ? 1 : 0;
    record.m_trigSyncChannel = result.isNoisy() ? 0 : 1;
    record.gpsXV = result.getGpsX(true);
    record.gpsYV = result.getGpsY(true);
    record.gpsXI = result.getGpsX(false);
    record.gpsYI = result.getGpsY(false);
    record.vab = static_cast<float>(result.getVAB());
    record.rsCheck = result.getRsCheck();
    record.txBat = static_cast<float>(result.getTxBat(true));
    record.rxBat = static_cast<float>(result.getRxBat(true));
    record.txTemp = static_cast<float>(result.getTxTemp(true));
    record.rxTemp = static_cast<float>(result.getRxTemp(true));
    std::string name = result.getOrigFile();
    // Fixed-size name fields pad with zero bytes.
    while (!name.empty() && name.back() == '\0') name.pop_back();
    record.origFile = std::move(name);
    record.seqFile = result.getSeqFile();
}

} // namespace ertkit

#include <binx/BINX_File.h>
#include <bin/BIN_File.h>

namespace ertkit {

std::unique_ptr<BINX_File> binxFileOf(std::unique_ptr<Result_File> results)
{
    if (auto* binx = dynamic_cast<BINX_File*>(results.get())) {
        results.release();
        return std::unique_ptr<BINX_File>(binx);
    }
    return binxFileOf(*results);
}

std::unique_ptr<BINX_File> binxFileOf(const Result_File& legacy)
{
    auto file = std::make_unique<BINX_File>();
    if (const auto* bin = dynamic_cast<const BIN_File*>(&legacy)) file->setFolderPath(bin->getFolderPath());
    for (const Result_Reader* result : legacy.getResults()) {
        auto record = std::make_unique<BINX_Data>();
        fillBinxFromResult(*result, *record);
        file->addData(record.release());
    }
    return file;
}

} // namespace ertkit
