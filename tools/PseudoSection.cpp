#include "PseudoSection.h"

#include "ColourScale.h"
#include "PlotFrame.h"
#include "SectionFill.h"

#include <services/ArrayKind.h>
#include <services/ResultColumns.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>

namespace ertkit_cli {

namespace {

using ertkit::ArrayKind;

struct Quantity {
    const char* key;
    const char* column; // in ResultColumns
    const char* symbol;
    const char* unit;
    bool log;           // log scale when every value is positive

    std::string title() const { return fmt::format("{} ({})", symbol, unit); }
};

constexpr Quantity s_quantities[] = {
    {"rhoa", "rhoa_ohm_m", "ρa", "Ω·m", true}, {"m", "m_mV_V", "M", "mV/V", false}, {"r", "r_ohm", "R", "Ω", true},
    {"vp", "vp_mV", "Vp", "mV", true},         {"i", "i_mA", "I", "mA", true},      {"k", "k_m", "K", "m", true},
};

const Quantity& quantityOf(const std::string& key)
{
    for (const Quantity& q : s_quantities)
        if (key == q.key) return q;
    throw std::invalid_argument("unknown quantity " + key + " (expected rhoa, m, r, vp, i or k)");
}

struct Reading {
    std::size_t index = 0;
    ertkit::PseudoPosition position;
    double value = 0.0;
    std::optional<double> rhoa;
    double m = 0.0;
    bool ignore = false;
    ertkit::ArrayGeometry array;
};

struct Panel {
    ArrayKind kind = ArrayKind::General;
    std::optional<double> spacing; // when the panel holds one spacing of its array
    std::vector<Reading> readings;
};

// A position to the micrometre, so that positions computed from the same electrodes compare
// equal.
std::pair<long long, long long> positionKey(const ertkit::PseudoPosition& p)
{
    return {std::llround(p.abscissa * 1e6), std::llround(p.depth * 1e6)};
}

std::size_t repeatedPositions(const std::vector<Reading>& readings)
{
    std::set<std::pair<long long, long long>> seen;
    std::size_t repeats = 0;
    for (const Reading& r : readings)
        if (!seen.insert(positionKey(r.position)).second) ++repeats;
    return repeats;
}

// One panel per array, split by spacing when an array's readings would hide each other.
std::vector<Panel> panelsOf(std::vector<Reading> readings)
{
    std::map<ArrayKind, std::vector<Reading>> by_kind;
    for (Reading& r : readings) by_kind[r.array.kind].push_back(std::move(r));
    std::vector<Panel> panels;
    for (auto& [kind, group] : by_kind) {
        if (repeatedPositions(group) == 0 || kind == ArrayKind::General) {
            panels.push_back({kind, std::nullopt, std::move(group)});
            continue;
        }
        std::map<long long, std::vector<Reading>> by_spacing;
        for (Reading& r : group) by_spacing[std::llround(r.array.spacing * 1e6)].push_back(std::move(r));
        for (auto& [spacing, part] : by_spacing) panels.push_back({kind, static_cast<double>(spacing) * 1e-6, std::move(part)});
    }
    return panels;
}

std::string panelTitle(const Panel& panel)
{
    std::string title = ertkit::arrayName(panel.kind);
    if (panel.spacing) title += fmt::format(", a = {:g} m", *panel.spacing);
    title += fmt::format(" ({} readings", panel.readings.size());
    if (const std::size_t repeats = repeatedPositions(panel.readings)) title += fmt::format(", {} repeat a position", repeats);
    return title + ")";
}

std::string hoverText(const Reading& r, const Quantity& q)
{
    std::string text = fmt::format("record {}: {} {:.4g} {}", r.index, q.symbol, r.value, q.unit);
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

} // namespace

void plotPseudoSection(const Result_File& file, const std::string& name, const SectionOptions& options, std::ostream& out)
{
    const Quantity& q = quantityOf(options.quantity);
    const auto& results = file.getResults();
    const auto columns = ertkit::resultColumns(0);
    const auto column = std::find_if(columns.begin(), columns.end(), [&](const ertkit::ResultColumn& c) { return c.name == q.column; });
    if (column == columns.end()) throw std::logic_error(std::string("no result column ") + q.column);
    ertkit::LineFrame line;
    ertkit::ResultRow row;
    for (const Result_Reader* r : results) {
        ertkit::readResultValues(*r, row.values);
        line.add(row.values.electrodes);
    }
    line.fit();
    const auto along = [&line](const ertkit::ElectrodePoint& p) { return line.along(p); };
    std::vector<Reading> readings;
    readings.reserve(results.size());
    std::vector<double> electrodes;
    electrodes.reserve(4 * results.size());
    bool all_positive = true;
    for (std::size_t i = 0; i < results.size(); ++i) {
        row.index = static_cast<std::int64_t>(i);
        ertkit::readResultValues(*results[i], row.values);
        const ertkit::ResultValues& v = row.values;
        for (const ertkit::ElectrodePoint& p : v.electrodes)
            if (!p.remote()) electrodes.push_back(line.along(p));
        const auto position = ertkit::pseudoPosition(v.electrodes, along);
        const auto value = column->real(row);
        if (!position || !value || !std::isfinite(*value) || (v.ignore && options.skip_ignored)) continue;
        all_positive = all_positive && *value > 0.0;
        readings.push_back({i, *position, *value, v.rhoa, v.m, v.ignore, ertkit::arrayGeometry(v.electrodes, line)});
    }
    if (readings.empty()) throw std::runtime_error(fmt::format("no record with a value of {} to plot", q.symbol));
    std::sort(electrodes.begin(), electrodes.end());
    electrodes.erase(std::unique(electrodes.begin(), electrodes.end()), electrodes.end());
    double x0 = std::numeric_limits<double>::max(), x1 = std::numeric_limits<double>::lowest(), depth = 0.0;
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    for (const Reading& r : readings) {
        x0 = std::min(x0, r.position.abscissa), x1 = std::max(x1, r.position.abscissa), depth = std::max(depth, r.position.depth);
        low = std::min(low, r.value), high = std::max(high, r.value);
    }
    if (!electrodes.empty()) x0 = std::min(x0, electrodes.front()), x1 = std::max(x1, electrodes.back());
    const AxisRange colours = colourRange(low, high, q.log && all_positive);
    const std::size_t plotted = readings.size();
    const std::vector<Panel> panels = panelsOf(std::move(readings));

    const double panel_height = panels.size() == 1 ? 380.0 : 260.0, panel_gap = 90.0, top = 80.0;
    const double page_height = std::max(top + static_cast<double>(panels.size()) * (panel_height + panel_gap) + (panels.size() > 1 ? 20.0 : 0.0), 480.0);
    SvgDocument svg(s_page_width, page_height);
    svg.text(s_page_left, 24, fmt::format("{} - {} pseudo-section", name, q.title()), 15, "start", 0, true);
    svg.text(s_page_left, 42,
             fmt::format("{} of {} records plotted{}; pseudo-depth = {} x largest electrode distance of the quadrupole", plotted,
                         results.size(), options.skip_ignored ? " (ignored ones left out)" : ", ignored ones hollow",
                         ertkit::s_pseudo_depth_ratio),
             11);
    const double radius = std::clamp(780.0 / (2.5 * static_cast<double>(std::max<std::size_t>(electrodes.size(), 1))), 1.5, 9.0);
    for (std::size_t k = 0; k < panels.size(); ++k) {
        const Panel& panel = panels[k];
        const PlotFrame frame(svg, s_page_left, top + static_cast<double>(k) * (panel_height + panel_gap) + (panels.size() > 1 ? 20.0 : 0.0), 780,
                              panel_height, AxisRange::around(x0, x1, 0.03), AxisRange{0.0, depth > 0 ? depth * 1.1 : 1.0}, true);
        // Above the electrode marks.
        if (panels.size() > 1) svg.text(frame.left(), frame.top() - 16, panelTitle(panel), 13, "start", 0, true);
        frame.drawAxes(line.straight() && !line.alongY() ? "position along the line (m)" : "distance along the line (m)", "pseudo-depth (m)");
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
