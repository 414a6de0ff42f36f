#include "SectionLayout.h"

#include <services/SectionLayout.h>
#include <services/SectionQuantity.h>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <limits>
#include <optional>

namespace ertkit_py {

namespace py = pybind11;

namespace {

using Reals = py::array_t<double, py::array::c_style | py::array::forcecast>;
using Flags = py::array_t<bool, py::array::c_style | py::array::forcecast>;

std::vector<ertkit::SectionReading> sectionReadings(const Reals& points, const Flags& ignore, const Flags& drawn)
{
    if (points.ndim() != 3 || points.shape(1) != 4 || points.shape(2) != 3)
        throw py::value_error("section_layout takes electrode points of shape (n, 4, 3)");
    const py::ssize_t n = points.shape(0);
    if (ignore.ndim() != 1 || ignore.shape(0) != n || drawn.ndim() != 1 || drawn.shape(0) != n)
        throw py::value_error("section_layout takes one ignore flag and one drawn flag per reading");
    const auto in = points.unchecked<3>();
    const auto ignored = ignore.unchecked<1>(), kept = drawn.unchecked<1>();
    std::vector<ertkit::SectionReading> readings(static_cast<std::size_t>(n));
    for (py::ssize_t i = 0; i < n; ++i) {
        ertkit::SectionReading& r = readings[static_cast<std::size_t>(i)];
        for (py::ssize_t e = 0; e < 4; ++e) r.electrodes[static_cast<std::size_t>(e)] = {in(i, e, 0), in(i, e, 1), in(i, e, 2)};
        r.ignore = ignored(i), r.drawn = kept(i);
    }
    return readings;
}

py::dict layoutDict(const ertkit::SectionLayout& layout, const std::optional<Reals>& values)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    py::array_t<double> positions({static_cast<py::ssize_t>(layout.positions.size()), py::ssize_t{2}});
    auto at = positions.mutable_unchecked<2>();
    for (std::size_t i = 0; i < layout.positions.size(); ++i) {
        const auto& p = layout.positions[i];
        at(static_cast<py::ssize_t>(i), 0) = p ? p->abscissa : nan;
        at(static_cast<py::ssize_t>(i), 1) = p ? p->depth : nan;
    }
    const auto count = static_cast<py::ssize_t>(layout.points.size());
    py::array_t<double> abscissa(count), depth(count), value(count);
    py::array_t<bool> ignore(count);
    py::list records;
    for (py::ssize_t k = 0; k < count; ++k) {
        const ertkit::SectionPoint& p = layout.points[static_cast<std::size_t>(k)];
        abscissa.mutable_at(k) = p.position.abscissa, depth.mutable_at(k) = p.position.depth, ignore.mutable_at(k) = p.ignore;
        records.append(py::cast(p.readings));
        if (values) {
            std::vector<double> shares;
            for (const std::size_t i : p.readings) shares.push_back(values->at(static_cast<py::ssize_t>(i)));
            value.mutable_at(k) = ertkit::meanOfShares(shares);
        }
    }
    py::list panels;
    for (const ertkit::SectionPanel& p : layout.panels) {
        py::dict panel;
        panel["array"] = ertkit::arrayName(p.kind);
        panel["spacing"] = p.spacing ? py::cast(*p.spacing) : py::none();
        panel["title"] = ertkit::panelTitle(p);
        panel["points"] = py::array_t<std::int64_t>(static_cast<py::ssize_t>(p.points.size()),
                                                    std::vector<std::int64_t>(p.points.begin(), p.points.end()).data());
        panels.append(std::move(panel));
    }
    py::dict out;
    out["positions"] = std::move(positions);
    out["electrodes"] = py::array_t<double>(static_cast<py::ssize_t>(layout.electrodes.size()), layout.electrodes.data());
    out["distance_title"] = ertkit::distanceTitle(layout.line);
    out["not_finite"] = layout.not_finite, out["drawn"] = layout.drawn;
    out["averaged"] = layout.averaged, out["ignored_repeats"] = layout.ignored_repeats;
    out["abscissa"] = std::move(abscissa), out["depth"] = std::move(depth), out["ignore"] = std::move(ignore);
    out["records"] = std::move(records);
    if (values) out["values"] = std::move(value);
    out["panels"] = std::move(panels);
    return out;
}

} // namespace

void bindSectionLayout(py::module_& m)
{
    m.def(
        "section_layout",
        [](const Reals& points, const Flags& ignore, const Flags& drawn, const std::optional<Reals>& values) {
            const std::vector<ertkit::SectionReading> readings = sectionReadings(points, ignore, drawn);
            if (values && (values->ndim() != 1 || values->shape(0) != points.shape(0)))
                throw py::value_error("section_layout takes one value per reading");
            return layoutDict(ertkit::sectionLayout(readings), values);
        },
        py::arg("points"), py::arg("ignore"), py::arg("drawn"), py::arg("values") = py::none(),
        "Where a pseudo-section puts readings of electrode points (n, 4, 3): each reading's "
        "distance along the fitted line and pseudo-depth (positions, NaN where it has none), the "
        "markers (repeats of a quadrupole drawn once: abscissa, depth, ignore, records, and the "
        "mean of the values given) and the panels, per array and per spacing.");
    m.def(
        "section_quantities",
        [] {
            py::list out;
            for (const ertkit::SectionQuantity& q : ertkit::sectionQuantities()) {
                py::dict d;
                d["key"] = q.key, d["column"] = q.column, d["symbol"] = q.symbol, d["unit"] = q.unit, d["log"] = q.log;
                d["title"] = q.title();
                out.append(std::move(d));
            }
            return out;
        },
        "The quantities a pseudo-section colours by: key, column, symbol, unit, log scale and title.");
}

} // namespace ertkit_py
