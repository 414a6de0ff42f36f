#include <services/ArrayKind.h>
#include <services/LineFrame.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace ertkit;

namespace {

constexpr double far = 9999998.0;

LineFrame fitted(const std::vector<ElectrodePoint>& points)
{
    LineFrame line;
    for (const ElectrodePoint& p : points) line.add(p);
    line.fit();
    return line;
}

TEST(LineFrame, DistanceAlongLinesOfEveryDirection)
{
    struct Case {
        const char* name;
        std::vector<ElectrodePoint> electrodes;
        std::vector<double> along; // of the electrodes, in order
        bool straight;
    };
    const double c = std::sqrt(0.5);
    const Case cases[] = {
        {"along x keeps x", {{10, 3, 0}, {15, 3, 1}, {20, 3, 0}}, {10, 15, 20}, true},
        {"along y keeps y", {{0, 40, 0}, {0, 45, 0}, {0, 50, 0}}, {40, 45, 50}, true},
        {"along -y still grows with y", {{2, 50, 0}, {2, 45, 0}, {2, 40, 0}}, {50, 45, 40}, true},
        {"oblique from its start", {{100 + 5 * c, 200 + 5 * c, 0}, {100, 200, 0}, {100 + 10 * c, 200 + 10 * c, 0}}, {5, 0, 10}, true},
        {"a remote electrode is not on the line", {{0, 0, 0}, {5, 0, 0}, {far, 0, 0}}, {0, 5, far}, true},
        {"a grid is not a line", {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {10, 10, 0}}, {}, false},
    };
    for (const Case& k : cases) {
        const LineFrame line = fitted(k.electrodes);
        EXPECT_EQ(line.straight(), k.straight) << k.name;
        for (std::size_t i = 0; i < k.along.size(); ++i) {
            if (k.electrodes[i].remote()) continue;
            EXPECT_NEAR(line.along(k.electrodes[i]), k.along[i], 1e-9) << k.name << " electrode " << i;
        }
    }
}

TEST(CableOrder, NumbersByDistanceAlongTheLine)
{
    // A line laid out along y, electrodes met in no particular order, one position repeated.
    const std::vector<ElectrodePoint> met{{0, 15, 0}, {0, 0, 0}, {0, 10, 0}, {0, 5, 0}, {0, 15, 0}, {far, 0, 0}};
    const LineFrame line = fitted(met);
    CableOrder order(line);
    for (const ElectrodePoint& p : met) order.add(p);
    order.number();
    ASSERT_EQ(order.count(), 4u);
    EXPECT_EQ(order.numberOf({0, 0, 0}), 1u);
    EXPECT_EQ(order.numberOf({0, 5, 0}), 2u);
    EXPECT_EQ(order.numberOf({0, 15, 0}), 4u);
    EXPECT_EQ(order.numberOf({far, 0, 0}), 0u) << "remote";
    EXPECT_EQ(order.numberOf({1, 1, 0}), 0u) << "never added";
}

TEST(ArrayKind, JudgedFromDistancesAlongTheLine)
{
    struct Case {
        const char* name;
        Quadrupole q;
        ArrayKind kind;
        double spacing, n;
    };
    const auto at = [](double a, double b, double m, double n) {
        return Quadrupole{ElectrodePoint{a, 0, 0}, ElectrodePoint{b, 0, 0}, ElectrodePoint{m, 0, 0}, ElectrodePoint{n, 0, 0}};
    };
    const Case cases[] = {
        {"Wenner", at(0, 15, 5, 10), ArrayKind::Wenner, 5, 1},
        {"Wenner, B before A", at(15, 0, 10, 5), ArrayKind::Wenner, 5, 1},
        {"Schlumberger n = 2", at(0, 25, 10, 15), ArrayKind::Schlumberger, 5, 2},
        {"dipole-dipole n = 1 sits where Wenner a = 5 does", at(5, 0, 10, 15), ArrayKind::DipoleDipole, 5, 1},
        {"dipole-dipole n = 3", at(0, 10, 40, 50), ArrayKind::DipoleDipole, 10, 3},
        {"pole-dipole", at(0, far, 5, 10), ArrayKind::PoleDipole, 5, 1},
        {"dipole-pole", at(20, 15, 5, far), ArrayKind::PoleDipole, 5, 2},
        {"pole-pole", at(0, far, 10, far), ArrayKind::PolePole, 10, 1},
        {"gradient", at(0, 50, 10, 15), ArrayKind::General, 0, 0},
        {"no potential dipole", at(0, 10, far, far), ArrayKind::General, 0, 0},
    };
    LineFrame line;
    line.fit();
    for (const Case& k : cases) {
        const ArrayGeometry g = arrayGeometry(k.q, line);
        EXPECT_EQ(g.kind, k.kind) << k.name;
        EXPECT_NEAR(g.spacing, k.spacing, 1e-9) << k.name;
        EXPECT_NEAR(g.n, k.n, 1e-9) << k.name;
    }
}

} // namespace
