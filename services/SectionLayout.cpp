#include <services/SectionLayout.h>

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <utility>

namespace ertkit {

namespace {

// A position to the micrometre, so that positions computed from the same electrodes compare
// equal.
std::pair<long long, long long> positionKey(const PseudoPosition& p)
{
    return {std::llround(p.abscissa * 1e6), std::llround(p.depth * 1e6)};
}

std::size_t repeatedPositions(const std::vector<SectionPoint>& points, const std::vector<std::size_t>& members)
{
    std::set<std::pair<long long, long long>> seen;
    std::size_t repeats = 0;
    for (const std::size_t k : members)
        if (!seen.insert(positionKey(points[k].position)).second) ++repeats;
    return repeats;
}

std::vector<SectionPanel> panelsOf(const std::vector<SectionPoint>& points)
{
    std::map<ArrayKind, std::vector<std::size_t>> by_kind;
    for (std::size_t k = 0; k < points.size(); ++k) by_kind[points[k].array.kind].push_back(k);
    std::vector<SectionPanel> panels;
    for (auto& [kind, group] : by_kind) {
        if (repeatedPositions(points, group) == 0 || kind == ArrayKind::General) {
            panels.push_back({kind, std::nullopt, std::move(group), 0});
            continue;
        }
        std::map<long long, std::vector<std::size_t>> by_spacing;
        for (const std::size_t k : group) by_spacing[std::llround(points[k].array.spacing * 1e6)].push_back(k);
        for (auto& [spacing, part] : by_spacing) panels.push_back({kind, static_cast<double>(spacing) * 1e-6, std::move(part), 0});
    }
    for (SectionPanel& panel : panels) panel.repeated_positions = repeatedPositions(points, panel.points);
    return panels;
}

// Repeats of one quadrupole among the readings drawn become one point: the mean of those not
// ignored, or of all when every one is.
void addPoints(const std::vector<SectionReading>& readings, const std::vector<std::size_t>& drawn, SectionLayout& layout)
{
    std::vector<Quadrupole> quadrupoles;
    quadrupoles.reserve(drawn.size());
    for (const std::size_t i : drawn) quadrupoles.push_back(readings[i].electrodes);
    const std::vector<std::size_t> groups = quadrupoleGroups(quadrupoles);
    const std::size_t count = groups.empty() ? 0 : *std::max_element(groups.begin(), groups.end()) + 1;
    std::vector<std::vector<std::size_t>> members(count);
    for (std::size_t k = 0; k < drawn.size(); ++k) members[groups[k]].push_back(drawn[k]);
    layout.points.reserve(count);
    for (const std::vector<std::size_t>& group : members) {
        const bool any_measured = std::any_of(group.begin(), group.end(), [&](std::size_t i) { return !readings[i].ignore; });
        SectionPoint point;
        for (const std::size_t i : group)
            if (!any_measured || !readings[i].ignore) point.readings.push_back(i);
        const std::size_t first = point.readings.front();
        point.position = *layout.positions[first];
        point.array = arrayGeometry(readings[first].electrodes, layout.line);
        point.ignore = readings[first].ignore;
        point.ignored_repeats = group.size() - point.readings.size();
        layout.averaged += point.readings.size() - 1;
        layout.ignored_repeats += point.ignored_repeats;
        layout.points.push_back(std::move(point));
    }
}

} // namespace

SectionLayout sectionLayout(const std::vector<SectionReading>& readings)
{
    SectionLayout layout;
    for (const SectionReading& r : readings) layout.line.add(r.electrodes);
    layout.line.fit();
    const LineFrame& line = layout.line;
    const auto along = [&line](const ElectrodePoint& p) { return line.along(p); };
    layout.positions.reserve(readings.size());
    std::vector<std::size_t> drawn;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const SectionReading& r = readings[i];
        for (const ElectrodePoint& p : r.electrodes)
            if (!p.remote() && std::isfinite(line.along(p))) layout.electrodes.push_back(line.along(p));
        // A position that is not a number has no place on the section, nor has a reading whose
        // electrodes lie further apart than a double holds.
        const bool finite = finitePositions(r.electrodes);
        auto position = finite ? pseudoPosition(r.electrodes, along) : std::nullopt;
        if (!finite || (position && !(std::isfinite(position->abscissa) && std::isfinite(position->depth)))) {
            ++layout.not_finite;
            position.reset();
        }
        layout.positions.push_back(position);
        if (position && r.drawn) drawn.push_back(i);
    }
    std::sort(layout.electrodes.begin(), layout.electrodes.end());
    layout.electrodes.erase(std::unique(layout.electrodes.begin(), layout.electrodes.end()), layout.electrodes.end());
    layout.drawn = drawn.size();
    addPoints(readings, drawn, layout);
    layout.panels = panelsOf(layout.points);
    return layout;
}

std::string panelName(const SectionPanel& panel)
{
    std::string name = arrayName(panel.kind);
    if (panel.spacing) name += fmt::format(", a = {:g} m", *panel.spacing);
    return name;
}

std::string panelTitle(const SectionPanel& panel)
{
    std::string title = panelName(panel) + fmt::format(" ({} readings", panel.points.size());
    if (panel.repeated_positions > 0) title += fmt::format(", {} repeat a position", panel.repeated_positions);
    return title + ")";
}

std::string distanceTitle(const LineFrame& line)
{
    return line.straight() && !line.alongY() ? "position along the line (m)" : "distance along the line (m)";
}

double meanOfShares(const std::vector<double>& values)
{
    const double n = static_cast<double>(values.size());
    double sum = 0.0;
    for (const double v : values) sum += v / n;
    return sum;
}

} // namespace ertkit
