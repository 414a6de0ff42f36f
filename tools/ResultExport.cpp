#include "ResultExport.h"

#include "NumberText.h"
#include "TimeText.h"
#include "GeneralArrayExport.h"
#include "UdfExport.h"

#include <services/Reprocessing.h>
#include <services/ResultColumns.h>

#include <filesystem>
#include <ostream>

namespace ertkit_cli {

namespace {

using ertkit::ColumnGroup;
using ertkit::ColumnType;
using ertkit::ResultColumn;
using ertkit::ResultRow;

constexpr const char* s_electrode_names = "abmn";

void csvHeader(fmt::memory_buffer& b, const std::vector<ResultColumn>& columns)
{
    for (std::size_t c = 0; c < columns.size(); ++c) fmt::format_to(std::back_inserter(b), "{}{}", c == 0 ? "" : ",", columns[c].name);
    b.push_back('\n');
}

// A cell as text; `json` quotes times and spells flags true/false.
void appendCell(fmt::memory_buffer& b, const ResultColumn& column, const ResultRow& row, bool json)
{
    switch (column.type) {
    case ColumnType::Integer: fmt::format_to(std::back_inserter(b), "{}", column.whole(row)); break;
    case ColumnType::Real:
        if (json)
            appendNumber(b, column.real(row), json);
        else
            appendReal(b, column.real(row));
        break;
    case ColumnType::Time:
        if (const auto time = column.time(row)) {
            if (json) b.push_back('"');
            fmt::format_to(std::back_inserter(b), "{}", isoTime(*time, ""));
            if (json) b.push_back('"');
        } else if (json) {
            fmt::format_to(std::back_inserter(b), "null");
        }
        break;
    case ColumnType::Flag:
        if (json)
            fmt::format_to(std::back_inserter(b), "{}", column.whole(row) != 0);
        else
            fmt::format_to(std::back_inserter(b), "{:d}", column.whole(row) != 0);
        break;
    }
}

void csvRow(fmt::memory_buffer& b, const std::vector<ResultColumn>& columns, const ResultRow& row)
{
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c != 0) b.push_back(',');
        appendCell(b, columns[c], row, false);
    }
    b.push_back('\n');
}

// The columns of one group as "key": value members.
void jsonMembers(fmt::memory_buffer& b, const std::vector<ResultColumn>& columns, ColumnGroup group, const ResultRow& row)
{
    for (const ResultColumn& column : columns) {
        if (column.group != group) continue;
        fmt::format_to(std::back_inserter(b), ", \"{}\": ", column.name);
        appendCell(b, column, row, true);
    }
}

void jsonRecord(fmt::memory_buffer& b, const std::vector<ResultColumn>& columns, const ResultRow& row, const Result_Reader& r)
{
    const ertkit::ResultValues& v = row.values;
    fmt::format_to(std::back_inserter(b), "    {{\"index\": {}, \"electrodes\": {{", row.index);
    for (std::size_t e = 0; e < 4; ++e) {
        const ertkit::ElectrodePoint& p = v.electrodes[e];
        fmt::format_to(std::back_inserter(b), "{}\"{}\": {{\"x\": ", e == 0 ? "" : ", ", static_cast<char>(std::toupper(s_electrode_names[e])));
        appendNumber(b, p.x, true);
        fmt::format_to(std::back_inserter(b), ", \"y\": ");
        appendNumber(b, p.y, true);
        fmt::format_to(std::back_inserter(b), ", \"z\": ");
        appendNumber(b, p.z, true);
        fmt::format_to(std::back_inserter(b), ", \"remote\": {}}}", p.remote());
    }
    fmt::format_to(std::back_inserter(b), "}}");
    jsonMembers(b, columns, ColumnGroup::Values, row);
    fmt::format_to(std::back_inserter(b), ", \"windows\": [");
    // Reprocessing beyond the meter keeps each window's deviation; only such records carry it.
    const std::vector<double> deviations = ertkit::storedWindowDeviations(r);
    for (std::size_t w = 0; w + 1 < v.window_times.size(); ++w) {
        fmt::format_to(std::back_inserter(b), "{}{{\"from_ms\": {}, \"to_ms\": {}, \"m_mV_V\": ", w == 0 ? "" : ", ", v.window_times[w],
                       v.window_times[w + 1]);
        appendNumber(b, w < v.window_m.size() ? v.window_m[w] : 0.0, true);
        if (w < deviations.size()) {
            fmt::format_to(std::back_inserter(b), ", \"m_std_mV_V\": ");
            appendNumber(b, deviations[w], true);
        }
        b.push_back('}');
    }
    b.push_back(']');
    jsonMembers(b, columns, ColumnGroup::Record, row);
    fmt::format_to(std::back_inserter(b), ", \"orig_file\": {}}}", jsonText(r.getOrigFile()));
}

void writeRows(const Result_File& file, const std::string& name, bool json, std::ostream& out, ProgressCallback& progress)
{
    const auto& results = file.getResults();
    // JSON lists each record's own windows; CSV has a column for every window of any record.
    const std::vector<ResultColumn> columns = ertkit::resultColumns(json ? 0 : ertkit::mostWindows(results));
    progress.setRange(0, static_cast<unsigned int>(results.size()), 1);
    fmt::memory_buffer b;
    if (json)
        fmt::format_to(std::back_inserter(b), "{{\n  \"file\": {},\n  \"type\": {},\n  \"records\": [\n",
                       jsonText(name), jsonText(file.getTypeName()));
    else
        csvHeader(b, columns);
    ResultRow row;
    for (std::size_t i = 0; i < results.size(); ++i) {
        row.index = static_cast<std::int64_t>(i);
        ertkit::readResultValues(*results[i], row.values);
        if (json) {
            jsonRecord(b, columns, row, *results[i]);
            fmt::format_to(std::back_inserter(b), "{}\n", i + 1 < results.size() ? "," : "");
        } else {
            csvRow(b, columns, row);
        }
        out.write(b.data(), static_cast<std::streamsize>(b.size()));
        b.clear();
        progress.step();
    }
    out.write(b.data(), static_cast<std::streamsize>(b.size()));
    if (json) out << "  ]\n}\n";
}

} // namespace

void exportResults(const Result_File& file, const std::string& name, TableFormat format, const InversionOptions& inversion,
                   std::ostream& out, ProgressCallback& progress)
{
    if (format == TableFormat::Udf) {
        writeUdf(file, inversion, out);
        return;
    }
    if (format == TableFormat::GeneralArray) {
        writeGeneralArray(file, std::filesystem::path(name).filename().string(), inversion, out);
        return;
    }
    writeRows(file, name, format == TableFormat::Json, out, progress);
}

} // namespace ertkit_cli
