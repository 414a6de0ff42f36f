#include "QcPlot.h"

#include "PlotFrame.h"
#include "SvgDocument.h"

#include <services/Geometry.h>
#include <services/LineFrame.h>

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace ertkit_cli {

namespace {

using ertkit::QcReason;
using ertkit::QcResult;

// One colour per reason, in the reasons' order; kept readings are grey.
constexpr std::array<const char*, ertkit::s_qc_reason_count> s_colours{
    "#7f7f7f", "#d62728", "#9467bd", "#8c564b", "#e377c2", "#1f77b4", "#ff7f0e", "#2ca02c",
    "#bcbd22", "#17becf", "#393b79", "#843c39", "#637939", "#7b4173", "#e7969c"};
constexpr const char* s_kept = "#c7c7c7";

// The reason a rejected reading is drawn with: the one that says most about its cause, the
// meter's state and the geometry before what follows from them (a bad contact also gives a
// poor stack and a reciprocal that disagrees).
int shownReason(ertkit::QcReasons reasons)
{
    using R = QcReason;
    for (const R reason : {R::Ignored, R::Contact, R::OpenLine, R::OverCurrent, R::Overload, R::Pps, R::Noisy, R::Current, R::Geometry,
                           R::Negative, R::Voltage, R::Decay, R::Chargeability, R::Stack, R::Reciprocal})
        if (reasons & ertkit::qcBit(reason)) return static_cast<int>(reason);
    return -1;
}

void drawPairs(SvgDocument& svg, const QcResult& result, double left, double top, double width, double height)
{
    // Each pair once: its mean |R| and the spread of one reading it shows, |dR| / sqrt(2).
    std::vector<std::array<double, 3>> points; // level, spread, rejected for another reason
    double low = 1e300, high = 0.0, spread_low = 1e300, spread_high = 0.0;
    for (std::size_t i = 0; i < result.readings.size(); ++i) {
        const auto& q = result.readings[i];
        if (!q.reciprocal || *q.reciprocal < i) continue;
        const auto& r1 = result.values[i].resistance;
        const auto& r2 = result.values[*q.reciprocal].resistance;
        if (!r1 || !r2 || !std::isfinite(*r1) || !std::isfinite(*r2)) continue;
        const double level = 0.5 * (std::abs(*r1) + std::abs(*r2));
        const double spread = std::abs(std::abs(*r1) - std::abs(*r2)) / std::sqrt(2.0);
        if (!(level > 0.0)) continue;
        const bool other = ((q.reasons | result.readings[*q.reciprocal].reasons) & ~ertkit::qcBit(QcReason::Reciprocal)) != 0;
        points.push_back({level, spread, other ? 1.0 : 0.0});
        low = std::min(low, level);
        high = std::max(high, level);
        if (spread > 0.0) {
            spread_low = std::min(spread_low, spread);
            spread_high = std::max(spread_high, spread);
        }
    }
    if (points.empty()) {
        svg.text(left + width / 2, top + height / 2, "no reciprocal pair in the file", 13, "middle");
        return;
    }
    if (!(high > low)) high = low * 10.0;
    const auto& model = result.model;
    const double floor = model.floor_percent / 100.0;
    spread_low = std::min(spread_low, floor * low * 0.5);
    spread_high = std::max({spread_high, floor * high, model.resistance.fitted ? model.resistance.at(high) : 0.0});
    if (!(spread_high > spread_low)) spread_high = spread_low * 10.0;
    const AxisRange x{low / 1.5, high * 1.5, true}, y{spread_low / 2.0, spread_high * 2.0, true};
    const PlotFrame frame(svg, left, top, width, height, x, y);
    frame.title(model.resistance.fitted
                    ? fmt::format("reciprocal pairs: err(R) = {:.3g} ohm + {:.3g} |R| ({} pairs)", model.resistance.a, model.resistance.b, result.model_pairs)
                    : fmt::format("reciprocal pairs: {} (no model)", result.pairs));
    frame.drawAxes("|R| (ohm), mean of the pair", "|dR| / sqrt 2 (ohm)");
    svg.beginGroup("class=\"pairs\" stroke-width=\"0.5\"");
    for (const auto& p : points) {
        const double spread = std::max(p[1], y.low);
        svg.marker(frame.x(p[0]), frame.y(spread), 2.5, p[2] > 0.0 ? "none" : "#1f77b4", p[2] > 0.0 ? "#d62728" : "#1f77b4",
                   fmt::format("|R| {:.4g} ohm, |dR|/sqrt2 {:.3g} ohm", p[0], p[1]));
    }
    svg.endGroup();
    SvgDocument::Points line, floor_line;
    for (int k = 0; k <= 40; ++k) {
        const double r = x.low * std::pow(x.high / x.low, k / 40.0);
        if (model.resistance.fitted && model.resistance.at(r) >= y.low && model.resistance.at(r) <= y.high)
            line.emplace_back(frame.x(r), frame.y(model.resistance.at(r)));
        if (floor * r >= y.low && floor * r <= y.high) floor_line.emplace_back(frame.x(r), frame.y(floor * r));
    }
    if (line.size() > 1) svg.polyline(line, "#d62728", 2.0);
    if (floor_line.size() > 1) svg.polyline(floor_line, "#7f7f7f", 1.0);
    svg.text(frame.right() - 6, frame.top() + 16, fmt::format("grey: the {} % floor", model.floor_percent), 11, "end");
}

void drawCounts(SvgDocument& svg, const QcResult& result, double left, double top, double width, double height)
{
    svg.text(left, top - 8, fmt::format("readings rejected: {} of {}", result.rejected, result.readings.size()), 13, "start", 0, true);
    std::size_t most = 1;
    for (const std::size_t c : result.counts) most = std::max(most, c);
    const double row = height / static_cast<double>(ertkit::s_qc_reason_count);
    const double label = 100.0, bar_width = width - label - 50.0;
    for (std::size_t k = 0; k < ertkit::s_qc_reason_count; ++k) {
        const double y = top + row * static_cast<double>(k);
        svg.text(left + label - 6, y + row * 0.7, std::string(ertkit::qcReasonName(static_cast<QcReason>(k))), 11, "end");
        const double w = bar_width * static_cast<double>(result.counts[k]) / static_cast<double>(most);
        if (result.counts[k] > 0) svg.rect(left + label, y + row * 0.15, std::max(w, 1.0), row * 0.7, s_colours[k]);
        svg.text(left + label + w + 4, y + row * 0.7, fmt::format("{}", result.counts[k]), 11);
    }
}

void drawSection(SvgDocument& svg, const QcResult& result, double left, double top, double width, double height)
{
    ertkit::LineFrame line;
    for (const auto& v : result.values) line.add(v.electrodes);
    line.fit();
    struct Spot {
        double x, depth;
        std::size_t index;
    };
    std::vector<Spot> spots;
    double x0 = 1e300, x1 = -1e300, d1 = 0.0;
    for (std::size_t i = 0; i < result.values.size(); ++i) {
        const auto p = ertkit::pseudoPosition(result.values[i].electrodes, [&line](const ertkit::ElectrodePoint& e) { return line.along(e); });
        if (!p || !std::isfinite(p->abscissa) || !std::isfinite(p->depth)) continue;
        spots.push_back({p->abscissa, p->depth, i});
        x0 = std::min(x0, p->abscissa);
        x1 = std::max(x1, p->abscissa);
        d1 = std::max(d1, p->depth);
    }
    if (spots.empty()) {
        svg.text(left + width / 2, top + height / 2, "no reading with a pseudo-section position", 13, "middle");
        return;
    }
    const PlotFrame frame(svg, left, top, width, height, AxisRange::around(x0, x1), AxisRange::around(0.0, d1 > 0.0 ? d1 : 1.0), true);
    frame.title("pseudo-section: rejected readings by their main reason, kept ones grey");
    frame.drawAxes("distance along the line (m)", "pseudo-depth (m)");
    // Kept readings first, so that a rejected one is never hidden under its reciprocal.
    std::stable_sort(spots.begin(), spots.end(), [&result](const Spot& a, const Spot& b) {
        return (result.readings[a.index].reasons == 0) > (result.readings[b.index].reasons == 0);
    });
    svg.beginGroup("class=\"readings\" stroke-width=\"0.8\"");
    for (const Spot& s : spots) {
        const auto& q = result.readings[s.index];
        const int reason = shownReason(q.reasons);
        const std::string reasons = q.reasons ? ertkit::qcReasonList(q.reasons) : std::string("kept");
        svg.marker(frame.x(s.x), frame.y(s.depth), reason < 0 ? 2.5 : 4.0, reason < 0 ? s_kept : s_colours[static_cast<std::size_t>(reason)],
                   reason < 0 ? "none" : "#000000", fmt::format("record {}: {}", s.index, reasons));
    }
    svg.endGroup();
    double x = left;
    const double y = frame.bottom() + 52;
    std::array<bool, ertkit::s_qc_reason_count> shown{};
    for (const Spot& s : spots)
        if (const int reason = shownReason(result.readings[s.index].reasons); reason >= 0) shown[static_cast<std::size_t>(reason)] = true;
    for (std::size_t k = 0; k < ertkit::s_qc_reason_count; ++k) {
        if (!shown[k]) continue;
        svg.circle(x + 5, y - 4, 4, s_colours[k], "#000000");
        const std::string name(ertkit::qcReasonName(static_cast<QcReason>(k)));
        svg.text(x + 13, y, name, 11);
        x += 22 + 7.0 * static_cast<double>(name.size());
    }
}

} // namespace

void plotQc(const QcResult& result, const std::string& name, std::ostream& out)
{
    SvgDocument svg(s_page_width, 900);
    svg.text(s_page_width / 2, 24, fmt::format("quality control of {}", name), 16, "middle", 0, true);
    drawPairs(svg, result, s_page_left, 70, 480, 300);
    drawCounts(svg, result, 640, 70, 330, 300);
    drawSection(svg, result, s_page_left, 450, s_page_plot_width, 340);
    svg.write(out);
}

} // namespace ertkit_cli
