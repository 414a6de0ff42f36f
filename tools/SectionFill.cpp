#include "SectionFill.h"

#include "ColourScale.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace ertkit_cli {

namespace {

using Level = std::vector<SectionNode>;

std::vector<Level> levelsOf(std::vector<SectionNode>& nodes)
{
    std::map<long long, Level> by_depth;
    for (const SectionNode& n : nodes) by_depth[std::llround(n.depth * 1e6)].push_back(n);
    std::vector<Level> levels;
    for (auto& [depth, level] : by_depth) {
        std::sort(level.begin(), level.end(), [](const SectionNode& a, const SectionNode& b) { return a.px < b.px; });
        levels.push_back(std::move(level));
    }
    return levels;
}

// The median distance between neighbours of a level, in pixels.
double usualSpacing(const std::vector<Level>& levels)
{
    std::vector<double> gaps;
    for (const Level& level : levels)
        for (std::size_t i = 1; i < level.size(); ++i) gaps.push_back(level[i].px - level[i - 1].px);
    if (gaps.empty()) return 0.0;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

void triangle(SvgDocument& svg, SvgDocument::Points& corners, const SectionNode& a, const SectionNode& b, const SectionNode& c, double longest)
{
    const auto far = [&](const SectionNode& p, const SectionNode& q) { return std::abs(p.px - q.px) > longest; };
    if (far(a, b) || far(b, c) || far(a, c)) return;
    const auto mid = [](const SectionNode& p, const SectionNode& q) {
        return SectionNode{(p.px + q.px) / 2, (p.py + q.py) / 2, 0.0, (p.fraction + q.fraction) / 2};
    };
    const SectionNode ab = mid(a, b), bc = mid(b, c), ca = mid(c, a);
    const auto draw = [&](const SectionNode& p, const SectionNode& q, const SectionNode& r) {
        corners.assign({{p.px, p.py}, {q.px, q.py}, {r.px, r.py}});
        svg.polygon(corners, scaleColour((p.fraction + q.fraction + r.fraction) / 3));
    };
    draw(a, ab, ca);
    draw(ab, b, bc);
    draw(ca, bc, c);
    draw(ab, bc, ca);
}

} // namespace

void fillSection(SvgDocument& svg, std::vector<SectionNode> nodes)
{
    const std::vector<Level> levels = levelsOf(nodes);
    const double spacing = usualSpacing(levels);
    if (!(spacing > 0.0)) return;
    const double longest = 3.0 * spacing;
    SvgDocument::Points corners;
    svg.beginGroup("class=\"fill\"");
    for (std::size_t k = 0; k + 1 < levels.size(); ++k) {
        const Level& up = levels[k];
        const Level& down = levels[k + 1];
        std::size_t i = 0, j = 0;
        while (i + 1 < up.size() || j + 1 < down.size()) {
            // Advance on the level whose next reading makes the shorter diagonal.
            const bool step_up = j + 1 >= down.size() ||
                                 (i + 1 < up.size() && std::abs(up[i + 1].px - down[j].px) <= std::abs(down[j + 1].px - up[i].px));
            if (step_up) {
                triangle(svg, corners, up[i], down[j], up[i + 1], longest);
                ++i;
            } else {
                triangle(svg, corners, up[i], down[j], down[j + 1], longest);
                ++j;
            }
        }
    }
    svg.endGroup();
}

} // namespace ertkit_cli
