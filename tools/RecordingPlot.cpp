#include "RecordingPlot.h"

#include "PlotFrame.h"
#include "RecordingSamples.h"
#include "TimeText.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace ertkit_cli {

namespace {

constexpr double s_panel_height = 150;
constexpr double s_panel_gap = 20;
constexpr auto s_columns = static_cast<std::size_t>(s_page_plot_width);
// What one pass over the samples keeps of a start, per pixel column so that marks cover the
// whole start however long: per channel and column the lowest and highest value and the
// overloaded sample farthest from zero; per column whether a PPS fell in it.
struct Reduced {
    std::size_t channels = 0;
    std::vector<float> low, high;   // channel * s_columns + column
    std::vector<float> overload;    // same index; NaN: none in the column
    std::vector<std::uint8_t> pps;  // column
};

Reduced reduce(const IV_File_Reader& reader, std::uint64_t start)
{
    const std::uint64_t samples = std::max<std::uint64_t>(reader.getNsample(start), 1);
    Reduced r;
    r.channels = std::min<std::size_t>(reader.getNChannels(start), Sample::s_max_channels);
    r.low.assign(r.channels * s_columns, std::numeric_limits<float>::quiet_NaN());
    r.high = r.low;
    r.overload = r.low;
    r.pps.assign(s_columns, 0);
    forEachSample(reader, start, [&](const Sample& sample) {
        const std::size_t column = std::min<std::size_t>(sample.index * s_columns / samples, s_columns - 1);
        for (std::size_t c = 0; c < std::min<std::size_t>(r.channels, sample.channels); ++c) {
            const float v = sample.values[c];
            if (!std::isfinite(v)) continue;
            // Overloaded samples are marked but kept out of the trace and its scale, so that a
            // spike does not flatten the signal.
            if (sample.overloaded(static_cast<unsigned int>(c))) {
                float& mark = r.overload[c * s_columns + column];
                if (std::isnan(mark) || std::abs(v) > std::abs(mark)) mark = v;
                continue;
            }
            float& lo = r.low[c * s_columns + column];
            float& hi = r.high[c * s_columns + column];
            lo = std::isnan(lo) ? v : std::min(lo, v);
            hi = std::isnan(hi) ? v : std::max(hi, v);
        }
        if (sample.pps) r.pps[column] = 1;
    });
    return r;
}

AxisRange valueRange(const Reduced& r, std::size_t channel)
{
    float lo = std::numeric_limits<float>::max(), hi = std::numeric_limits<float>::lowest();
    for (std::size_t k = channel * s_columns; k < (channel + 1) * s_columns; ++k) {
        if (std::isnan(r.low[k])) continue;
        lo = std::min(lo, r.low[k]);
        hi = std::max(hi, r.high[k]);
    }
    return lo > hi ? AxisRange{-1.0, 1.0} : AxisRange::around(lo, hi);
}

// Lowest-then-highest value of each column, so peaks survive the reduction.
SvgDocument::Points envelope(const Reduced& r, std::size_t channel, const PlotFrame& frame, double duration)
{
    SvgDocument::Points points;
    for (std::size_t column = 0; column < s_columns; ++column) {
        const std::size_t k = channel * s_columns + column;
        if (std::isnan(r.low[k])) continue;
        const double t = duration * (static_cast<double>(column) + 0.5) / s_columns;
        points.emplace_back(frame.x(t), frame.y(r.low[k]));
        if (r.high[k] != r.low[k]) points.emplace_back(frame.x(t), frame.y(r.high[k]));
    }
    return points;
}

void legend(SvgDocument& svg, double y)
{
    svg.line(s_page_left, y - 4, s_page_left + 20, y - 4, "#1f5fa8", 1.5);
    svg.text(s_page_left + 26, y, "signal", 11);
    svg.circle(s_page_left + 90, y - 4, 3, "#d62728");
    svg.text(s_page_left + 98, y, "overloaded sample", 11);
    svg.line(s_page_left + 220, y - 10, s_page_left + 220, y + 2, "#ff8c00", 1.5);
    svg.text(s_page_left + 228, y, "GPS pulse (PPS)", 11);
}

} // namespace

void plotRecording(const IV_File_Reader& reader, const std::string& name, std::uint64_t start, std::ostream& out)
{
    if (start >= reader.getNStarts())
        throw std::out_of_range("start " + std::to_string(start) + " does not exist (the recording has " +
                                std::to_string(reader.getNStarts()) + ")");
    const Reduced r = reduce(reader, start);
    const double period = seconds(reader.getSampleTime(start));
    const double duration = std::max(period * static_cast<double>(reader.getNsample(start)), period);
    const std::size_t panels = std::max<std::size_t>(r.channels, 1);
    const double top = 70;
    SvgDocument svg(s_page_width, top + static_cast<double>(panels) * (s_panel_height + s_panel_gap) + 60);
    svg.text(s_page_left, 24, name + " - start " + std::to_string(start), 15, "start", 0, true);
    svg.text(s_page_left, 42,
             std::string(recordingKind(reader)) + ", serial " + std::to_string(reader.getSerialNumber()) + ", from " +
                 isoTime(reader.getStartTime(start), "Z") + " UTC",
             11);
    legend(svg, 60);
    for (std::size_t c = 0; c < panels; ++c) {
        const bool last = c + 1 == panels;
        const PlotFrame frame(svg, s_page_left, top + static_cast<double>(c) * (s_panel_height + s_panel_gap), s_page_plot_width, s_panel_height,
                              AxisRange{0.0, duration}, r.channels == 0 ? AxisRange{-1.0, 1.0} : valueRange(r, c));
        frame.drawAxes(last ? "time since start (s)" : "", "ch" + std::to_string(c) + " (" + sampleUnit(reader) + ")");
        for (std::size_t column = 0; column < s_columns; ++column) {
            if (!r.pps[column]) continue;
            const double px = frame.x(duration * (static_cast<double>(column) + 0.5) / s_columns);
            svg.line(px, frame.bottom() - 8, px, frame.bottom(), "#ff8c00", 1.5);
        }
        if (c >= r.channels) continue;
        svg.polyline(envelope(r, c, frame, duration), "#1f5fa8", 1.0);
        // Off the scale, an overloaded sample sits on the frame's edge.
        for (std::size_t column = 0; column < s_columns; ++column) {
            const float value = r.overload[c * s_columns + column];
            if (std::isnan(value)) continue;
            const double t = duration * (static_cast<double>(column) + 0.5) / s_columns;
            svg.circle(frame.x(t), std::clamp(frame.y(value), frame.top(), frame.bottom()), 3, "#d62728");
        }
    }
    svg.write(out);
}

} // namespace ertkit_cli
