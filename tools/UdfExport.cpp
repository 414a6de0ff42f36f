#include "UdfExport.h"

#include "NumberText.h"

#include <services/ResultValues.h>

#include <map>
#include <ostream>
#include <tuple>
#include <vector>

namespace ertkit_cli {

namespace {

using ertkit::ElectrodePoint;

// Electrode numbers by position, from 1 in order of first appearance.
class ElectrodeTable {
public:
    unsigned int number(const ElectrodePoint& p)
    {
        if (p.remote()) return 0;
        const auto [it, added] = m_numbers.try_emplace(std::make_tuple(p.x, p.y, p.z), static_cast<unsigned int>(m_points.size() + 1));
        if (added) m_points.push_back(p);
        return it->second;
    }
    const std::vector<ElectrodePoint>& points() const { return m_points; }

private:
    std::map<std::tuple<double, double, double>, unsigned int> m_numbers;
    std::vector<ElectrodePoint> m_points;
};

} // namespace

void writeUdf(const Result_File& file, std::ostream& out)
{
    const auto& results = file.getResults();
    ElectrodeTable table;
    std::vector<std::array<unsigned int, 4>> numbers;
    numbers.reserve(results.size());
    ertkit::ResultValues v;
    for (const Result_Reader* r : results) {
        ertkit::readResultValues(*r, v);
        numbers.push_back({table.number(v.electrodes[0]), table.number(v.electrodes[1]), table.number(v.electrodes[2]),
                           table.number(v.electrodes[3])});
    }
    fmt::memory_buffer b;
    fmt::format_to(std::back_inserter(b), "{}\n# x y z\n", table.points().size());
    for (const ElectrodePoint& p : table.points()) fmt::format_to(std::back_inserter(b), "{} {} {}\n", p.x, p.y, p.z);
    fmt::format_to(std::back_inserter(b), "{}\n# a b m n r rhoa ip valid\n", results.size());
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    for (std::size_t i = 0; i < results.size(); ++i) {
        b.clear();
        ertkit::readResultValues(*results[i], v);
        const bool valid = !v.ignore && v.rhoa.has_value();
        const auto& n = numbers[i];
        fmt::format_to(std::back_inserter(b), "{} {} {} {} ", n[0], n[1], n[2], n[3]);
        appendNumber(b, v.resistance.value_or(std::numeric_limits<double>::quiet_NaN()), false);
        b.push_back(' ');
        appendNumber(b, v.rhoa.value_or(std::numeric_limits<double>::quiet_NaN()), false);
        b.push_back(' ');
        appendNumber(b, v.m, false);
        fmt::format_to(std::back_inserter(b), " {:d}\n", valid);
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
    }
    out << "0\n";
}

} // namespace ertkit_cli
