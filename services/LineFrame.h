#pragma once

#include <services/Geometry.h>

#include <cstddef>
#include <vector>

namespace ertkit {

// The line a survey's electrodes are laid out on, fitted to the electrodes that are not
// remote: its direction is the one along which they spread most (the principal axis of their
// horizontal positions). The distance along the line is the coordinate itself for a line laid
// out along x or along y, so files of such lines keep their positions; for an oblique line it
// is measured from the electrode at the line's start. The direction is oriented towards
// growing x (towards growing y for a line along y).
class LineFrame {
public:
    LineFrame() = default;
    void add(const ElectrodePoint& p);
    void add(const Quadrupole& q);
    // Fixes the direction and the origin from what was added; `along` before it gives x.
    void fit();

    double along(const ElectrodePoint& p) const;
    double across(const ElectrodePoint& p) const;
    // Every electrode within 1 % of the line's length (and 1 mm) of the line: a 2-D line.
    bool straight() const { return m_straight; }
    bool alongY() const { return m_along_y; }

private:
    std::vector<ElectrodePoint> m_points;
    double m_dx = 1.0, m_dy = 0.0, m_origin = 0.0;
    bool m_straight = true, m_along_y = false;
};

// The electrodes of a set of quadrupoles numbered in cable order: sorted by distance along the
// line, then across it, then by height; equal positions share a number. Remote electrodes, and
// electrodes with a coordinate that is not a finite number, have no number (0).
class CableOrder {
public:
    explicit CableOrder(const LineFrame& line) : m_line(line) {}
    void add(const ElectrodePoint& p);
    // Sorts the electrodes added; numbers run from 1.
    void number();
    std::size_t count() const { return m_points.size(); }
    const std::vector<ElectrodePoint>& points() const { return m_points; }
    unsigned int numberOf(const ElectrodePoint& p) const;

private:
    bool before(const ElectrodePoint& a, const ElectrodePoint& b) const;

    const LineFrame& m_line;
    std::vector<ElectrodePoint> m_points;
};

} // namespace ertkit
