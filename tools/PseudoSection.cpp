#include "PseudoSection.h"

#include "ColourScale.h"
#include "PlotFrame.h"
#include "SectionFill.h"

#include <services/ArrayKind.h>
#include <services/ResultColumns.h>
#include <services/SectionLayout.h>
#include <services/SectionQuantity.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <tuple>

namespace ertkit_cli {

namespace {

using ertkit::ArrayKind;
using Quantity = ertkit::SectionQuantity;

// A marker: one reading, or the mean of the repeats of its quadrupole.
struct Reading {
    std::size_t index = 0;
    ertkit::PseudoPosition position;
    double value = 0.0;
    std::optional<double> rhoa;
    double m = 0.0;
    bool ignore = false;
    ertkit::ArrayGeometry array;
    // The records in its mean when there are several (the first is `index`), and the ignored
    // repeats left out of it.
    std::vector<std::size_t> averaged;
    std::size_t ignored_repeats = 0;
};

struct Panel {
    ArrayKind kind = ArrayKind::General;
    std::string title;
    std::vector<Reading> readings;
};

std::string plural(std::size_t count, const char* noun)
{
    return fmt::format("{} {}{}", count, noun, count == 1 ? "" : "s");
}

// The records a marker stands for: one, or the repeats of its quadrupole in its mean.
std::string recordsText(const Reading& r)
{
    constexpr std::size_t listed = 4;
    std::string text;
    if (r.averaged.size() <= 1) {
        text = fmt::format("record {}", r.index);
    } else {
        text = "records ";
        for (std::size_t i = 0; i < std::min(r.averaged.size(), listed); ++i) text += fmt::format("{}{}", i == 0 ? "" : ", ", r.averaged[i]);
        if (r.averaged.size() > listed) text += ", …";
    }
    std::vector<std::string> notes;
    if (r.averaged.size() > 1) notes.push_back(fmt::format("mean of {}", r.averaged.size()));
    if (r.ignored_repeats > 0) notes.push_back(plural(r.ignored_repeats, "ignored repeat") + " left out");
    if (!notes.empty()) text += fmt::format(" ({})", fmt::join(notes, ", "));
    return text;
}

std::string hoverText(const Reading& r, const Quantity& q)
{
    std::string text = fmt::format("{}: {} {:.4g} {}", recordsText(r), q.symbol, r.value, q.unit);
    if (std::string(q.key) != "rhoa" && r.rhoa) text += fmt::format(", ρa {:.4g} Ω·m", *r.rhoa);
    if (std::string(q.key) != "m") text += fmt::format(", M {:.4g} mV/V", r.m);
    if (r.array.kind != ArrayKind::General) text += fmt::format(", {} a = {:g} m n = {:g}", ertkit::arrayName(r.array.kind), r.array.spacing, r.array.n);
    if (r.ignore) text += ", ignored";
    return text;
}

void colourBar(SvgDocument& svg, double left, double top, double height, const AxisRange& range, const Quantity& q)
{
    svg.beginGroup("class=\"colour-bar\"");
    constexpr int steps = 64;
    for (int i = 0; i < steps; ++i) {
        const double f = (i + 0.5) / steps;
        svg.rect(left, top + height * (1.0 - static_cast<double>(i + 1) / steps), 18, height / steps + 0.5, scaleColour(f));
    }
    svg.rect(left, top, 18, height, "none", "black");
    for (const ColourTick& t : colourBarTicks(range, height)) {
        const double py = top + height * (1.0 - t.fraction);
        svg.line(left + 18, py, left + 23, py, "black");
        svg.text(left + 26, py + 4, t.text, 11);
    }
    svg.text(left - 6, top - 12, q.title(), 12);
    svg.endGroup();
}

// The scale of the colours: the values' span, widened around a single value.
AxisRange colourRange(double low, double high, bool log)
{
    if (high > low) return {low, high, log};
    if (log) return {low / 1.5, low * 1.5, true};
    const AxisRange around = AxisRange::around(low, high);
    return {around.low, around.high, false};
}

// The values' span for the colours, or the limits asked for; notes what the limits leave at
// the end colours.
AxisRange colourLimitsOf(const std::vector<Reading>& readings, const SectionOptions& options, bool log, std::vector<std::string>& notes)
{
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    for (const Reading& r : readings) low = std::min(low, r.value), high = std::max(high, r.value);
    if (!options.range && options.clip == 0.0) return colourRange(low, high, log);
    std::string how;
    if (options.range) {
        std::tie(low, high) = *options.range;
        how = "colours limited to";
    } else {
        std::vector<double> values;
        values.reserve(readings.size());
        for (const Reading& r : readings) values.push_back(r.value);
        std::tie(low, high) = clippedLimits(std::move(values), options.clip);
        how = fmt::format("colours clipped to the {:g} to {:g} % percentiles,", options.clip, 100.0 - options.clip);
    }
    const auto below = std::count_if(readings.begin(), readings.end(), [&](const Reading& r) { return r.value < low; });
    const auto above = std::count_if(readings.begin(), readings.end(), [&](const Reading& r) { return r.value > high; });
    notes.push_back(fmt::format("{} {:.4g} to {:.4g} ({} below, {} above take the end colours)", how, low, high,
                                plural(static_cast<std::size_t>(below), "reading"), above));
    return colourRange(low, high, log && low > 0.0);
}

} // namespace

void plotPseudoSection(const Result_File& file, const std::string& name, const SectionOptions& options, std::ostream& out)
{
    const Quantity& q = ertkit::sectionQuantity(options.quantity);
    if (!(options.clip >= 0.0 && options.clip < 50.0))
        throw std::invalid_argument(fmt::format("--clip {}: expected a percentage from 0 up to, not including, 50", options.clip));
    const auto& results = file.getResults();
    const auto columns = ertkit::resultColumns(0);
    const auto column = std::find_if(columns.begin(), columns.end(), [&](const ertkit::ResultColumn& c) { return c.name == q.column; });
    if (column == columns.end()) throw std::logic_error(std::string("no result column ") + q.column);
    // Each record's values, and what the section is given of it.
    struct Values {
        double value = 0.0;
        std::optional<double> rhoa;
        double m = 0.0;
    };
    std::vector<Values> values(results.size());
    std::vector<ertkit::SectionReading> section(results.size());
    ertkit::ResultRow row;
    for (std::size_t i = 0; i < results.size(); ++i) {
        row.index = static_cast<std::int64_t>(i);
        ertkit::readResultValues(*results[i], row.values);
        const ertkit::ResultValues& v = row.values;
        const auto value = column->real(row);
        values[i] = {value.value_or(0.0), v.rhoa, v.m};
        section[i] = {v.electrodes, v.ignore, value && std::isfinite(*value) && !(v.ignore && options.skip_ignored)};
    }
    const ertkit::SectionLayout layout = ertkit::sectionLayout(section);
    const std::vector<double>& electrodes = layout.electrodes;
    const std::string left_out = fmt::format("{} with electrode positions that are not finite numbers left out", layout.not_finite);
    if (layout.points.empty())
        throw std::runtime_error(
            fmt::format("no record with a value of {} to plot{}", q.symbol, layout.not_finite > 0 ? " (" + left_out + ")" : ""));
    std::vector<Reading> readings;
    readings.reserve(layout.points.size());
    for (const ertkit::SectionPoint& p : layout.points) {
        std::vector<double> value, rhoa, m;
        for (const std::size_t i : p.readings) {
            value.push_back(values[i].value), m.push_back(values[i].m);
            if (values[i].rhoa) rhoa.push_back(*values[i].rhoa);
        }
        readings.push_back({p.readings.front(), p.position, ertkit::meanOfShares(value),
                            rhoa.empty() ? std::nullopt : std::optional<double>(ertkit::meanOfShares(rhoa)), ertkit::meanOfShares(m), p.ignore,
                            p.array, p.readings, p.ignored_repeats});
    }
    std::vector<std::string> notes;
    if (layout.not_finite > 0) notes.push_back(left_out);
    if (layout.averaged > 0) notes.push_back(plural(layout.averaged, "repeated reading") + " averaged");
    if (layout.ignored_repeats > 0) notes.push_back(plural(layout.ignored_repeats, "ignored repeat") + " left out");
    double x0 = std::numeric_limits<double>::max(), x1 = std::numeric_limits<double>::lowest(), depth = 0.0;
    bool all_positive = true;
    for (const Reading& r : readings) {
        x0 = std::min(x0, r.position.abscissa), x1 = std::max(x1, r.position.abscissa), depth = std::max(depth, r.position.depth);
        all_positive = all_positive && r.value > 0.0;
    }
    if (!electrodes.empty()) x0 = std::min(x0, electrodes.front()), x1 = std::max(x1, electrodes.back());
    const AxisRange colours = colourLimitsOf(readings, options, q.log && all_positive, notes);
    std::vector<Panel> panels;
    for (const ertkit::SectionPanel& p : layout.panels) {
        Panel& panel = panels.emplace_back(Panel{p.kind, ertkit::panelTitle(p), {}});
        for (const std::size_t k : p.points) panel.readings.push_back(readings[k]);
    }
    const std::size_t plotted = layout.drawn;

    const double panel_height = panels.size() == 1 ? 380.0 : 260.0, panel_gap = 90.0, top = 80.0;
    const double page_height = std::max(top + static_cast<double>(panels.size()) * (panel_height + panel_gap) + (panels.size() > 1 ? 20.0 : 0.0), 480.0);
    SvgDocument svg(s_page_width, page_height);
    svg.text(s_page_left, 24, fmt::format("{} - {} pseudo-section", name, q.title()), 15, "start", 0, true);
    svg.text(s_page_left, 42,
             fmt::format("{} of {} records plotted{}; pseudo-depth = {} x largest electrode distance of the quadrupole", plotted,
                         results.size(), options.skip_ignored ? " (ignored ones left out)" : ", ignored ones hollow",
                         ertkit::s_pseudo_depth_ratio),
             11);
    if (!notes.empty()) svg.text(s_page_left, 57, fmt::format("{}", fmt::join(notes, "; ")), 11);
    const double radius = std::clamp(780.0 / (2.5 * static_cast<double>(std::max<std::size_t>(electrodes.size(), 1))), 1.5, 9.0);
    for (std::size_t k = 0; k < panels.size(); ++k) {
        const Panel& panel = panels[k];
        const PlotFrame frame(svg, s_page_left, top + static_cast<double>(k) * (panel_height + panel_gap) + (panels.size() > 1 ? 20.0 : 0.0), 780,
                              panel_height, AxisRange::around(x0, x1, 0.03), AxisRange{0.0, depth > 0 ? depth * 1.1 : 1.0}, true);
        // Above the electrode marks.
        if (panels.size() > 1) svg.text(frame.left(), frame.top() - 16, panel.title, 13, "start", 0, true);
        frame.drawAxes(ertkit::distanceTitle(layout.line), "pseudo-depth (m)");
        svg.beginGroup(fmt::format("class=\"panel\" data-array=\"{}\"", ertkit::arrayName(panel.kind)));
        if (options.fill) {
            std::vector<SectionNode> nodes;
            nodes.reserve(panel.readings.size());
            for (const Reading& r : panel.readings)
                if (!r.ignore) nodes.push_back({frame.x(r.position.abscissa), frame.y(r.position.depth), r.position.depth, colourFraction(colours, r.value)});
            fillSection(svg, nodes);
        }
        for (const double e : electrodes) {
            const double px = frame.x(e);
            svg.line(px - 4, frame.top() - 8, px + 4, frame.top() - 8, "black");
            svg.line(px - 4, frame.top() - 8, px, frame.top() - 1, "black");
            svg.line(px + 4, frame.top() - 8, px, frame.top() - 1, "black");
        }
        // Ignored readings are drawn hollow, their ring in their colour, after the others.
        const bool any_ignored = std::any_of(panel.readings.begin(), panel.readings.end(), [](const Reading& r) { return r.ignore; });
        for (const bool ignored : {false, true}) {
            if (ignored && !any_ignored) continue;
            svg.beginGroup(ignored ? "class=\"markers ignored\" stroke-width=\"2\"" : "class=\"markers\" stroke-width=\"1\"");
            for (const Reading& r : panel.readings) {
                if (r.ignore != ignored) continue;
                const std::string colour = scaleColour(colourFraction(colours, r.value));
                svg.marker(frame.x(r.position.abscissa), frame.y(r.position.depth), radius, ignored ? "white" : colour.c_str(),
                           ignored ? colour.c_str() : "#333333", hoverText(r, q));
            }
            svg.endGroup();
        }
        svg.endGroup();
    }
    colourBar(svg, 890, 110, 320, colours, q);
    svg.write(out);
}

} // namespace ertkit_cli
