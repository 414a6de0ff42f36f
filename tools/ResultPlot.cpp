#include "ResultPlot.h"

#include "ColourScale.h"
#include "PlotFrame.h"
#include "TimeText.h"

#include <services/ColeColeDecay.h>
#include <services/CompanionRecordings.h>
#include <services/ResultValues.h>
#include <services/StackedSignal.h>
#include <services/WindowTimes.h>

#include <host/InjectionTables.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

namespace ertkit_cli {

namespace {

using ertkit::ResultValues;

// The stacked signal of a record: the stored one, or for a record without one, the stack of
// its companion recording when that sits beside the file.
struct Stack {
    std::vector<double> samples;
    std::string source;
    double step_ms = 0.0; // between two samples
};

Stack stackOf(const Result_Reader& r, const std::string& path)
{
    Stack stack;
    ertkit::StackedSignal stored = ertkit::stackedSignal(r);
    stack.samples = std::move(stored.values);
    stack.step_ms = stored.step_ms;
    if (std::any_of(stack.samples.begin(), stack.samples.end(), [](double v) { return v != 0.0; })) {
        stack.source = "stored";
        return stack;
    }
    stack.samples.clear();
    stack.step_ms = ertkit::samplePeriodMs(r);
    // A cycle longer than any stored stack comes from a damaged pulse duration: not computed.
    if (r.getPeriod(true) > ertkit::s_max_stack_points) return stack;
    ertkit::CompanionStack companion = ertkit::companionStack(r, path);
    stack.samples = std::move(companion.values);
    if (!stack.samples.empty())
        stack.source = fmt::format("computed from {}, start {}{}, channel {}", companion.recording.filename().string(), companion.start,
                                   companion.offset ? fmt::format(" from sample {}", companion.offset) : std::string(), companion.channel);
    return stack;
}

// The shaded chargeability windows, which follow the first switch-off.
void shadeWindows(SvgDocument& svg, const PlotFrame& frame, const ResultValues& v, double switch_off_ms)
{
    for (std::size_t w = 0; w + 1 < v.window_times.size(); ++w) {
        const double from = std::max(frame.x(switch_off_ms + v.window_times[w]), frame.left());
        const double to = std::min(frame.x(switch_off_ms + v.window_times[w + 1]), frame.right());
        if (to > from) svg.rect(from, frame.top(), to - from, frame.bottom() - frame.top(), w % 2 ? "#ffcc80" : "#ffe0b2", "none", 0.6);
    }
}

void trace(SvgDocument& svg, const PlotFrame& frame, const std::vector<double>& stack, double period_ms, double from_ms, double to_ms)
{
    SvgDocument::Points points;
    points.reserve(stack.size());
    for (std::size_t i = 0; i < stack.size(); ++i) {
        const double t = period_ms * static_cast<double>(i);
        if (t >= from_ms && t <= to_ms) points.emplace_back(frame.x(t), frame.y(stack[i]));
    }
    svg.polyline(points, "#1f5fa8", 1.2);
}

struct Cycle {
    double period_ms = 0.0, cycle_ms = 0.0, pulse_ms = 0.0;
};

Cycle cycleOf(const Result_Reader& r, const Stack& stack)
{
    Cycle c;
    c.period_ms = stack.step_ms;
    // A record without a stacked signal still shows its windows over the cycle.
    c.cycle_ms = std::max(stack.samples.empty() ? ertkit::samplePeriodMs(r) * static_cast<double>(r.getPeriod(true))
                                                : c.period_ms * static_cast<double>(stack.samples.size()),
                          1.0);
    c.pulse_ms = c.cycle_ms / static_cast<double>(InjectionData::getDutyCycleFactor(r.getInjectionType()));
    return c;
}

void stackPanel(SvgDocument& svg, const ResultValues& v, const Stack& stack, const Cycle& c, double top)
{
    double lo = 0.0, hi = 0.0;
    for (const double s : stack.samples) lo = std::min(lo, s), hi = std::max(hi, s);
    const PlotFrame frame(svg, s_page_left, top, s_page_plot_width, 220, AxisRange{0.0, c.cycle_ms}, AxisRange::around(lo, hi));
    frame.title(stack.samples.empty() ? std::string("stacked signal over one injection cycle")
                                      : fmt::format("stacked signal over one injection cycle ({} stacks, {})", v.stacks, stack.source));
    frame.drawAxes("time in the cycle (ms)", "voltage (mV)");
    shadeWindows(svg, frame, v, c.pulse_ms);
    trace(svg, frame, stack.samples, c.period_ms, 0.0, c.cycle_ms);
    if (stack.samples.empty())
        svg.text((frame.left() + frame.right()) / 2, (frame.top() + frame.bottom()) / 2,
                 "no stacked signal in this record, and no recording of it beside the file", 12, "middle");
}

// The off time after the first switch-off, scaled to the signal from the first window on, so
// that the IP decay, a few per cent of Vp, fills the panel.
void offTimePanel(SvgDocument& svg, const ResultValues& v, const Stack& stack, const Cycle& c, double top)
{
    const double from = c.pulse_ms, to = std::min(2.0 * c.pulse_ms, c.cycle_ms);
    const double scale_from = from + (v.window_times.empty() ? 0.0 : v.window_times.front());
    double lo = std::numeric_limits<double>::max(), hi = std::numeric_limits<double>::lowest();
    for (std::size_t i = 0; i < stack.samples.size(); ++i) {
        const double t = c.period_ms * static_cast<double>(i);
        if (t >= scale_from && t < to) lo = std::min(lo, stack.samples[i]), hi = std::max(hi, stack.samples[i]);
    }
    const AxisRange values = lo <= hi ? AxisRange::around(std::min(lo, 0.0), hi) : AxisRange{-1.0, 1.0};
    const PlotFrame frame(svg, s_page_left, top, s_page_plot_width, 170, AxisRange{from, to}, values);
    frame.title("off time after the switch-off, zoomed on the decay (windows shaded)");
    frame.drawAxes("time in the cycle (ms)", "voltage (mV)");
    shadeWindows(svg, frame, v, c.pulse_ms);
    // Samples off the zoomed scale (the end of the pulse) are clipped to the frame.
    SvgDocument::Points points;
    for (std::size_t i = 0; i < stack.samples.size(); ++i) {
        const double t = c.period_ms * static_cast<double>(i);
        if (t >= from && t < to) points.emplace_back(frame.x(t), std::clamp(frame.y(stack.samples[i]), frame.top(), frame.bottom()));
    }
    svg.polyline(points, "#1f5fa8", 1.2);
}

// The Cole-Cole model the record keeps, drawn dashed through its gates, with a legend.
void modelCurve(SvgDocument& svg, const PlotFrame& frame, const ertkit::ColeColeParameters& model, const std::vector<ertkit::DecayPoint>& curve)
{
    SvgDocument::Points points;
    for (const ertkit::DecayPoint& p : curve)
        if (frame.y(p.m) >= frame.top()) points.emplace_back(frame.x(p.time_ms), frame.y(p.m));
    svg.beginGroup(R"(class="cole-cole" stroke-dasharray="5 3")");
    svg.polyline(points, "#2a9d2a", 1.4);
    svg.endGroup();
    const double x = frame.right() - 230, y = frame.top() + 14;
    svg.line(x, y - 4, x + 24, y - 4, "#2a9d2a", 1.4, "5 3");
    svg.text(x + 30, y, fmt::format("Cole-Cole m {:.4g} τ {:.4g} s c {:.3g}", model.m, model.tau, model.c), 11);
}

void decayPanel(SvgDocument& svg, const Result_Reader& r, const ResultValues& v, double top)
{
    double hi = 0.0, end = 1.0;
    for (const double m : v.window_m) hi = std::max(hi, m);
    if (!v.window_times.empty()) end = v.window_times.back();
    const double until_ms = std::max(end, 1.0) * 1.05;
    const std::optional<ertkit::ColeColeParameters> model = ertkit::storedColeCole(r);
    std::vector<ertkit::DecayPoint> curve;
    if (model) curve = ertkit::coleColeDecayCurve(r, *model, until_ms);
    // The model's first milliseconds rise far above the first window: the scale follows the
    // windows, giving the curve at most a third more; above that it leaves the frame.
    const double cap = hi > 0 ? hi * 1.3 : 0.0;
    for (const ertkit::DecayPoint& p : curve)
        if (p.time_ms >= (v.window_times.empty() ? 0.0 : v.window_times.front())) hi = std::max(hi, std::min(p.m, cap));
    const PlotFrame frame(svg, s_page_left, top, s_page_plot_width, 180, AxisRange{0.0, until_ms}, AxisRange{0.0, hi > 0 ? hi * 1.15 : 1.0});
    frame.title(fmt::format("chargeability decay: M = {:.4g} mV/V over {} windows", v.m, v.window_m.size()));
    frame.drawAxes("time after switch-off (ms)", "M (mV/V)");
    if (!curve.empty()) modelCurve(svg, frame, *model, curve);
    SvgDocument::Points points;
    for (const ertkit::DecayPoint& p : ertkit::decayCurve(v)) {
        points.emplace_back(frame.x(p.time_ms), frame.y(p.m));
        svg.circle(points.back().first, points.back().second, 3.5, "#d62728");
    }
    svg.polyline(points, "#d62728", 1.0);
}

} // namespace

void plotRecord(const Result_File& file, const std::string& name, std::size_t record, std::ostream& out)
{
    const auto& results = file.getResults();
    if (record >= results.size())
        throw std::out_of_range(fmt::format("record {} does not exist (the file has {})", record, results.size()));
    const Result_Reader& r = *results[record];
    const ResultValues v = ertkit::resultValues(r);
    SvgDocument svg(s_page_width, 860);
    svg.text(s_page_left, 24, fmt::format("{} - record {}", name, record), 15, "start", 0, true);
    std::string where;
    for (std::size_t e = 0; e < 4; ++e)
        where += v.electrodes[e].remote() ? fmt::format("{} inf  ", "ABMN"[e]) : fmt::format("{} {:g} m  ", "ABMN"[e], v.electrodes[e].x);
    svg.text(s_page_left, 42,
             fmt::format("{}| Vp {:.4g} mV, I {:.4g} mA, rho_a {} ohm.m, start {}", where, v.vp, v.current,
                         v.rhoa ? fmt::format("{:.4g}", *v.rhoa) : "-",
                         ertkit::storedTime(v.start_time) ? isoTime(v.start_time, "") : "none"),
             11);
    const Stack stack = stackOf(r, name);
    const Cycle cycle = cycleOf(r, stack);
    stackPanel(svg, v, stack, cycle, 80);
    offTimePanel(svg, v, stack, cycle, 370);
    decayPanel(svg, r, v, 620);
    svg.write(out);
}

} // namespace ertkit_cli
