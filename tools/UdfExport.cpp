#include "UdfExport.h"

#include "NumberText.h"

#include <limits>
#include <ostream>

namespace ertkit_cli {

namespace {

constexpr double s_nan = std::numeric_limits<double>::quiet_NaN();

} // namespace

void writeUdf(const Result_File& file, const InversionOptions& options, std::ostream& out)
{
    const InversionData data(file, options);
    const ertkit::CableOrder& order = data.electrodes();
    fmt::memory_buffer b;
    fmt::format_to(std::back_inserter(b), "{}\n# x y z\n", order.count());
    for (const ertkit::ElectrodePoint& p : order.points()) {
        if (data.alongLine())
            fmt::format_to(std::back_inserter(b), "{} 0 {}\n", data.line().along(p), p.z);
        else
            fmt::format_to(std::back_inserter(b), "{} {} {}\n", p.x, p.y, p.z);
    }
    // ip holds M in mV/V unless the phase is asked for (readers of the format take the column
    // as a phase in mrad by default: the README says which is written).
    fmt::format_to(std::back_inserter(b), "{}\n# a b m n r rhoa ip{} valid\n", data.readings().size(), data.hasErrors() ? " err" : "");
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    for (const InversionReading& reading : data.readings()) {
        b.clear();
        for (const ertkit::ElectrodePoint& p : reading.electrodes) fmt::format_to(std::back_inserter(b), "{} ", order.numberOf(p));
        appendNumber(b, reading.r.value_or(s_nan), false);
        b.push_back(' ');
        appendNumber(b, reading.rhoa.value_or(s_nan), false);
        b.push_back(' ');
        appendNumber(b, reading.m, false);
        if (data.hasErrors()) {
            b.push_back(' ');
            appendNumber(b, reading.err.value_or(s_nan), false);
        }
        fmt::format_to(std::back_inserter(b), " {:d}\n", reading.valid);
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
    }
    out << "0\n";
}

} // namespace ertkit_cli
