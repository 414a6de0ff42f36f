#include "ResultExport.h"

#include "NumberText.h"
#include "ResultValues.h"
#include "TimeText.h"
#include "UdfExport.h"

#include <algorithm>
#include <ostream>

namespace ertkit_cli {

namespace {

constexpr const char* s_electrode_names = "abmn";

std::size_t mostWindows(const std::vector<Result_Reader*>& results)
{
    std::size_t windows = 0;
    ResultValues v;
    for (const Result_Reader* r : results) {
        readResultValues(*r, v);
        windows = std::max(windows, v.window_times.empty() ? 0 : v.window_times.size() - 1);
    }
    return windows;
}

void csvHeader(fmt::memory_buffer& b, std::size_t windows)
{
    fmt::format_to(std::back_inserter(b), "index");
    for (const char e : std::string_view(s_electrode_names)) fmt::format_to(std::back_inserter(b), ",{0}x,{0}y,{0}z", e);
    fmt::format_to(std::back_inserter(b), ",vp_mV,i_mA,r_ohm,k_m,rhoa_ohm_m,m_mV_V,sp_mV,vp_error_mV,m_error,stacks,start_time,ignore,"
                                          "serial_v,user_serial_v,serial_i,user_serial_i,t0_ms");
    for (std::size_t w = 1; w <= windows; ++w) fmt::format_to(std::back_inserter(b), ",m{}_mV_V", w);
    for (std::size_t w = 1; w <= windows; ++w) fmt::format_to(std::back_inserter(b), ",t{}_ms", w);
    b.push_back('\n');
}

void csvRow(fmt::memory_buffer& b, std::size_t index, const ResultValues& v, std::size_t windows)
{
    fmt::format_to(std::back_inserter(b), "{}", index);
    for (const ElectrodePoint& p : v.electrodes) fmt::format_to(std::back_inserter(b), ",{},{},{}", p.x, p.y, p.z);
    for (const std::optional<double>& value : {std::optional<double>(v.vp), std::optional<double>(v.current), v.resistance, v.k, v.rhoa,
                                               std::optional<double>(v.m), std::optional<double>(v.sp),
                                               std::optional<double>(v.vp_error), std::optional<double>(v.m_error)}) {
        b.push_back(',');
        appendNumber(b, value, false);
    }
    fmt::format_to(std::back_inserter(b), ",{},{},{:d},{},{},{},{},", v.stacks, isoTime(v.start_time, ""), v.ignore, v.serial_v,
                   v.user_serial_v, v.serial_i, v.user_serial_i);
    if (!v.window_times.empty()) fmt::format_to(std::back_inserter(b), "{}", v.window_times[0]);
    for (std::size_t w = 0; w < windows; ++w) {
        b.push_back(',');
        if (w < v.window_m.size()) appendNumber(b, v.window_m[w], false);
    }
    for (std::size_t w = 1; w <= windows; ++w) {
        b.push_back(',');
        if (w < v.window_times.size()) fmt::format_to(std::back_inserter(b), "{}", v.window_times[w]);
    }
    b.push_back('\n');
}

void jsonRecord(fmt::memory_buffer& b, std::size_t index, const ResultValues& v, const Result_Reader& r)
{
    fmt::format_to(std::back_inserter(b), "    {{\"index\": {}, \"electrodes\": {{", index);
    for (std::size_t e = 0; e < 4; ++e) {
        const ElectrodePoint& p = v.electrodes[e];
        fmt::format_to(std::back_inserter(b), "{}\"{}\": {{\"x\": ", e == 0 ? "" : ", ", static_cast<char>(std::toupper(s_electrode_names[e])));
        appendNumber(b, p.x, true);
        fmt::format_to(std::back_inserter(b), ", \"y\": ");
        appendNumber(b, p.y, true);
        fmt::format_to(std::back_inserter(b), ", \"z\": ");
        appendNumber(b, p.z, true);
        fmt::format_to(std::back_inserter(b), ", \"remote\": {}}}", p.remote());
    }
    const std::pair<const char*, std::optional<double>> numbers[] = {
        {"vp_mV", v.vp}, {"i_mA", v.current}, {"r_ohm", v.resistance}, {"k_m", v.k}, {"rhoa_ohm_m", v.rhoa}, {"m_mV_V", v.m},
        {"sp_mV", v.sp}, {"vp_error_mV", v.vp_error}, {"m_error", v.m_error}};
    fmt::format_to(std::back_inserter(b), "}}");
    for (const auto& [key, value] : numbers) {
        fmt::format_to(std::back_inserter(b), ", \"{}\": ", key);
        appendNumber(b, value, true);
    }
    fmt::format_to(std::back_inserter(b), ", \"windows\": [");
    for (std::size_t w = 0; w + 1 < v.window_times.size(); ++w) {
        fmt::format_to(std::back_inserter(b), "{}{{\"from_ms\": {}, \"to_ms\": {}, \"m_mV_V\": ", w == 0 ? "" : ", ", v.window_times[w],
                       v.window_times[w + 1]);
        appendNumber(b, w < v.window_m.size() ? v.window_m[w] : 0.0, true);
        b.push_back('}');
    }
    fmt::format_to(std::back_inserter(b),
                   "], \"stacks\": {}, \"start_time\": \"{}\", \"ignore\": {}, \"serial_v\": {}, \"user_serial_v\": {}, "
                   "\"serial_i\": {}, \"user_serial_i\": {}, \"orig_file\": {}}}",
                   v.stacks, isoTime(v.start_time, ""), v.ignore, v.serial_v, v.user_serial_v, v.serial_i, v.user_serial_i,
                   jsonText(r.getOrigFile()));
}

void writeRows(const Result_File& file, const std::string& name, bool json, std::ostream& out, ProgressCallback& progress)
{
    const auto& results = file.getResults();
    const std::size_t windows = json ? 0 : mostWindows(results);
    progress.setRange(0, static_cast<unsigned int>(results.size()), 1);
    fmt::memory_buffer b;
    if (json)
        fmt::format_to(std::back_inserter(b), "{{\n  \"file\": {},\n  \"type\": {},\n  \"records\": [\n",
                       jsonText(name), jsonText(file.getTypeName()));
    else
        csvHeader(b, windows);
    ResultValues v;
    for (std::size_t i = 0; i < results.size(); ++i) {
        readResultValues(*results[i], v);
        if (json) {
            jsonRecord(b, i, v, *results[i]);
            fmt::format_to(std::back_inserter(b), "{}\n", i + 1 < results.size() ? "," : "");
        } else {
            csvRow(b, i, v, windows);
        }
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
        b.clear();
        progress.step();
    }
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    if (json) out << "  ]\n}\n";
}

} // namespace

void exportResults(const Result_File& file, const std::string& name, TableFormat format, std::ostream& out, ProgressCallback& progress)
{
    if (format == TableFormat::Udf) {
        writeUdf(file, out);
        return;
    }
    writeRows(file, name, format == TableFormat::Json, out, progress);
}

} // namespace ertkit_cli
