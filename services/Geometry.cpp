#include <services/Geometry.h>

#include <algorithm>
#include <cmath>
#include <map>
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

bool finitePositions(const Quadrupole& q)
{
    return std::all_of(q.begin(), q.end(), [](const ElectrodePoint& p) {
        return p.remote() || (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    });
}

std::vector<std::size_t> quadrupoleGroups(const std::vector<Quadrupole>& quadrupoles)
{
    // Finite coordinates only, so that the ordering is a strict weak one; + 0.0 makes -0 equal
    // to 0 in the ordering's eyes as it is in value.
    using Key = std::array<double, 12>;
    std::map<Key, std::size_t> groups;
    std::vector<std::size_t> numbers;
    numbers.reserve(quadrupoles.size());
    std::size_t next = 0;
    for (const Quadrupole& q : quadrupoles) {
        if (!finitePositions(q)) {
            numbers.push_back(next++);
            continue;
        }
        Key key{};
        for (std::size_t e = 0; e < q.size(); ++e) {
            const ElectrodePoint p = q[e].remote() ? ElectrodePoint{s_remote_coordinate, 0.0, 0.0} : q[e];
            key[3 * e] = p.x + 0.0, key[3 * e + 1] = p.y + 0.0, key[3 * e + 2] = p.z + 0.0;
        }
        const auto [it, added] = groups.try_emplace(key, next);
        if (added) ++next;
        numbers.push_back(it->second);
    }
    return numbers;
}

} // namespace ertkit
