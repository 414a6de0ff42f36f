#include <services/ReciprocalPairs.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace ertkit {

namespace {

// Numbers the distinct electrode positions: a position within the tolerance of one already
// seen takes its number. Positions are hashed on a grid of cells as wide as the tolerance, so
// a match is in the same cell or a neighbouring one.
class ElectrodeNumbers {
public:
    explicit ElectrodeNumbers(double tolerance) : m_tolerance(tolerance), m_cell(tolerance > 0.0 ? tolerance : 1.0) {}

    std::uint32_t of(const ElectrodePoint& p)
    {
        if (p.remote()) return 0;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return m_invalid; // never matches another
        const Cell c = cellOf(p);
        for (std::int64_t dx = -1; dx <= 1; ++dx)
            for (std::int64_t dy = -1; dy <= 1; ++dy)
                for (std::int64_t dz = -1; dz <= 1; ++dz) {
                    const auto found = m_cells.find(Cell{c[0] + dx, c[1] + dy, c[2] + dz});
                    if (found == m_cells.end()) continue;
                    for (const std::uint32_t number : found->second)
                        if (near(m_points[number - 1], p)) return number;
                }
        m_points.push_back(p);
        const auto number = static_cast<std::uint32_t>(m_points.size());
        m_cells[c].push_back(number);
        return number;
    }

private:
    using Cell = std::array<std::int64_t, 3>;
    struct CellHash {
        std::size_t operator()(const Cell& c) const
        {
            return std::hash<std::int64_t>()(c[0] * 73856093 ^ c[1] * 19349663 ^ c[2] * 83492791);
        }
    };

    Cell cellOf(const ElectrodePoint& p) const
    {
        const auto index = [this](double v) {
            const double cell = std::floor(v / m_cell);
            return static_cast<std::int64_t>(std::clamp(cell, -4e18, 4e18));
        };
        return {index(p.x), index(p.y), index(p.z)};
    }
    bool near(const ElectrodePoint& a, const ElectrodePoint& b) const
    {
        const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
        return dx * dx + dy * dy + dz * dz <= m_tolerance * m_tolerance;
    }

    double m_tolerance, m_cell;
    std::vector<ElectrodePoint> m_points;
    std::unordered_map<Cell, std::vector<std::uint32_t>, CellHash> m_cells;
    std::uint32_t m_invalid = 0xFFFFFFFFu;
};

// The two dipoles of a reading, each as its electrodes' numbers in ascending order: current
// dipole first.
using Key = std::array<std::uint32_t, 4>;
struct KeyHash {
    std::size_t operator()(const Key& k) const
    {
        std::uint64_t h = 1469598103934665603ull;
        for (const std::uint32_t v : k) h = (h ^ v) * 1099511628211ull;
        return static_cast<std::size_t>(h);
    }
};

Key reciprocalOf(const Key& k)
{
    return {k[2], k[3], k[0], k[1]};
}

} // namespace

ReciprocalPairs pairReciprocals(const std::vector<Quadrupole>& readings, double tolerance)
{
    ReciprocalPairs out;
    out.partner.assign(readings.size(), std::nullopt);
    ElectrodeNumbers numbers(tolerance);
    std::vector<Key> keys(readings.size());
    std::unordered_map<Key, std::vector<std::size_t>, KeyHash> groups;
    groups.reserve(readings.size());
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const Quadrupole& q = readings[i];
        std::uint32_t e[4];
        for (std::size_t j = 0; j < 4; ++j) e[j] = numbers.of(q[j]);
        // Positions that could not be numbered, or a dipole of two remote electrodes, pair with
        // nothing.
        const bool usable = std::none_of(e, e + 4, [](std::uint32_t n) { return n == 0xFFFFFFFFu; }) && !(e[0] == 0 && e[1] == 0) && !(e[2] == 0 && e[3] == 0);
        if (!usable) continue;
        keys[i] = {std::min(e[0], e[1]), std::max(e[0], e[1]), std::min(e[2], e[3]), std::max(e[2], e[3])};
        groups[keys[i]].push_back(i);
    }
    for (const auto& [key, normals] : groups) {
        const Key other = reciprocalOf(key);
        // Each pair of groups once: from the side whose key sorts first. A quadrupole that is
        // its own reciprocal (the same dipole twice) measures nothing.
        if (!(key < other)) continue;
        const auto found = groups.find(other);
        if (found == groups.end()) continue;
        const std::vector<std::size_t>& reciprocals = found->second;
        const std::size_t matched = std::min(normals.size(), reciprocals.size());
        for (std::size_t j = 0; j < matched; ++j) {
            out.partner[normals[j]] = reciprocals[j];
            out.partner[reciprocals[j]] = normals[j];
            out.pairs.emplace_back(std::min(normals[j], reciprocals[j]), std::max(normals[j], reciprocals[j]));
        }
        for (std::size_t j = matched; j < normals.size(); ++j) out.partner[normals[j]] = reciprocals.back();
        for (std::size_t j = matched; j < reciprocals.size(); ++j) out.partner[reciprocals[j]] = normals.back();
    }
    std::sort(out.pairs.begin(), out.pairs.end());
    return out;
}

} // namespace ertkit
