#include <services/Geometry.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ertkit {

namespace {

double distance(const ElectrodePoint& a, const ElectrodePoint& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// 1/r between a current and a potential electrode; 0 when either is remote, empty when they
// coincide.
std::optional<double> inverseDistance(const ElectrodePoint& current, const ElectrodePoint& potential)
{
    if (current.remote() || potential.remote()) return 0.0;
    const double r = distance(current, potential);
    if (!(r > 0.0)) return std::nullopt;
    return 1.0 / r;
}

} // namespace

bool ElectrodePoint::remote() const
{
    return std::abs(x) >= s_remote_coordinate || std::abs(y) >= s_remote_coordinate;
}

std::optional<double> geometricFactor(const Quadrupole& q)
{
    const auto& [a, b, m, n] = q;
    if ((a.remote() && b.remote()) || (m.remote() && n.remote())) return std::nullopt;
    const auto am = inverseDistance(a, m), bm = inverseDistance(b, m), an = inverseDistance(a, n), bn = inverseDistance(b, n);
    if (!am || !bm || !an || !bn) return std::nullopt;
    const double sum = *am - *bm - *an + *bn;
    // Terms that cancel to rounding noise (a quadrupole on the equipotential) leave no factor.
    const double scale = std::max({*am, *bm, *an, *bn});
    if (!std::isfinite(sum) || std::abs(sum) <= scale * 1e-12) return std::nullopt;
    return 2.0 * std::numbers::pi / sum;
}

std::optional<PseudoPosition> pseudoPosition(const Quadrupole& q, bool along_y)
{
    return pseudoPosition(q, [along_y](const ElectrodePoint& p) { return along_y ? p.y : p.x; });
}

std::optional<PseudoPosition> pseudoPosition(const Quadrupole& q, const std::function<double(const ElectrodePoint&)>& abscissa)
{
    double sum = 0.0;
    int count = 0;
    double length = 0.0;
    for (std::size_t i = 0; i < q.size(); ++i) {
        if (q[i].remote()) continue;
        sum += abscissa(q[i]);
        ++count;
        for (std::size_t j = i + 1; j < q.size(); ++j)
            if (!q[j].remote()) length = std::max(length, distance(q[i], q[j]));
    }
    if (count < 2) return std::nullopt;
    return PseudoPosition{sum / count, s_pseudo_depth_ratio * length};
}

void ElectrodeSpread::add(const Quadrupole& q)
{
    for (const ElectrodePoint& p : q) {
        if (p.remote()) continue;
        m_x0 = std::min(m_x0, p.x), m_x1 = std::max(m_x1, p.x), m_y0 = std::min(m_y0, p.y), m_y1 = std::max(m_y1, p.y);
    }
}

bool ElectrodeSpread::alongY() const
{
    return m_x0 <= m_x1 && (m_y1 - m_y0) > (m_x1 - m_x0);
}

} // namespace ertkit
