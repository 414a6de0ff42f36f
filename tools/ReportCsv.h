#pragma once

#include <services/ReprocessReport.h>

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <vector>

namespace ertkit_cli {

// A report as CSV: the columns' names, then `rows` rows, each filled by `row` into the cells
// it is given. Reals as the exports write them, undefined cells empty, texts quoted when they
// hold a separator, a quote or a line end.
void writeReportCsv(std::ostream& out, const std::vector<ertkit::ReportColumn>& columns, std::size_t rows,
                    const std::function<void(std::size_t, std::vector<ertkit::ReportCell>&)>& row);

} // namespace ertkit_cli
