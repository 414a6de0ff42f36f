#include "ReportCsv.h"

#include "NumberText.h"

#include <fmt/format.h>

#include <ostream>

namespace ertkit_cli {

namespace {

void appendText(fmt::memory_buffer& out, const std::string& text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos) {
        out.append(text);
        return;
    }
    out.push_back('"');
    for (const char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

} // namespace

void writeReportCsv(std::ostream& out, const std::vector<ertkit::ReportColumn>& columns, std::size_t rows,
                    const std::function<void(std::size_t, std::vector<ertkit::ReportCell>&)>& row)
{
    fmt::memory_buffer line;
    for (const ertkit::ReportColumn& column : columns) {
        if (line.size() > 0) line.push_back(',');
        line.append(column.name);
    }
    line.push_back('\n');
    std::vector<ertkit::ReportCell> cells;
    for (std::size_t i = 0; i < rows; ++i) {
        row(i, cells);
        bool first = true;
        for (const ertkit::ReportCell& cell : cells) {
            if (!first) line.push_back(',');
            first = false;
            if (const auto* whole = std::get_if<std::int64_t>(&cell)) fmt::format_to(std::back_inserter(line), "{}", *whole);
            else if (const auto* real = std::get_if<double>(&cell)) appendReal(line, *real);
            else if (const auto* text = std::get_if<std::string>(&cell)) appendText(line, *text);
        }
        line.push_back('\n');
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
        line.clear();
    }
}

} // namespace ertkit_cli
