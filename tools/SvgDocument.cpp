#include "SvgDocument.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <ostream>

namespace ertkit_cli {

namespace {

// An element with a coordinate or size that is not a finite number would carry "nan" or "inf"
// into the picture, which viewers reject or draw anywhere: it is left out.
bool finite(std::initializer_list<double> values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

bool finitePoint(const std::pair<double, double>& p)
{
    return std::isfinite(p.first) && std::isfinite(p.second);
}

} // namespace

SvgDocument::SvgDocument(double width, double height) : m_width(width), m_height(height) {}

void SvgDocument::line(double x1, double y1, double x2, double y2, std::string_view stroke, double stroke_width,
                       std::string_view dash)
{
    if (!finite({x1, y1, x2, y2, stroke_width})) return;
    fmt::format_to(std::back_inserter(m_body), "<line x1=\"{:.2f}\" y1=\"{:.2f}\" x2=\"{:.2f}\" y2=\"{:.2f}\" stroke=\"{}\" stroke-width=\"{}\"",
                   x1, y1, x2, y2, stroke, stroke_width);
    if (!dash.empty()) fmt::format_to(std::back_inserter(m_body), " stroke-dasharray=\"{}\"", dash);
    fmt::format_to(std::back_inserter(m_body), "/>\n");
}

void SvgDocument::polyline(const Points& points, std::string_view stroke, double stroke_width)
{
    if (!finite({stroke_width})) return;
    // A point that is not finite breaks the line: the runs on either side are drawn apart.
    auto from = std::find_if(points.begin(), points.end(), finitePoint);
    while (from != points.end()) {
        const auto to = std::find_if_not(from, points.end(), finitePoint);
        fmt::format_to(std::back_inserter(m_body), "<polyline fill=\"none\" stroke=\"{}\" stroke-width=\"{}\" stroke-linejoin=\"round\" points=\"",
                       stroke, stroke_width);
        for (auto p = from; p != to; ++p)
            fmt::format_to(std::back_inserter(m_body), "{}{:.2f},{:.2f}", p == from ? "" : " ", p->first, p->second);
        fmt::format_to(std::back_inserter(m_body), "\"/>\n");
        from = std::find_if(to, points.end(), finitePoint);
    }
}

void SvgDocument::rect(double x, double y, double w, double h, std::string_view fill, std::string_view stroke, double opacity)
{
    if (!finite({x, y, w, h, opacity})) return;
    fmt::format_to(std::back_inserter(m_body), "<rect x=\"{:.2f}\" y=\"{:.2f}\" width=\"{:.2f}\" height=\"{:.2f}\" fill=\"{}\" stroke=\"{}\"",
                   x, y, w, h, fill, stroke);
    if (opacity < 1.0) fmt::format_to(std::back_inserter(m_body), " fill-opacity=\"{}\"", opacity);
    fmt::format_to(std::back_inserter(m_body), "/>\n");
}

void SvgDocument::circle(double cx, double cy, double r, std::string_view fill, std::string_view stroke)
{
    if (!finite({cx, cy, r})) return;
    fmt::format_to(std::back_inserter(m_body), "<circle cx=\"{:.2f}\" cy=\"{:.2f}\" r=\"{}\" fill=\"{}\" stroke=\"{}\"/>\n", cx, cy, r,
                   fill, stroke);
}

void SvgDocument::marker(double cx, double cy, double r, std::string_view fill, std::string_view stroke, std::string_view title)
{
    if (!finite({cx, cy, r})) return;
    fmt::format_to(std::back_inserter(m_body), "<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"{}\" fill=\"{}\" stroke=\"{}\"><title>{}</title></circle>\n", cx,
                   cy, r, fill, stroke, escape(title));
}

void SvgDocument::polygon(const Points& points, std::string_view fill)
{
    if (points.empty() || !std::all_of(points.begin(), points.end(), finitePoint)) return;
    fmt::format_to(std::back_inserter(m_body), "<polygon fill=\"{0}\" stroke=\"{0}\" stroke-width=\"0.5\" points=\"", fill);
    for (std::size_t i = 0; i < points.size(); ++i)
        fmt::format_to(std::back_inserter(m_body), "{}{:.1f},{:.1f}", i == 0 ? "" : " ", points[i].first, points[i].second);
    fmt::format_to(std::back_inserter(m_body), "\"/>\n");
}

void SvgDocument::beginGroup(std::string_view attributes)
{
    fmt::format_to(std::back_inserter(m_body), "<g {}>\n", attributes);
}

void SvgDocument::endGroup()
{
    fmt::format_to(std::back_inserter(m_body), "</g>\n");
}

void SvgDocument::text(double x, double y, std::string_view text, double size, std::string_view anchor, double rotation, bool bold)
{
    if (!finite({x, y, size, rotation})) return;
    fmt::format_to(std::back_inserter(m_body), "<text x=\"{:.2f}\" y=\"{:.2f}\" font-size=\"{}\" text-anchor=\"{}\"", x, y, size, anchor);
    if (rotation != 0.0) fmt::format_to(std::back_inserter(m_body), " transform=\"rotate({} {:.2f} {:.2f})\"", rotation, x, y);
    if (bold) fmt::format_to(std::back_inserter(m_body), " font-weight=\"bold\"");
    fmt::format_to(std::back_inserter(m_body), ">{}</text>\n", escape(text));
}

void SvgDocument::write(std::ostream& out) const
{
    out << fmt::format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" viewBox=\"0 0 {0} {1}\" "
                       "font-family=\"sans-serif\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n",
                       m_width, m_height);
    out.write(m_body.data(), static_cast<std::streamsize>(m_body.size()));
    out << "</svg>\n";
}

std::string SvgDocument::escape(std::string_view text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&apos;"; break;
        default:
            // Control characters are not allowed in XML 1.0 text.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') escaped += c;
        }
    }
    return escaped;
}

} // namespace ertkit_cli
