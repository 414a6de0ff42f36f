#pragma once

#include "SvgDocument.h"

#include <string>
#include <vector>

namespace ertkit_cli {

// The page every plot is drawn on: its width, the left margin that holds the y-axis labels,
// and the width of a full-width plot area, which ends 40 px before the right edge.
inline constexpr double s_page_width = 1000;
inline constexpr double s_page_left = 80;
inline constexpr double s_page_plot_width = s_page_width - s_page_left - 40;

// A span of data values on one axis; `log` spaces it by decades (both ends above zero).
struct AxisRange {
    double low = 0.0;
    double high = 1.0;
    bool log = false;

    // The range widened a little past its data, and never empty.
    static AxisRange around(double low, double high, double margin = 0.05);
};

// Round tick values (1, 2 or 5 times a power of ten apart) inside [low, high], about
// `target` of them; every decade on a log range, and their 2 and 5 multiples within two
// decades. None for a range whose ends or span are not finite, and never more than 200.
std::vector<double> niceTicks(const AxisRange& range, int target);
// Where a value falls on a range, 0 at its low end and 1 at its high end (log or linear),
// finite for any finite value in a range of finite ends.
double axisFraction(const AxisRange& range, double value);
// A tick value as short text: 0.5, 20, 1500, 1e+06.
std::string tickText(double value);

// A rectangular panel of a picture with an x and a y axis. Data values map to pixels; the y
// axis grows upward unless `y_down` (depths grow downward).
class PlotFrame {
public:
    PlotFrame(SvgDocument& svg, double left, double top, double width, double height, AxisRange x, AxisRange y,
              bool y_down = false);

    double x(double value) const;
    double y(double value) const;
    double left() const { return m_left; }
    double top() const { return m_top; }
    double right() const { return m_left + m_width; }
    double bottom() const { return m_top + m_height; }
    bool contains(double px, double py) const;

    // Grid lines, ticks with their values, the frame, and the axis titles (with units).
    // An empty x title leaves the x tick values out too (panels stacked over a shared axis).
    void drawAxes(const std::string& x_title, const std::string& y_title) const;
    void title(const std::string& text) const;

private:
    static double position(const AxisRange& range, double value);

    SvgDocument& m_svg;
    double m_left, m_top, m_width, m_height;
    AxisRange m_x, m_y;
    bool m_y_down;
};

} // namespace ertkit_cli
