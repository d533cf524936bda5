// Formatting of test results for tables, pictures and the run log.
#include "stats/statstext.h"

#include "core/numfmt.h"

namespace karvelo {

std::string Chi2Marks(const Chi2Result& r) {
  switch (r.level) {
    case Significance::At99: return " **";
    case Significance::At95: return " *";
    case Significance::None: break;
  }
  return {};
}

std::string AuditChi2Cell(const Chi2Result& r) { return FormatFixed(r.value, 2) + Chi2Marks(r); }

std::string Chi2SignText(const Chi2Result& r) {
  std::string s = FixedInWidth(r.value, 3, 10);
  s += r.level == Significance::None ? " NS" : " *";
  if (r.level == Significance::At99) s += "*";
  return s;
}

std::string HistogramChi2Text(const GoodnessOfFit& fit, bool presences) {
  const std::string name = presences ? "Chi2 pos" : "Chi2 neg";
  if (!fit.classesWithoutExpectation.empty() || !(fit.test.value > 0)) return name + " undefined";
  return name + ": " + FormatFixed(fit.test.value, 1) + Chi2Marks(fit.test);
}

std::string PValueText(double p) { return FormatFixed(p, 4); }

std::string AucIntervalLine(std::string_view method, const std::optional<AucInterval>& interval) {
  std::string line = "AUC 95% CI (" + std::string(method) + ") = ";
  if (!interval) return line + "not available (too few finds or non-finds)";
  return line + "[" + FormatFixed(interval->lower, 4) + ", " + FormatFixed(interval->upper, 4) + "]";
}

}  // namespace karvelo

namespace karvelo {

std::string ConditionalIndependenceLine(long long presences, double expected, std::optional<double> z, std::optional<double> p) {
  std::string line = "Conditional independence: presences " + std::to_string(presences) + ", expected " + FormatFixed(expected, 2) +
                     ", ratio " + (expected > 0 ? FormatFixed(static_cast<double>(presences) / expected, 2) : std::string("-"));
  if (z && p) line += ", z = " + FormatFixed(*z, 2) + ", p = " + PValueText(*p);
  return line;
}

std::vector<std::string> PairwiseIndependenceLines(const std::string& first, const std::string& second, const ContingencyResult& r) {
  const std::string head = "Pairwise independence of presences: " + first + " x " + second + ": ";
  if (!r.tested) return {head + "no test (the presences lie in fewer than two classes of a grid)"};
  std::vector<std::string> lines = {head + "Chi2 = " + FormatFixed(r.test.value, 2) + ", df = " + std::to_string(r.test.df) +
                                    ", p = " + PValueText(r.p)};
  if (r.sparse) lines.push_back("  Warning: more than 20% of the expected counts are below 5; the p-value is approximate.");
  return lines;
}

}  // namespace karvelo
