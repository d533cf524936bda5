// The texts of the statistics: table cells, marks and log lines, formatted from typed results only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "stats/aucinterval.h"
#include "stats/statistics.h"

namespace karvelo {

// " *" at 95%, " **" at 99%, nothing below.
std::string Chi2Marks(const Chi2Result& r);
// The audit's table cell of one grid: the statistic with 2 decimals and its marks.
std::string AuditChi2Cell(const Chi2Result& r);
// The class test's cell: the statistic in 10 characters with 3 decimals, " *" or " NS", and "*" at 99%.
std::string Chi2SignText(const Chi2Result& r);
// The classification histogram's line: "Chi2 pos: 12.3 **", or "Chi2 pos undefined" when a class
// has nothing to expect or the statistic is not above 0.
std::string HistogramChi2Text(const GoodnessOfFit& fit, bool presences);
// A p-value with 4 decimals.
std::string PValueText(double p);
// "AUC 95% CI (DeLong) = [0.8512, 0.9821]", or that the interval is not available.
std::string AucIntervalLine(std::string_view method, const std::optional<AucInterval>& interval);

}  // namespace karvelo
