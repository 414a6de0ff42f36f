#include "ResultPlot.h"

#include "ColourScale.h"
#include "PlotFrame.h"
#include "TimeText.h"

#include <services/ResultValues.h>
#include <services/WindowTimes.h>

#include <host/InjectionTables.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace ertkit_cli {

namespace {

using ertkit::ResultValues;

struct SectionPoint {
    ertkit::PseudoPosition position;
    double rhoa;
};

struct Section {
    std::vector<SectionPoint> points;
    std::vector<double> electrodes; // abscissae of the electrodes, distinct
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
};

Section collect(const std::vector<Result_Reader*>& results)
{
    ertkit::ElectrodeSpread spread;
    ResultValues v;
    for (const Result_Reader* r : results) {
        ertkit::readResultValues(*r, v);
        spread.add(v.electrodes);
    }
    const bool along_y = spread.alongY();
    Section s;
    for (const Result_Reader* r : results) {
        ertkit::readResultValues(*r, v);
        for (const ertkit::ElectrodePoint& p : v.electrodes)
            if (!p.remote()) s.electrodes.push_back(along_y ? p.y : p.x);
        const auto position = ertkit::pseudoPosition(v.electrodes, along_y);
        if (v.ignore || !position || !v.rhoa || !(*v.rhoa > 0.0) || !std::isfinite(*v.rhoa)) continue;
        s.points.push_back({*position, *v.rhoa});
        s.low = std::min(s.low, *v.rhoa);
        s.high = std::max(s.high, *v.rhoa);
    }
    std::sort(s.electrodes.begin(), s.electrodes.end());
    s.electrodes.erase(std::unique(s.electrodes.begin(), s.electrodes.end()), s.electrodes.end());
    return s;
}

double logFraction(double value, double low, double high)
{
    return high > low ? (std::log10(value) - std::log10(low)) / (std::log10(high) - std::log10(low)) : 0.5;
}

void colourBar(SvgDocument& svg, double left, double top, double height, double low, double high)
{
    constexpr int steps = 64;
    for (int i = 0; i < steps; ++i) {
        const double f = (i + 0.5) / steps;
        svg.rect(left, top + height * (1.0 - static_cast<double>(i + 1) / steps), 18, height / steps + 0.5, scaleColour(f));
    }
    svg.rect(left, top, 18, height, "none", "black");
    AxisRange range{low, high, true};
    if (!(high > low)) range = {low / 1.5, low * 1.5, true};
    for (const double v : niceTicks(range, 5)) {
        const double py = top + height * (1.0 - logFraction(v, range.low, range.high));
        svg.line(left + 18, py, left + 23, py, "black");
        svg.text(left + 26, py + 4, tickText(v), 11);
    }
    svg.text(left - 6, top - 12, "ρa (Ω·m)", 12);
}

} // namespace

void plotPseudoSection(const Result_File& file, const std::string& name, std::ostream& out)
{
    const auto& results = file.getResults();
    const Section s = collect(results);
    if (s.points.empty()) throw std::runtime_error("no record with an apparent resistivity to plot");
    double x0 = std::numeric_limits<double>::max(), x1 = std::numeric_limits<double>::lowest(), depth = 0.0;
    for (const SectionPoint& p : s.points) {
        x0 = std::min(x0, p.position.abscissa), x1 = std::max(x1, p.position.abscissa);
        depth = std::max(depth, p.position.depth);
    }
    if (!s.electrodes.empty()) x0 = std::min(x0, s.electrodes.front()), x1 = std::max(x1, s.electrodes.back());
    SvgDocument svg(s_page_width, 520);
    svg.text(s_page_left, 24, name + " - apparent resistivity pseudo-section", 15, "start", 0, true);
    svg.text(s_page_left, 42,
             fmt::format("{} of {} records plotted; pseudo-depth = {} x largest electrode distance of the quadrupole", s.points.size(),
                         results.size(), ertkit::s_pseudo_depth_ratio),
             11);
    const PlotFrame frame(svg, s_page_left, 80, 780, 380, AxisRange::around(x0, x1, 0.03), AxisRange{0.0, depth > 0 ? depth * 1.1 : 1.0},
                          true);
    frame.drawAxes("position along the line (m)", "pseudo-depth (m)");
    for (const double e : s.electrodes) {
        const double px = frame.x(e);
        svg.line(px - 4, frame.top() - 8, px + 4, frame.top() - 8, "black");
        svg.line(px - 4, frame.top() - 8, px, frame.top() - 1, "black");
        svg.line(px + 4, frame.top() - 8, px, frame.top() - 1, "black");
    }
    const double radius = std::clamp(780.0 / (2.5 * std::max<std::size_t>(s.electrodes.size(), 1)), 2.5, 9.0);
    for (const SectionPoint& p : s.points)
        svg.circle(frame.x(p.position.abscissa), frame.y(p.position.depth), radius, scaleColour(logFraction(p.rhoa, s.low, s.high)), "#333333");
    colourBar(svg, 890, 110, 320, s.low, s.high);
    svg.write(out);
}

namespace {

void stackPanel(SvgDocument& svg, const Result_Reader& r, const ResultValues& v, double top)
{
    std::vector<double> stack;
    r.fillStackData(true, stack);
    const double period_ms = ertkit::samplePeriodMs(r);
    // A record without a stored stack (legacy files) still shows its windows over the cycle.
    const double cycle_ms = period_ms * static_cast<double>(stack.empty() ? r.getPeriod(true) : stack.size());
    double lo = 0.0, hi = 0.0;
    for (const double s : stack) lo = std::min(lo, s), hi = std::max(hi, s);
    const PlotFrame frame(svg, s_page_left, top, s_page_plot_width, 240, AxisRange{0.0, std::max(cycle_ms, 1.0)}, AxisRange::around(lo, hi));
    frame.title(fmt::format("stacked signal over one injection cycle ({} stacks)", v.stacks));
    frame.drawAxes("time in the cycle (ms)", "voltage (mV)");
    // The windows follow the first switch-off, one pulse into the cycle.
    const double pulse_ms = cycle_ms / static_cast<double>(InjectionData::getDutyCycleFactor(r.getInjectionType()));
    for (std::size_t w = 0; w + 1 < v.window_times.size(); ++w) {
        const double from = frame.x(pulse_ms + v.window_times[w]);
        const double to = frame.x(pulse_ms + v.window_times[w + 1]);
        if (to > from) svg.rect(from, frame.top(), std::min(to, frame.right()) - from, frame.bottom() - frame.top(), w % 2 ? "#ffcc80" : "#ffe0b2", "none", 0.6);
    }
    SvgDocument::Points points;
    points.reserve(stack.size());
    for (std::size_t i = 0; i < stack.size(); ++i) points.emplace_back(frame.x(period_ms * static_cast<double>(i)), frame.y(stack[i]));
    svg.polyline(points, "#1f5fa8", 1.2);
    if (std::all_of(stack.begin(), stack.end(), [](double v) { return v == 0.0; }))
        svg.text((frame.left() + frame.right()) / 2, (frame.top() + frame.bottom()) / 2, "no stacked signal stored in this record", 12, "middle");
}

void decayPanel(SvgDocument& svg, const ResultValues& v, double top)
{
    double hi = 0.0, end = 1.0;
    for (const double m : v.window_m) hi = std::max(hi, m);
    if (!v.window_times.empty()) end = v.window_times.back();
    const PlotFrame frame(svg, s_page_left, top, s_page_plot_width, 180, AxisRange{0.0, std::max(end, 1.0) * 1.05}, AxisRange{0.0, hi > 0 ? hi * 1.15 : 1.0});
    frame.title(fmt::format("chargeability decay: M = {:.4g} mV/V over {} windows", v.m, v.window_m.size()));
    frame.drawAxes("time after switch-off (ms)", "M (mV/V)");
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
    SvgDocument svg(s_page_width, 640);
    svg.text(s_page_left, 24, fmt::format("{} - record {}", name, record), 15, "start", 0, true);
    std::string where;
    for (std::size_t e = 0; e < 4; ++e)
        where += v.electrodes[e].remote() ? fmt::format("{} inf  ", "ABMN"[e]) : fmt::format("{} {:g} m  ", "ABMN"[e], v.electrodes[e].x);
    svg.text(s_page_left, 42,
             fmt::format("{}| Vp {:.4g} mV, I {:.4g} mA, rho_a {} ohm.m, start {}", where, v.vp, v.current,
                         v.rhoa ? fmt::format("{:.4g}", *v.rhoa) : "-", isoTime(v.start_time, "")),
             11);
    stackPanel(svg, r, v, 80);
    decayPanel(svg, v, 410);
    svg.write(out);
}

} // namespace ertkit_cli
