#include <services/Geometry.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace ertkit;

namespace {

constexpr double pi = std::numbers::pi;
constexpr double far = 9999998.0;

Quadrupole line(double a, double b, double m, double n)
{
    return {ElectrodePoint{a, 0, 0}, ElectrodePoint{b, 0, 0}, ElectrodePoint{m, 0, 0}, ElectrodePoint{n, 0, 0}};
}

struct KCase {
    const char* name;
    Quadrupole q;
    std::optional<double> k;
};

TEST(GeometricFactor, ClassicArrays)
{
    const double a = 5.0;
    const KCase cases[] = {
        {"Wenner", line(0, 3 * a, a, 2 * a), 2 * pi * a},
        {"Schlumberger", line(0, 10, 4, 6), pi * (5 * 5 - 1 * 1) / 2.0},
        // With B between A and M the potential at M is lower than at N: K takes the sign.
        {"dipole-dipole n=1, A B M N", line(0, a, 2 * a, 3 * a), -pi * 1 * 2 * 3 * a},
        {"dipole-dipole n=4, B A M N", line(a, 0, 5 * a, 6 * a), pi * 4 * 5 * 6 * a},
        {"pole-dipole, B remote", {ElectrodePoint{0, 0, 0}, ElectrodePoint{far, 0, 0}, ElectrodePoint{a, 0, 0}, ElectrodePoint{2 * a, 0, 0}},
         2 * pi * a * 2},
        {"pole-pole, B and N remote (sentinel in y)",
         {ElectrodePoint{0, 0, 0}, ElectrodePoint{0, far, 0}, ElectrodePoint{a, 0, 0}, ElectrodePoint{0, -2 * far, 0}}, 2 * pi * a},
        {"both current electrodes remote", {ElectrodePoint{far, 0, 0}, ElectrodePoint{far, 0, 0}, ElectrodePoint{1, 0, 0}, ElectrodePoint{2, 0, 0}},
         std::nullopt},
        {"both potential electrodes remote", {ElectrodePoint{0, 0, 0}, ElectrodePoint{1, 0, 0}, ElectrodePoint{far, 0, 0}, ElectrodePoint{far, 0, 0}},
         std::nullopt},
        {"M on A", line(0, 10, 0, 5), std::nullopt},
        {"symmetric: M and N equidistant from A and B", {ElectrodePoint{-1, 0, 0}, ElectrodePoint{1, 0, 0}, ElectrodePoint{0, 1, 0}, ElectrodePoint{0, 2, 0}},
         std::nullopt},
    };
    for (const KCase& c : cases) {
        const auto k = geometricFactor(c.q);
        ASSERT_EQ(k.has_value(), c.k.has_value()) << c.name;
        if (k) {
            EXPECT_NEAR(*k, *c.k, 1e-9 * std::abs(*c.k)) << c.name;
        }
    }
}

TEST(GeometricFactor, UsesThreeDimensionalDistances)
{
    // M straight below A at depth 3 and the rest far along x: the AM term is 1/3.
    const Quadrupole q{ElectrodePoint{0, 0, 0}, ElectrodePoint{far, 0, 0}, ElectrodePoint{0, 0, -3}, ElectrodePoint{0, far, 0}};
    EXPECT_NEAR(*geometricFactor(q), 2 * pi * 3, 1e-12);
}

TEST(GeometricFactor, RemoteFromTheSentinelOn)
{
    EXPECT_FALSE((ElectrodePoint{9999997.9, 0, 0}.remote()));
    EXPECT_TRUE((ElectrodePoint{9999998.0, 0, 0}.remote()));
    EXPECT_TRUE((ElectrodePoint{0, -1e9, 0}.remote()));
}

TEST(PseudoPosition, MidpointAndDepthOfTheFiniteElectrodes)
{
    const auto x = [](const ElectrodePoint& p) { return p.x; };
    const auto wenner = pseudoPosition(line(0, 15, 5, 10), x);
    ASSERT_TRUE(wenner);
    EXPECT_DOUBLE_EQ(wenner->abscissa, 7.5);
    EXPECT_DOUBLE_EQ(wenner->depth, 0.19 * 15);

    const Quadrupole pole_dipole{ElectrodePoint{0, 0, 0}, ElectrodePoint{far, 0, 0}, ElectrodePoint{10, 0, 0}, ElectrodePoint{20, 0, 0}};
    const auto pd = pseudoPosition(pole_dipole, x);
    ASSERT_TRUE(pd);
    EXPECT_DOUBLE_EQ(pd->abscissa, 10.0);
    EXPECT_DOUBLE_EQ(pd->depth, 0.19 * 20);

    const Quadrupole along_y{ElectrodePoint{1, 0, 0}, ElectrodePoint{1, 30, 0}, ElectrodePoint{1, 10, 0}, ElectrodePoint{1, 20, 0}};
    EXPECT_DOUBLE_EQ(pseudoPosition(along_y, [](const ElectrodePoint& p) { return p.y; })->abscissa, 15.0);

    const Quadrupole one_left{ElectrodePoint{0, 0, 0}, ElectrodePoint{far, 0, 0}, ElectrodePoint{far, 0, 0}, ElectrodePoint{0, far, 0}};
    EXPECT_FALSE(pseudoPosition(one_left, x));
}

TEST(QuadrupoleGroups, RepeatsOfTheSameFourPositionsShareAGroup)
{
    const double nan = std::nan("");
    const Quadrupole pole_b{ElectrodePoint{0, 0, 0}, ElectrodePoint{far, 0, 0}, ElectrodePoint{5, 0, 0}, ElectrodePoint{10, 0, 0}};
    // The same pole, remote at another sentinel and in y.
    const Quadrupole pole_b_elsewhere{ElectrodePoint{0, 0, 0}, ElectrodePoint{0, -2 * far, 7}, ElectrodePoint{5, 0, 0}, ElectrodePoint{10, 0, 0}};
    const Quadrupole negative_zero{ElectrodePoint{-0.0, 0, -0.0}, ElectrodePoint{15, 0, 0}, ElectrodePoint{5, 0, 0}, ElectrodePoint{10, 0, 0}};
    Quadrupole not_a_number = line(0, 15, 5, 10);
    not_a_number[2].z = nan;
    struct Case {
        const char* name;
        std::vector<Quadrupole> quadrupoles;
        std::vector<std::size_t> groups;
    };
    const Case cases[] = {
        {"a survey merged with itself", {line(0, 15, 5, 10), line(5, 20, 10, 15), line(0, 15, 5, 10), line(5, 20, 10, 15)}, {0, 1, 0, 1}},
        {"A and B swapped is another quadrupole", {line(0, 15, 5, 10), line(15, 0, 5, 10)}, {0, 1}},
        {"a height apart is another quadrupole", {line(0, 15, 5, 10), {ElectrodePoint{0, 0, 0.5}, ElectrodePoint{15, 0, 0}, ElectrodePoint{5, 0, 0}, ElectrodePoint{10, 0, 0}}}, {0, 1}},
        {"remote electrodes are one place", {pole_b, pole_b_elsewhere}, {0, 0}},
        {"-0 is 0", {line(0, 15, 5, 10), negative_zero}, {0, 0}},
        {"positions that are not numbers repeat nothing", {not_a_number, line(0, 15, 5, 10), not_a_number}, {0, 1, 2}},
        {"nothing", {}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(quadrupoleGroups(c.quadrupoles), c.groups) << c.name;
    EXPECT_FALSE(finitePositions(not_a_number));
    EXPECT_TRUE(finitePositions(pole_b_elsewhere)) << "a remote electrode's coordinates are not used";
}

} // namespace
