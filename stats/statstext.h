// The texts of the statistics: table cells, marks and log lines, formatted from typed results only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
// "Conditional independence: presences 45, expected 49.31, ratio 0.91", with ", z = 1.02,
// p = 0.1539" when the standard deviation of the expectation is known.
std::string ConditionalIndependenceLine(long long presences, double expected, std::optional<double> z, std::optional<double> p);
// "Pairwise independence of presences: dist.asc x soil.asc: Chi2 = 12.34, df = 6, p = 0.0548", or
// that there is no test; a second line warns of sparse tables.
std::vector<std::string> PairwiseIndependenceLines(const std::string& first, const std::string& second, const ContingencyResult& r);
// "AUC 95% CI (DeLong) = [0.8512, 0.9821]", or that the interval is not available.
std::string AucIntervalLine(std::string_view method, const std::optional<AucInterval>& interval);

}  // namespace karvelo
