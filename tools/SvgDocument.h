#pragma once

#include <fmt/format.h>

#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ertkit_cli {

// A stand-alone SVG picture built element by element. Coordinates are pixels from the top
// left corner; texts are escaped for XML. An element with a coordinate or size that is not a
// finite number is left out (a polyline is broken at such a point), so that no picture
// carries "nan" or "inf".
class SvgDocument {
public:
    using Points = std::vector<std::pair<double, double>>;

    SvgDocument(double width, double height);

    double width() const { return m_width; }
    double height() const { return m_height; }

    void line(double x1, double y1, double x2, double y2, std::string_view stroke, double stroke_width = 1.0,
              std::string_view dash = {});
    void polyline(const Points& points, std::string_view stroke, double stroke_width = 1.0);
    void rect(double x, double y, double w, double h, std::string_view fill, std::string_view stroke = "none",
              double opacity = 1.0);
    void circle(double cx, double cy, double r, std::string_view fill, std::string_view stroke = "none");
    // A data marker: a circle to 0.1 px, with a hover title; its stroke width comes from the
    // enclosing group, so that many markers stay small.
    void marker(double cx, double cy, double r, std::string_view fill, std::string_view stroke, std::string_view title);
    // A filled polygon whose edge takes its fill colour (no seams between neighbours).
    void polygon(const Points& points, std::string_view fill);
    // A group of elements, `attributes` written as is into its opening tag (class="panel" ...).
    void beginGroup(std::string_view attributes);
    void endGroup();
    // anchor: "start", "middle" or "end"; rotation in degrees about the anchor point.
    void text(double x, double y, std::string_view text, double size = 12.0, std::string_view anchor = "start",
              double rotation = 0.0, bool bold = false);

    void write(std::ostream& out) const;

    static std::string escape(std::string_view text);

private:
    double m_width;
    double m_height;
    fmt::memory_buffer m_body;
};

} // namespace ertkit_cli
