#include <services/SectionLayout.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace ertkit;

namespace {

// A, B, M, N at these distances along a line from `origin` in direction (dx, dy).
Quadrupole on(double a, double b, double m, double n, double dx = 1, double dy = 0, ElectrodePoint origin = {})
{
    const auto at = [&](double t) { return ElectrodePoint{origin.x + t * dx, origin.y + t * dy, 0}; };
    return {at(a), at(b), at(m), at(n)};
}

std::vector<SectionReading> drawn(const std::vector<Quadrupole>& quadrupoles)
{
    std::vector<SectionReading> readings;
    for (const Quadrupole& q : quadrupoles) readings.push_back({q, false, true});
    return readings;
}

TEST(SectionLayout, PlacesReadingsAlongTheFittedLine)
{
    const double c = std::sqrt(0.5);
    struct Case {
        const char* name;
        double dx, dy;
        ElectrodePoint origin;
        const char* title;
    };
    // Two Wenner readings, 0 15 5 10 and 5 20 10 15: at 7.5 and 12.5 from the line's start.
    const Case cases[] = {
        {"along x, x itself", 1, 0, {0, 0, 0}, "position along the line (m)"},
        {"along y, y itself and not the constant x", 0, 1, {100, 0, 0}, "distance along the line (m)"},
        {"oblique, from the first electrode", c, c, {20, 30, 0}, "position along the line (m)"},
    };
    for (const Case& k : cases) {
        const SectionLayout layout = sectionLayout(drawn({on(0, 15, 5, 10, k.dx, k.dy, k.origin), on(5, 20, 10, 15, k.dx, k.dy, k.origin)}));
        ASSERT_EQ(layout.points.size(), 2u) << k.name;
        EXPECT_NEAR(layout.points[0].position.abscissa, 7.5, 1e-9) << k.name;
        EXPECT_NEAR(layout.points[1].position.abscissa, 12.5, 1e-9) << k.name;
        EXPECT_NEAR(layout.points[1].position.depth, 0.19 * 15, 1e-9) << k.name;
        ASSERT_EQ(layout.electrodes.size(), 5u) << k.name;
        EXPECT_NEAR(layout.electrodes.back() - layout.electrodes.front(), 20, 1e-9) << k.name;
        EXPECT_EQ(distanceTitle(layout.line), k.title) << k.name;
        EXPECT_EQ(layout.points[0].array.kind, ArrayKind::Wenner) << k.name;
    }
}

TEST(SectionLayout, PanelsPerArraySplitBySpacingOnlyWhenPositionsRepeat)
{
    struct Case {
        const char* name;
        std::vector<Quadrupole> quadrupoles;
        std::vector<const char*> titles;
        std::vector<std::vector<std::size_t>> points;
    };
    // Dipole-dipoles of a = 5 m n = 2 and a = 2.5 m n = 6 share their position: 10 m, 3.8 m.
    const Case cases[] = {
        {"arrays apart, in a fixed order", {on(5, 0, 10, 15), on(0, 15, 5, 10)}, {"Wenner (1 readings)", "dipole-dipole (1 readings)"}, {{1}, {0}}},
        {"spacings apart where positions meet",
         {on(5, 0, 15, 20), on(2.5, 0, 17.5, 20), on(5, 0, 10, 15)},
         {"dipole-dipole, a = 2.5 m (1 readings)", "dipole-dipole, a = 5 m (2 readings)"},
         {{1}, {0, 2}}},
        {"other arrays are never split", {on(0, 3, 7, 20), on(0, 4, 6, 20)}, {"other arrays (2 readings, 1 repeat a position)"}, {{0, 1}}},
    };
    for (const Case& k : cases) {
        const SectionLayout layout = sectionLayout(drawn(k.quadrupoles));
        ASSERT_EQ(layout.panels.size(), k.titles.size()) << k.name;
        for (std::size_t p = 0; p < layout.panels.size(); ++p) {
            EXPECT_EQ(panelTitle(layout.panels[p]), k.titles[p]) << k.name;
            EXPECT_EQ(layout.panels[p].points, k.points[p]) << k.name;
        }
    }
}

TEST(SectionLayout, RepeatsDrawnOnceFromThoseMeasured)
{
    const Quadrupole first = on(0, 15, 5, 10), second = on(5, 20, 10, 15), spare = on(30, 45, 35, 40);
    const std::vector<SectionReading> readings{
        {first, true, true}, {first, false, true}, {second, true, true}, {second, true, true}, {spare, false, false}, {first, false, true},
    };
    const SectionLayout layout = sectionLayout(readings);
    ASSERT_EQ(layout.points.size(), 2u);
    EXPECT_EQ(layout.points[0].readings, (std::vector<std::size_t>{1, 5}));
    EXPECT_EQ(layout.points[0].ignored_repeats, 1u);
    EXPECT_FALSE(layout.points[0].ignore);
    EXPECT_EQ(layout.points[1].readings, (std::vector<std::size_t>{2, 3})) << "every repeat ignored: all of them";
    EXPECT_TRUE(layout.points[1].ignore);
    EXPECT_EQ(layout.drawn, 5u);
    EXPECT_EQ(layout.averaged, 2u);
    EXPECT_EQ(layout.ignored_repeats, 1u);
    // A reading not drawn keeps its place and its electrodes.
    EXPECT_TRUE(layout.positions[4]);
    EXPECT_EQ(layout.electrodes.back(), 45.0);
}

} // namespace
