#include "ResultInfo.h"

#include "TimeText.h"

#include <services/ResultValues.h>

#include <fmt/ostream.h>

#include <algorithm>
#include <optional>

namespace ertkit_cli {

namespace {

std::string cell(const std::optional<double>& value, const char* format)
{
    return value ? fmt::format(fmt::runtime(format), *value) : std::string("-");
}

void printTable(const std::vector<Result_Reader*>& results, std::size_t rows, std::ostream& out)
{
    fmt::print(out, "  first records\n  {:>5} {:>9} {:>9} {:>9} {:>9} {:>11} {:>10} {:>12} {:>9} {:>6}\n", "#", "A x (m)", "B x (m)", "M x (m)",
               "N x (m)", "Vp (mV)", "I (mA)", "rho_a (ohm.m)", "M (mV/V)", "ignore");
    ertkit::ResultValues v;
    for (std::size_t i = 0; i < std::min(rows, results.size()); ++i) {
        ertkit::readResultValues(*results[i], v);
        std::string xs;
        for (const ertkit::ElectrodePoint& p : v.electrodes) xs += p.remote() ? fmt::format(" {:>9}", "inf") : fmt::format(" {:>9.2f}", p.x);
        fmt::print(out, "  {:>5}{} {:>11.4g} {:>10.4g} {:>13} {:>9.3g} {:>6}\n", i, xs, v.vp, v.current, cell(v.rhoa, "{:.4g}"), v.m,
                   v.ignore ? "yes" : "no");
    }
    if (results.size() > rows) fmt::print(out, "  ... {} more\n", results.size() - rows);
}

} // namespace

void printResultInfo(const Result_File& file, const std::string& name, std::ostream& out, std::size_t table_rows)
{
    const auto& results = file.getResults();
    fmt::print(out, "{}\n", name);
    for (const auto& [label, value] : resultFileDetails(file)) fmt::print(out, "  {:<15} {}\n", label, value);
    const auto ignored = std::count_if(results.begin(), results.end(), [](const Result_Reader* r) { return r->getIgnore(); });
    fmt::print(out, "  {:<15} {} ({} ignored)\n", "records", results.size(), ignored);
    std::optional<HighPrecisionTime> first, last;
    for (const Result_Reader* r : results) {
        const HighPrecisionTime t = r->getStartTime(true);
        if (t == HighPrecisionTime()) continue; // no time stored
        if (!first || t < *first) first = t;
        if (!last || *last < t) last = t;
    }
    fmt::print(out, "  {:<15} {}\n", "time span", first ? isoTime(*first, "") + " to " + isoTime(*last, "") : "no times stored");
    if (!results.empty()) printTable(results, table_rows, out);
}

} // namespace ertkit_cli
