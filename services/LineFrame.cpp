#include <services/LineFrame.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace ertkit {

void LineFrame::add(const ElectrodePoint& p)
{
    if (!p.remote() && std::isfinite(p.x) && std::isfinite(p.y)) m_points.push_back(p);
}

void LineFrame::add(const Quadrupole& q)
{
    for (const ElectrodePoint& p : q) add(p);
}

void LineFrame::fit()
{
    m_dx = 1.0, m_dy = 0.0, m_origin = 0.0, m_straight = true, m_along_y = false;
    if (m_points.empty()) return;
    double mx = 0.0, my = 0.0;
    for (const ElectrodePoint& p : m_points) mx += p.x, my += p.y;
    mx /= static_cast<double>(m_points.size()), my /= static_cast<double>(m_points.size());
    double sxx = 0.0, syy = 0.0, sxy = 0.0;
    for (const ElectrodePoint& p : m_points) {
        sxx += (p.x - mx) * (p.x - mx), syy += (p.y - my) * (p.y - my), sxy += (p.x - mx) * (p.y - my);
    }
    // Principal axis of the 2x2 scatter matrix.
    const double angle = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
    m_dx = std::cos(angle), m_dy = std::sin(angle);
    const double tiny = 1e-9;
    if (std::abs(m_dy) <= tiny * (std::abs(m_dx) + 1.0)) {
        m_dx = 1.0, m_dy = 0.0;
    } else if (std::abs(m_dx) <= tiny * (std::abs(m_dy) + 1.0)) {
        m_dx = 0.0, m_dy = 1.0, m_along_y = true;
    } else if (m_dx < 0.0) {
        m_dx = -m_dx, m_dy = -m_dy;
    }
    double low = 0.0, high = 0.0, off = 0.0;
    bool first = true;
    for (const ElectrodePoint& p : m_points) {
        const double t = p.x * m_dx + p.y * m_dy;
        low = first ? t : std::min(low, t), high = first ? t : std::max(high, t), first = false;
        off = std::max(off, std::abs(across(p) - (mx * -m_dy + my * m_dx)));
    }
    const bool axis = (m_dx == 1.0 && m_dy == 0.0) || m_along_y;
    m_origin = axis ? 0.0 : low;
    m_straight = off <= std::max(0.01 * (high - low), 1e-3);
    m_points.clear();
    m_points.shrink_to_fit();
}

double LineFrame::along(const ElectrodePoint& p) const
{
    return p.x * m_dx + p.y * m_dy - m_origin;
}

double LineFrame::across(const ElectrodePoint& p) const
{
    return -p.x * m_dy + p.y * m_dx;
}

void CableOrder::add(const ElectrodePoint& p)
{
    // A position that is not a number would leave the sort without an order.
    if (!p.remote() && std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) m_points.push_back(p);
}

bool CableOrder::before(const ElectrodePoint& a, const ElectrodePoint& b) const
{
    const auto key = [&](const ElectrodePoint& p) { return std::make_tuple(m_line.along(p), m_line.across(p), p.z); };
    return key(a) < key(b);
}

void CableOrder::number()
{
    std::sort(m_points.begin(), m_points.end(), [&](const ElectrodePoint& a, const ElectrodePoint& b) { return before(a, b); });
    m_points.erase(std::unique(m_points.begin(), m_points.end()), m_points.end());
}

unsigned int CableOrder::numberOf(const ElectrodePoint& p) const
{
    if (p.remote()) return 0;
    const auto it = std::lower_bound(m_points.begin(), m_points.end(), p, [&](const ElectrodePoint& a, const ElectrodePoint& b) { return before(a, b); });
    if (it == m_points.end() || !(*it == p)) return 0;
    return static_cast<unsigned int>(it - m_points.begin()) + 1;
}

} // namespace ertkit
