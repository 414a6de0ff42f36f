#include <generators/SampleTruth.h>

#include <services/AtomicOutput.h>

#include <fmt/format.h>

namespace ertkit::generators {

namespace {

// The meter's reading of a half cycle: Vp from sample 100 to 199, the windows after the delay.
DecaySampling meterSampling()
{
    DecaySampling sampling;
    sampling.step_ms = SampleSurvey::s_sample_ms;
    sampling.pulse = SampleSurvey::s_pulse_ms / SampleSurvey::s_sample_ms;
    sampling.on_first = sampling.pulse / 2;
    sampling.on_last = sampling.pulse;
    std::size_t from = sampling.pulse + SampleSurvey::s_delay_ms / SampleSurvey::s_sample_ms;
    for (const int width : SampleSurvey::s_window_ms) {
        const std::size_t to = from + static_cast<std::size_t>(width / SampleSurvey::s_sample_ms);
        sampling.gates.push_back({from, to, false});
        from = to;
    }
    return sampling;
}

template <typename Write>
std::string writeText(const std::filesystem::path& folder, const std::string& name, Write write)
{
    AtomicOutput output(folder / name);
    write(output.stream());
    output.commit();
    return name;
}

} // namespace

DecayTruth decayTruth(const SampleSurvey& survey, std::size_t index)
{
    const SampleSurvey::Measure& m = survey.measures()[index];
    const DecaySampling sampling = meterSampling();
    DecayTruth truth;
    double on = 0.0;
    for (std::size_t k = sampling.on_first; k < sampling.on_last; ++k) on += m.clean_stack[k];
    truth.vp = on / static_cast<double>(sampling.on_last - sampling.on_first);
    std::vector<double> values;
    coleColeGateValues(m.cole_cole, sampling, values);
    double weighted = 0.0, width = 0.0;
    for (std::size_t w = 0; w < truth.window_m.size(); ++w) {
        truth.window_m[w] = values[w];
        weighted += values[w] * SampleSurvey::s_window_ms[w];
        width += SampleSurvey::s_window_ms[w];
    }
    truth.m = weighted / width;
    return truth;
}

SampleTruthFiles writeSampleTruth(const SampleSurvey& survey, const std::filesystem::path& folder, const std::string& stem)
{
    SampleTruthFiles files;
    files.decay = writeText(folder, stem + "-decay-truth.csv", [&](std::ostream& out) {
        out << "index,m,tau_s,c,vp_mV,m_mVV";
        for (std::size_t w = 1; w <= SampleSurvey::s_window_ms.size(); ++w) out << ",window_" << w;
        out << "\n";
        for (std::size_t i = 0; i < survey.measures().size(); ++i) {
            const ColeColeParameters& p = survey.measures()[i].cole_cole;
            const DecayTruth truth = decayTruth(survey, i);
            out << fmt::format("{},{},{},{},{},{},{}\n", i, p.m, p.tau, p.c, truth.vp, truth.m, fmt::join(truth.window_m, ","));
        }
    });
    files.stacks = writeText(folder, stem + "-clean-stacks.csv", [&](std::ostream& out) {
        out << "index";
        for (std::size_t k = 0; k < SampleSurvey::s_cycle_samples / 2; ++k) out << ",sample_" << k;
        out << "\n";
        for (std::size_t i = 0; i < survey.measures().size(); ++i) out << fmt::format("{},{}\n", i, fmt::join(survey.measures()[i].clean_stack, ","));
    });
    files.noise = writeText(folder, stem + "-noise.json", [&](std::ostream& out) { out << sampleNoiseJson(*survey.noise(), survey.seed()); });
    return files;
}

} // namespace ertkit::generators
