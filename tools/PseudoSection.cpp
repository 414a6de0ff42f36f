#include "PseudoSection.h"

#include "ColourScale.h"
#include "PlotFrame.h"
#include "SectionFill.h"

#include <services/ArrayKind.h>
#include <services/Geometry.h>
#include <services/ResultColumns.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>
#include <tuple>

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
    ertkit::Quadrupole electrodes{};
    // A reading drawn for repeats of its quadrupole: the records in its mean (the first is
    // `index`), and the ignored repeats left out of it.
    std::vector<std::size_t> averaged;
    std::size_t ignored_repeats = 0;
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

// Repeated readings of one quadrupole become one reading: the mean of those not ignored, or of
// all when every one is. Readings keep the order of their first record.
std::vector<Reading> averageRepeats(std::vector<Reading> readings, std::size_t& averaged, std::size_t& ignored_repeats)
{
    std::vector<ertkit::Quadrupole> quadrupoles;
    quadrupoles.reserve(readings.size());
    for (const Reading& r : readings) quadrupoles.push_back(r.electrodes);
    const std::vector<std::size_t> groups = ertkit::quadrupoleGroups(quadrupoles);
    const std::size_t count = groups.empty() ? 0 : *std::max_element(groups.begin(), groups.end()) + 1;
    if (count == readings.size()) return readings;
    std::vector<std::vector<std::size_t>> members(count);
    for (std::size_t i = 0; i < readings.size(); ++i) members[groups[i]].push_back(i);
    std::vector<Reading> merged;
    merged.reserve(count);
    for (const std::vector<std::size_t>& group : members) {
        const bool any_measured = std::any_of(group.begin(), group.end(), [&](std::size_t i) { return !readings[i].ignore; });
        std::vector<std::size_t> in_mean;
        for (const std::size_t i : group)
            if (!any_measured || !readings[i].ignore) in_mean.push_back(i);
        Reading r = readings[in_mean.front()];
        r.index = readings[group.front()].index;
        r.ignored_repeats = group.size() - in_mean.size();
        if (group.size() > 1) {
            // Sums of shares, which do not overflow for values near the largest double.
            const double n = static_cast<double>(in_mean.size());
            const auto with_rhoa = static_cast<double>(std::count_if(in_mean.begin(), in_mean.end(), [&](std::size_t i) { return readings[i].rhoa.has_value(); }));
            double value = 0.0, m = 0.0, rhoa = 0.0;
            for (const std::size_t i : in_mean) {
                value += readings[i].value / n, m += readings[i].m / n;
                if (readings[i].rhoa) rhoa += *readings[i].rhoa / with_rhoa;
                r.averaged.push_back(readings[i].index);
            }
            r.value = value, r.m = m;
            r.rhoa = with_rhoa > 0 ? std::optional<double>(rhoa) : std::nullopt;
            r.index = r.averaged.front();
            averaged += in_mean.size() - 1;
            ignored_repeats += r.ignored_repeats;
        }
        merged.push_back(std::move(r));
    }
    return merged;
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
    const Quantity& q = quantityOf(options.quantity);
    if (!(options.clip >= 0.0 && options.clip < 50.0))
        throw std::invalid_argument(fmt::format("--clip {}: expected a percentage from 0 up to, not including, 50", options.clip));
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
    std::size_t not_finite = 0;
    for (std::size_t i = 0; i < results.size(); ++i) {
        row.index = static_cast<std::int64_t>(i);
        ertkit::readResultValues(*results[i], row.values);
        const ertkit::ResultValues& v = row.values;
        for (const ertkit::ElectrodePoint& p : v.electrodes)
            if (!p.remote() && std::isfinite(line.along(p))) electrodes.push_back(line.along(p));
        // A position that is not a number has no place on the section, nor has a reading whose
        // electrodes lie further apart than a double holds.
        const bool finite = ertkit::finitePositions(v.electrodes);
        const auto position = finite ? ertkit::pseudoPosition(v.electrodes, along) : std::nullopt;
        if (!finite || (position && !(std::isfinite(position->abscissa) && std::isfinite(position->depth)))) {
            ++not_finite;
            continue;
        }
        const auto value = column->real(row);
        if (!position || !value || !std::isfinite(*value) || (v.ignore && options.skip_ignored)) continue;
        readings.push_back({i, *position, *value, v.rhoa, v.m, v.ignore, ertkit::arrayGeometry(v.electrodes, line), v.electrodes, {}, 0});
    }
    const std::string left_out = fmt::format("{} with electrode positions that are not finite numbers left out", not_finite);
    if (readings.empty())
        throw std::runtime_error(fmt::format("no record with a value of {} to plot{}", q.symbol, not_finite > 0 ? " (" + left_out + ")" : ""));
    std::sort(electrodes.begin(), electrodes.end());
    electrodes.erase(std::unique(electrodes.begin(), electrodes.end()), electrodes.end());
    const std::size_t plotted = readings.size();
    std::size_t averaged = 0, ignored_repeats = 0;
    readings = averageRepeats(std::move(readings), averaged, ignored_repeats);
    std::vector<std::string> notes;
    if (not_finite > 0) notes.push_back(left_out);
    if (averaged > 0) notes.push_back(plural(averaged, "repeated reading") + " averaged");
    if (ignored_repeats > 0) notes.push_back(plural(ignored_repeats, "ignored repeat") + " left out");
    double x0 = std::numeric_limits<double>::max(), x1 = std::numeric_limits<double>::lowest(), depth = 0.0;
    bool all_positive = true;
    for (const Reading& r : readings) {
        x0 = std::min(x0, r.position.abscissa), x1 = std::max(x1, r.position.abscissa), depth = std::max(depth, r.position.depth);
        all_positive = all_positive && r.value > 0.0;
    }
    if (!electrodes.empty()) x0 = std::min(x0, electrodes.front()), x1 = std::max(x1, electrodes.back());
    const AxisRange colours = colourLimitsOf(readings, options, q.log && all_positive, notes);
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
    if (!notes.empty()) svg.text(s_page_left, 57, fmt::format("{}", fmt::join(notes, "; ")), 11);
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
