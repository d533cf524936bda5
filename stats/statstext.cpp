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
