#include <generators/ReciprocalSurvey.h>

#include <services/AtomicOutput.h>
#include <services/BinxOutput.h>
#include <services/Geometry.h>
#include <services/WindowTimes.h>

#include <binx/BINX_File.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace ertkit::generators {

namespace {

constexpr double s_current_mA = 100.0;
constexpr double s_decay_ms = 400.0;
constexpr double s_delay_ms = 40.0;
constexpr std::array<double, 8> s_widths_ms{20, 40, 40, 80, 80, 160, 320, 320};

double trueRhoa(double middle, double length, double depth)
{
    return 60.0 + 120.0 * middle / length + 60.0 * std::tanh(depth / 10.0);
}

double trueM(double middle, double length)
{
    return 20.0 + 30.0 * std::exp(-std::pow((middle - 0.4 * length) / (0.15 * length), 2));
}

// The windows of a decay m(t) = m0 exp(-t / tau), each the mean over its window, and M their
// width-weighted mean.
std::vector<double> windowsOf(double m_total, std::vector<double>& bounds)
{
    bounds.assign(1, s_delay_ms);
    for (const double w : s_widths_ms) bounds.push_back(bounds.back() + w);
    std::vector<double> shape;
    double weighted = 0.0, total = 0.0;
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        const double v = s_decay_ms * (std::exp(-bounds[i] / s_decay_ms) - std::exp(-bounds[i + 1] / s_decay_ms)) / (bounds[i + 1] - bounds[i]);
        shape.push_back(v);
        weighted += v * (bounds[i + 1] - bounds[i]);
        total += bounds[i + 1] - bounds[i];
    }
    const double scale = m_total / (weighted / total);
    for (double& v : shape) v *= scale;
    return shape;
}

BINX_Data record(const ReciprocalSurveySettings& s, const ReciprocalReading& reading, std::size_t index, std::mt19937& random)
{
    std::normal_distribution<double> normal(0.0, 1.0);
    BINX_Data r;
    r.resultId = static_cast<std::uint32_t>(index + 1);
    r.keyText1 = "line 1";
    r.keyText2 = reading.reciprocal ? "dipole-dipole, reciprocal" : "dipole-dipole";
    const bool contact = reading.fault == PlantedFault::Contact;
    const double sigma = (s.error_a_ohm + s.error_b * std::abs(reading.r_true)) * (contact ? 10.0 : 1.0);
    double r_measured = reading.r_true + sigma * normal(random);
    if (reading.fault == PlantedFault::Reversed) r_measured = -r_measured;
    double vp = r_measured * s_current_mA;
    double deviation_percent = 0.2 + 100.0 * 0.002 / std::max(std::abs(vp), 1e-9);
    if (contact) deviation_percent = 3.0;
    if (reading.fault == PlantedFault::Noise) {
        vp = std::copysign(0.05, vp);
        deviation_percent = 200.0;
    }
    r.polarizationVoltage = vp;
    r.injectedCurrent = s_current_mA;
    r.polarizationVoltageDeviation = deviation_percent;
    const double m_sigma = s.m_error_a + s.m_error_b * reading.m_true;
    const double m = reading.m_true + m_sigma * normal(random);
    std::vector<double> bounds;
    std::vector<double> windows = windowsOf(m, bounds);
    if (reading.fault == PlantedFault::Decay) windows[4] *= 3.0;
    double weighted = 0.0;
    for (std::size_t i = 0; i < windows.size(); ++i) weighted += windows[i] * (bounds[i + 1] - bounds[i]);
    r.ip = weighted / (bounds.back() - bounds.front());
    r.ipDeviation = 0.3;
    r.setMppx(windows);
    writeWindowTimes(r, bounds);
    r.rsCheck = contact ? 80.0 : 1.5 + 0.5 * std::abs(normal(random));
    r.nStack = 4;
    r.pulseDurationMs = 2000;
    r.vDelay = 1000;
    r.samplingRateCode = BINX_Data::SR_10MS;
    r.injectionCode = 0;
    r.ppsFlag1 = r.ppsFlag2 = 1;
    r.m_trigSyncChannel = 1;
    r.nElectrode = s.electrodes;
    r.spacing = s.spacing;
    r.startTimeV = r.startTimeI = 45000.0 + static_cast<double>(index) * 10.0 / 86400.0;
    for (std::size_t e = 0; e < 4; ++e) {
        const auto name = static_cast<ElectrodeName>(e);
        r.quadrupole.setXYZ(name, reading.electrodes[e] * s.spacing, 0.0, 0.0);
        r.quadrupole.setGeoSpec(name, BINX_GeoSpec(0, GeoSpec::LAYOUT_ROW, 0, 0, static_cast<unsigned int>(reading.electrodes[e] + 1), false));
    }
    return r;
}

} // namespace

const char* plantedFaultName(PlantedFault fault)
{
    switch (fault) {
    case PlantedFault::None: return "";
    case PlantedFault::Contact: return "contact";
    case PlantedFault::Reversed: return "reversed";
    case PlantedFault::Noise: return "noise";
    case PlantedFault::Decay: return "decay";
    }
    return "";
}

ReciprocalSurvey makeReciprocalSurvey(const ReciprocalSurveySettings& s)
{
    ReciprocalSurvey survey;
    const double length = s.spacing * (s.electrodes - 1);
    const int bad_contact = s.electrodes / 4;
    std::vector<ReciprocalReading> reciprocals;
    int injection = 0;
    for (int a = 1; a <= s.dipoles; ++a)
        for (int first = 0; first + 3 * a <= s.electrodes - 1; ++first, ++injection)
            for (int n = 1; n <= s.levels; ++n) {
                const int m = first + a + (n - 1) * a + a, last = m + a;
                if (last > s.electrodes - 1) break;
                ReciprocalReading reading;
                reading.electrodes = {first, first + a, m, last};
                Quadrupole q{};
                for (std::size_t e = 0; e < 4; ++e) q[e] = {reading.electrodes[e] * s.spacing, 0.0, 0.0};
                const double middle = 0.5 * (first + last) * s.spacing;
                const double depth = 0.19 * (last - first) * s.spacing;
                const double k = geometricFactor(q).value_or(1.0);
                reading.r_true = trueRhoa(middle, length, depth) / k;
                reading.m_true = trueM(middle, length);
                if (s.faults) {
                    const bool touches = std::find(reading.electrodes.begin(), reading.electrodes.end(), bad_contact) != reading.electrodes.end();
                    if (touches) reading.fault = PlantedFault::Contact;
                    else if (a == 1 && injection == s.electrodes / 2) reading.fault = PlantedFault::Reversed;
                    else if (n == s.levels && middle > 0.7 * length) reading.fault = PlantedFault::Noise;
                    else if (a == s.dipoles && n == 2 && injection % 3 == 0) reading.fault = PlantedFault::Decay;
                }
                survey.truth.push_back(reading);
                if (middle <= s.reciprocal_share * length) {
                    ReciprocalReading back = reading;
                    back.electrodes = {reading.electrodes[2], reading.electrodes[3], reading.electrodes[0], reading.electrodes[1]};
                    back.reciprocal = true;
                    // A fault of a cable or of the decay is the reading's own; a bad contact
                    // spoils every reading through the electrode.
                    if (back.fault != PlantedFault::Contact) back.fault = PlantedFault::None;
                    reciprocals.push_back(back);
                }
            }
    survey.truth.insert(survey.truth.end(), reciprocals.begin(), reciprocals.end());
    std::mt19937 random(s.seed);
    for (std::size_t i = 0; i < survey.truth.size(); ++i) survey.records.push_back(record(s, survey.truth[i], i, random));
    return survey;
}

void writeReciprocalSurvey(const ReciprocalSurvey& survey, const std::filesystem::path& binx, const std::filesystem::path& truth)
{
    BINX_File file;
    for (const BINX_Data& r : survey.records) file.addData(new BINX_Data(r));
    writeBinx(file, binx, {}, false);
    AtomicOutput out(truth);
    out.stream() << "index,fault,reciprocal,r_true_ohm,m_true_mV_V\n";
    for (std::size_t i = 0; i < survey.truth.size(); ++i) {
        const ReciprocalReading& t = survey.truth[i];
        out.stream() << fmt::format("{},{},{},{:.17g},{:.17g}\n", i, plantedFaultName(t.fault), t.reciprocal ? 1 : 0, t.r_true, t.m_true);
    }
    out.commit();
}

} // namespace ertkit::generators
