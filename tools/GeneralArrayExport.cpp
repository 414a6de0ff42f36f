#include "GeneralArrayExport.h"

#include <services/ArrayKind.h>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace ertkit_cli {

namespace {

// The smallest distance between neighbouring electrodes along the line.
double unitSpacing(const InversionData& data)
{
    double unit = 0.0, previous = 0.0;
    bool first = true;
    for (const ertkit::ElectrodePoint& p : data.electrodes().points()) {
        const double t = data.line().along(p);
        if (!first && t - previous > 1e-9) unit = unit > 0.0 ? std::min(unit, t - previous) : t - previous;
        previous = t, first = false;
    }
    return unit > 0.0 ? unit : 1.0;
}

// The sub-array type names one conventional array when every datum is of it: 1 Wenner, 3
// dipole-dipole, 6 pole-dipole, 7 Wenner-Schlumberger, 2 pole-pole; 0 otherwise.
int subArrayType(const InversionData& data)
{
    std::optional<ertkit::ArrayKind> common;
    for (const InversionReading& r : data.readings()) {
        const ertkit::ArrayKind kind = ertkit::arrayGeometry(r.electrodes, data.line()).kind;
        if (common && *common != kind) return 0;
        common = kind;
    }
    switch (common.value_or(ertkit::ArrayKind::General)) {
    case ertkit::ArrayKind::Wenner: return 1;
    case ertkit::ArrayKind::PolePole: return 2;
    case ertkit::ArrayKind::DipoleDipole: return 3;
    case ertkit::ArrayKind::PoleDipole: return 6;
    case ertkit::ArrayKind::Schlumberger: return 7;
    case ertkit::ArrayKind::General: return 0;
    }
    return 0;
}

bool writable(const InversionReading& r)
{
    return r.valid;
}

// Why a file gives no datum; the readings kept are all fit to write.
std::string noDatumReason(const InversionData::LeftOut& left_out)
{
    const std::size_t total = left_out.ignored + left_out.undefined;
    if (total == 0) return "the file holds no reading";
    std::vector<std::string> reasons;
    if (left_out.ignored > 0) reasons.push_back(fmt::format("{} marked ignored", left_out.ignored));
    if (left_out.undefined > 0)
        reasons.push_back(fmt::format("{} without a finite apparent resistivity (no current, or electrodes that give no geometric factor)",
                                      left_out.undefined));
    return fmt::format("of its {} readings, {}", total, fmt::join(reasons, " and "));
}

} // namespace

void writeGeneralArray(const Result_File& file, const std::string& title, const InversionOptions& options, std::ostream& out)
{
    InversionOptions kept = options;
    kept.keep_ignored = false;
    // The format's readers take errors only when announced; a plain file stays as it was.
    kept.errors = options.general_array_errors ? options.errors : ErrorKind::None;
    const InversionData data(file, kept);
    const std::size_t count = static_cast<std::size_t>(std::count_if(data.readings().begin(), data.readings().end(), writable));
    if (count == 0) throw std::runtime_error("no datum to write: " + noDatumReason(data.leftOut()));
    const bool ip = data.hasChargeability();
    fmt::memory_buffer b;
    std::string line_title = title;
    std::replace(line_title.begin(), line_title.end(), '\n', ' ');
    fmt::format_to(std::back_inserter(b), "{}\n{}\n11\n{}\nType of measurement (0=app. resistivity,1=resistance)\n0\n{}\n1\n", line_title,
                   unitSpacing(data), subArrayType(data), count);
    const bool errors = data.hasErrors();
    if (errors) b.append(std::string_view("Error estimate for data present\nType of error estimate (0=same unit as data)\n0\n"));
    fmt::format_to(std::back_inserter(b), "{:d}\n", ip);
    if (ip) {
        const auto windows = data.windows().value_or(std::pair<double, double>(0.0, 0.0));
        fmt::format_to(std::back_inserter(b), "Chargeability\nmV/V\n{},{}\n", windows.first / 1000.0, windows.second / 1000.0);
    }
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    for (const InversionReading& r : data.readings()) {
        if (!writable(r)) continue;
        b.clear();
        const int electrodes = static_cast<int>(std::count_if(r.electrodes.begin(), r.electrodes.end(),
                                                              [](const ertkit::ElectrodePoint& p) { return !p.remote(); }));
        fmt::format_to(std::back_inserter(b), "{}", electrodes);
        for (const ertkit::ElectrodePoint& p : r.electrodes)
            if (!p.remote()) fmt::format_to(std::back_inserter(b), " {} {}", data.line().along(p), p.z);
        fmt::format_to(std::back_inserter(b), " {}", *r.rhoa);
        if (errors) fmt::format_to(std::back_inserter(b), " {}", std::abs(*r.rhoa) * r.err.value_or(0.0));
        if (ip) fmt::format_to(std::back_inserter(b), " {}", r.m);
        b.push_back('\n');
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
    }
    out << "0\n0\n0\n0\n";
}

} // namespace ertkit_cli
