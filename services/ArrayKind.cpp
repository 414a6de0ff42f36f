#include <services/ArrayKind.h>

#include <algorithm>
#include <cmath>

namespace ertkit {

namespace {

bool near(double a, double b, double scale)
{
    return std::abs(a - b) <= 1e-6 * std::max(1.0, scale);
}

} // namespace

ArrayGeometry arrayGeometry(const Quadrupole& q, const LineFrame& line)
{
    const auto& [a, b, m, n] = q;
    const int remote_current = (a.remote() ? 1 : 0) + (b.remote() ? 1 : 0);
    const int remote_potential = (m.remote() ? 1 : 0) + (n.remote() ? 1 : 0);
    if (remote_current == 2 || remote_potential == 2) return {};
    const auto at = [&](const ElectrodePoint& p) { return line.along(p); };
    if (remote_current == 1 && remote_potential == 1) {
        const double d = std::abs(at(a.remote() ? b : a) - at(m.remote() ? n : m));
        return {ArrayKind::PolePole, d, 1.0};
    }
    if (remote_current + remote_potential == 1) {
        // The dipole and the pole on its one side: a the dipole's length, n a the gap.
        const bool pole_current = remote_current == 1;
        const double p = pole_current ? at(a.remote() ? b : a) : at(m.remote() ? n : m);
        const double d1 = pole_current ? at(m) : at(a), d2 = pole_current ? at(n) : at(b);
        const double length = std::abs(d2 - d1);
        const double gap = std::min(std::abs(p - d1), std::abs(p - d2));
        const bool outside = (p <= std::min(d1, d2)) || (p >= std::max(d1, d2));
        if (length > 0.0 && outside) return {ArrayKind::PoleDipole, length, gap / length};
        return {};
    }
    const double ta = at(a), tb = at(b), tm = at(m), tn = at(n);
    const double scale = std::max({std::abs(ta), std::abs(tb), std::abs(tm), std::abs(tn), std::abs(tb - ta)});
    const double c0 = std::min(ta, tb), c1 = std::max(ta, tb), p0 = std::min(tm, tn), p1 = std::max(tm, tn);
    const double ab = c1 - c0, mn = p1 - p0;
    if (!(ab > 0.0) || !(mn > 0.0)) return {};
    if (c0 < p0 && p1 < c1 && near(p0 - c0, c1 - p1, scale)) {
        // Potential dipole centred between the current electrodes.
        const double outer = p0 - c0;
        if (near(outer, mn, scale)) return {ArrayKind::Wenner, mn, 1.0};
        return {ArrayKind::Schlumberger, mn, outer / mn};
    }
    if (near(ab, mn, scale) && (c1 <= p0 || p1 <= c0)) {
        const double gap = c1 <= p0 ? p0 - c1 : c0 - p1;
        return {ArrayKind::DipoleDipole, ab, gap / ab};
    }
    return {};
}

const char* arrayName(ArrayKind kind)
{
    switch (kind) {
    case ArrayKind::Wenner: return "Wenner";
    case ArrayKind::Schlumberger: return "Schlumberger";
    case ArrayKind::DipoleDipole: return "dipole-dipole";
    case ArrayKind::PoleDipole: return "pole-dipole";
    case ArrayKind::PolePole: return "pole-pole";
    case ArrayKind::General: return "other arrays";
    }
    return "other arrays";
}

} // namespace ertkit
