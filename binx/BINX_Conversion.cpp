// Records and files made from the measures of a meter download.

#include <binx/BINX_File.h>

#include <host/GeoSpec.h>
#include <host/VELTLogger.h>

#include <cmath>
#include <limits>

namespace {

// Electrode array codes of the meter (1-6) to stored arrangement codes.
std::uint16_t dispositionCode(std::int32_t array_code)
{
    switch (array_code) {
    case 1: return 0;
    case 2: return 1;
    case 3: return 2;
    case 4: return 6;
    case 5: return 4;
    case 6: return 3;
    default:
        VELTLogger::warning() << "ElArray : " << array_code << " not exist" << std::endl;
        return 10;
    }
}

// The stack count arrives as a float; it is truncated toward zero. Values no integer holds
// (NaN, infinities, beyond 32 bits) become 0 instead of an undefined conversion.
std::uint32_t truncatedCount(float value)
{
    const double t = std::trunc(static_cast<double>(value));
    if (!(t > static_cast<double>(std::numeric_limits<std::int32_t>::min()) - 1.0 &&
          t < static_cast<double>(std::numeric_limits<std::uint32_t>::max()) + 1.0))
        return 0;
    return t < 0 ? static_cast<std::uint32_t>(static_cast<std::int32_t>(t)) : static_cast<std::uint32_t>(t);
}

// Windows the queries use: the leading positive ones, as reading a written record finds them.
std::uint32_t leadingWindows(const std::array<std::int32_t, BINX_Data::N_WINDOWS>& tm)
{
    std::uint32_t n = 0;
    while (n < tm.size() && tm[n] > 0) ++n;
    return n;
}

constexpr ElectrodeName s_electrodes[] = {ElectrodeName::A, ElectrodeName::B, ElectrodeName::M, ElectrodeName::N};

} // namespace

// What both record versions share: bytes 0-83 of the measure.
void BINX_Data::takeMeasureHead(const TarvexKesta_File::TMeasureHead& head)
{
    electrodeDispositionCode = dispositionCode(head.array_code);
    pulseDurationMs = static_cast<std::int32_t>(head.injection_time) * 10;
    tmDelay = static_cast<std::int32_t>(head.delay) * 10;
    for (std::size_t i = 0; i < N_WINDOWS; ++i) tm[i] = static_cast<std::int32_t>(head.windows[i]) * 10;
    nTM = leadingWindows(tm);
    chanV = static_cast<std::int32_t>(head.channel());
    auxWord1 = head.code();
    overload = head.overload() ? 1 : 0;
    m_trigSyncChannel = head.trigSync() ? 1 : 0;
    gapFiller = head.gapFiller() ? 1 : 0;
    quadripoleMeasured = static_cast<std::int32_t>(head.quadrupole);
    origFile = head.nameText();
    gpsXV = sexagesimalToDecimalAngle(head.gps_x);
    gpsYV = sexagesimalToDecimalAngle(head.gps_y);
    grid.setGeoType(GeoSpec::LAYOUT_ROW);
}

template <typename Measure>
void BINX_Data::takeMeasureResults(const Measure& measure)
{
    spontaneousPotential = measure.sp;
    polarizationVoltage = measure.vp;
    injectedCurrent = measure.current;
    ip = measure.m;
    for (std::size_t i = 0; i < N_WINDOWS; ++i) mppx[i] = measure.mppx[i];
    auxReal2 = measure.aux_real2;
    // One deviation is sent: of the chargeability when there is one, else of Vp.
    if (measure.m == 0.0f) polarizationVoltageDeviation = measure.deviation;
    else ipDeviation = measure.deviation;
    nStack = truncatedCount(measure.stacks);
    rsCheck = measure.rs_check;
}

BINX_Data::BINX_Data(const TarvexKesta_File::TMeasure& measure)
{
    takeMeasureHead(measure.head);
    takeMeasureResults(measure);
    for (std::size_t e = 0; e < 4; ++e) {
        const float x = measure.electrodes[2 * e];
        const float y = measure.electrodes[2 * e + 1];
        quadrupole.setXYZ(s_electrodes[e], x, y, 0.0);
        if (x >= BINX_Geo::s_remote_coordinate || y >= BINX_Geo::s_remote_coordinate) quadrupole.setGeoType(s_electrodes[e], GeoSpec::DOWNLOADED);
    }
    deviceCode = 1;
}

BINX_Data::BINX_Data(const TarvexKesta_File::TZMeasure& measure, HighPrecisionTime start)
{
    takeMeasureHead(measure.head);
    takeMeasureResults(measure);
    vab = measure.vab;
    txBat = measure.tx_bat;
    rxBat = measure.rx_bat;
    rxTemp = measure.rx_temp;
    for (std::size_t e = 0; e < 4; ++e)
        quadrupole.setXYZ(s_electrodes[e], measure.electrodes[3 * e], measure.electrodes[3 * e + 1], measure.electrodes[3 * e + 2]);
    deviceCode = 3;
    startTimeV = HighPrecisionTime::convertDateTime(start);
}

// Converts one list of measures; false when the sink asked to stop.
template <typename Measures, typename Convert>
bool BINX_File::convertMeasures(const Measures& measures, ProgressCallback& progress, Convert convert)
{
    for (const auto& measure : measures) {
        if (progress.isCancelled()) return false;
        insertRecord(m_tab_measure.size(), new BINX_Data(convert(measure)));
        if (!progress.isCancelled()) progress.step();
    }
    return true;
}

BINX_File::BINX_File(const TarvexKesta_File& download, ProgressCallback& progress) : BINX_File()
{
    const std::size_t total = download.m_tab_tzmeasure.size() + download.m_tab_tmeasure.size();
    progress.setTextId(static_cast<std::uint32_t>(Result_Reader::s_reading_file_text_id));
    progress.setPosition(0);
    progress.setRange(0, static_cast<unsigned int>(total), 1);
    m_tab_measure.reserve(total);
    m_results.reserve(total);
    const bool going_on = convertMeasures(download.m_tab_tzmeasure, progress, [](const TarvexKesta_File::TZMeasure& m) {
        return BINX_Data(m, HighPrecisionTime(static_cast<std::int64_t>(m.time_stamp), 0));
    });
    if (going_on)
        convertMeasures(download.m_tab_tmeasure, progress, [](const TarvexKesta_File::TMeasure& m) { return BINX_Data(m); });
}

BINX_File::BINX_File(const TarvexKesta_File& download) : BINX_File(download, noProgress()) {}
