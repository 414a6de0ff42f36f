#include "PlotFrame.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ertkit_cli {

namespace {

// a + b, held at the largest double instead of overflowing.
double finiteSum(double a, double b)
{
    constexpr double largest = std::numeric_limits<double>::max();
    return std::clamp(a + b, -largest, largest);
}

// At most this many ticks on an axis, whatever its range: a range of damaged values must
// not make a picture without bound.
constexpr std::size_t s_most_ticks = 200;

} // namespace

AxisRange AxisRange::around(double low, double high, double margin)
{
    if (!std::isfinite(low) || !std::isfinite(high)) return {0.0, 1.0};
    if (high < low) std::swap(low, high);
    if (high == low) {
        const double pad = low == 0.0 ? 1.0 : std::abs(low) * 0.1;
        return {finiteSum(low, -pad), finiteSum(high, pad)};
    }
    // On halves when the span is wider than the largest double.
    const double whole = (high - low) * margin;
    const double pad = std::isfinite(whole) ? whole : (high / 2 - low / 2) * (2 * margin);
    return {finiteSum(low, -pad), finiteSum(high, pad)};
}

std::vector<double> niceTicks(const AxisRange& range, int target)
{
    std::vector<double> ticks;
    if (!std::isfinite(range.low) || !std::isfinite(range.high)) return ticks;
    if (range.log) {
        if (range.low <= 0.0 || range.high <= range.low) return ticks;
        const int first = static_cast<int>(std::floor(std::log10(range.low)));
        const int last = static_cast<int>(std::ceil(std::log10(range.high)));
        // Every decade; within two decades, their 2 and 5 multiples too.
        const bool fine = std::log10(range.high) - std::log10(range.low) < 2.0;
        // Hundreds of decades (damaged values) are labelled every few decades.
        const int stride = (last - first) / static_cast<int>(s_most_ticks) + 1;
        for (int e = first; e <= last; e += stride)
            for (const double m : fine ? std::vector<double>{1, 2, 5} : std::vector<double>{1}) {
                const double v = m * std::pow(10.0, e);
                if (v >= range.low * (1 - 1e-9) && v <= range.high * (1 + 1e-9)) ticks.push_back(v);
            }
        return ticks;
    }
    const double span = range.high - range.low;
    if (!(span > 0.0) || !std::isfinite(span) || target < 1) return ticks;
    const double raw = span / target;
    const int exponent = static_cast<int>(std::floor(std::log10(raw)));
    const double power = std::pow(10.0, std::abs(exponent));
    // Ticks are whole multiples of mantissa x 10^exponent, computed by one multiplication and
    // one division so that 0.6 prints as 0.6 and not 0.6000000000000001.
    const auto tick = [&](double multiple) { return exponent >= 0 ? multiple * power : multiple / power; };
    double mantissa = 10.0;
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        if (tick(m) >= raw) {
            mantissa = m;
            break;
        }
    }
    const double step = tick(mantissa);
    const double start = std::ceil(range.low / step - 1e-9);
    // A range far from 0 for its span (values beyond 2^53 steps) counts no steps exactly.
    if (!(std::abs(start) < 0x1p53)) return ticks;
    const double end = finiteSum(range.high, step * 1e-9);
    for (auto i = static_cast<long long>(start); tick(static_cast<double>(i) * mantissa) <= end && ticks.size() < s_most_ticks; ++i)
        ticks.push_back(tick(static_cast<double>(i) * mantissa));
    return ticks;
}

double axisFraction(const AxisRange& range, double value)
{
    if (range.log) {
        if (value <= 0.0 || range.low <= 0.0) return 0.0;
        return (std::log10(value) - std::log10(range.low)) / (std::log10(range.high) - std::log10(range.low));
    }
    const double fraction = (value - range.low) / (range.high - range.low);
    if (std::isfinite(fraction) || !std::isfinite(value)) return fraction;
    // A span beyond the largest double: the same division on halves, which stay finite.
    return (value / 2 - range.low / 2) / (range.high / 2 - range.low / 2);
}

std::string tickText(double value)
{
    return fmt::format("{:.6g}", value);
}

PlotFrame::PlotFrame(SvgDocument& svg, double left, double top, double width, double height, AxisRange x, AxisRange y, bool y_down)
    : m_svg(svg), m_left(left), m_top(top), m_width(width), m_height(height), m_x(x), m_y(y), m_y_down(y_down)
{
}

double PlotFrame::position(const AxisRange& range, double value)
{
    return axisFraction(range, value);
}

double PlotFrame::x(double value) const
{
    return m_left + position(m_x, value) * m_width;
}

double PlotFrame::y(double value) const
{
    const double p = position(m_y, value);
    return m_y_down ? m_top + p * m_height : bottom() - p * m_height;
}

bool PlotFrame::contains(double px, double py) const
{
    return px >= m_left - 0.5 && px <= right() + 0.5 && py >= m_top - 0.5 && py <= bottom() + 0.5;
}

void PlotFrame::drawAxes(const std::string& x_title, const std::string& y_title) const
{
    for (const double v : niceTicks(m_x, 8)) {
        const double px = x(v);
        m_svg.line(px, m_top, px, bottom(), "#e0e0e0");
        m_svg.line(px, bottom(), px, bottom() + 5, "black");
        if (!x_title.empty()) m_svg.text(px, bottom() + 18, tickText(v), 11, "middle");
    }
    for (const double v : niceTicks(m_y, 5)) {
        const double py = y(v);
        m_svg.line(m_left, py, right(), py, "#e0e0e0");
        m_svg.line(m_left - 5, py, m_left, py, "black");
        m_svg.text(m_left - 8, py + 4, tickText(v), 11, "end");
    }
    m_svg.rect(m_left, m_top, m_width, m_height, "none", "black");
    if (!x_title.empty()) m_svg.text(m_left + m_width / 2, bottom() + 36, x_title, 12, "middle");
    m_svg.text(m_left - 52, m_top + m_height / 2, y_title, 12, "middle", -90);
}

void PlotFrame::title(const std::string& text) const
{
    m_svg.text(m_left, m_top - 8, text, 13, "start", 0, true);
}

} // namespace ertkit_cli
